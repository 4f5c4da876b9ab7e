/* The yardstick of the start-up benchmark: a static console program that writes one line.
   Built a second time with IMPORT_ADVAPI32, so that the table shows what loading the registry
   and service library costs by itself (the launcher loads it at its first registry call). */
#include <windows.h>

int main(void) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "hello\r\n", 7, &written, NULL);
#ifdef IMPORT_ADVAPI32
    if (written == 0xFFFFFFFFu) RegCloseKey(NULL);
#endif
    return 0;
}

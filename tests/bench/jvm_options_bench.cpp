// What assembling the JVM's options costs a launch: the shipped block's settings in a service
// child, a VM options file of 200 lines and a scanned class path directory of 500 jars, against
// the cost of a whole launcher process that only prints its usage (/help). Both kinds alternate
// in one run, so that drift of the machine (or of Wine's server) touches both alike.
//
//   jvm_options_bench LAUNCHER [N]   LAUNCHER: a generated launcher (for /help); N rounds (20)
//
// The diagnostic log stays off: its file writes would be timed too.
#include "JvmOptions.h"
#include "config/ConfigStore.h"
#include "util/CodePage.h"
#include "util/ExecutableLocation.h"
#include "util/ProcessState.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void writeFile(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

void removeTree(const std::string& dir) {
    WIN32_FIND_DATAA match;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &match);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = match.cFileName;
            if (name != "." && name != "..") DeleteFileA((dir + "\\" + name).c_str());
        } while (FindNextFileA(search, &match));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

double millisSince(const LARGE_INTEGER& start, const LARGE_INTEGER& frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool runHelp(const std::wstring& launcher) {
    std::wstring commandLine = L"\"" + launcher + L"\" /help";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES; // no handles: the usage line goes nowhere
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: jvm_options_bench LAUNCHER [N]\n");
        return 2;
    }
    const std::wstring launcher = vkr::widenBytes(argv[1]);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    SetEnvironmentVariableA("QUENTA_LOG", nullptr);
    SetEnvironmentVariableA("VELKOR_LOG", nullptr);

    const std::string dir = vkr::executableDirectory8();
    const std::string jars = dir + "bench_jars";
    CreateDirectoryA(jars.c_str(), nullptr);
    for (int i = 0; i < 500; ++i) writeFile(jars + "\\library-" + std::to_string(i) + ".jar", "");
    const std::wstring& exe = vkr::executableLongPath();
    const std::string vmoptions = vkr::narrowText(exe.substr(0, exe.size() - 4)) + ".vmoptions";
    std::string lines = "# options of the bench\n";
    for (int i = 0; i < 199; ++i) lines += "-Dbench.property." + std::to_string(i) + "=${launcher:sys.launcherDirectory}x\n";
    writeFile(vmoptions, lines);

    const std::pair<int, const char*> shipped[] = {
        {107, "4"}, {121, "A0.\\app.jar;S0bench_jars"}, {122, "com.example.Main"}, {125, "1"}, {166, "1"},
        {2001, "i"}, {10003, "."},
        {123, "\"-Xmx512m\" \"-Dfile.encoding=UTF-8\" \"-Dvelkor.launcherId=434\" -Dvelkor.swt=false"},
    };
    for (const auto& [key, value] : shipped) vkr::setConfigTextForTest(key, value);
    vkr::processState().flavourLetter = 'i';
    vkr::processState().serviceMode = true;

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> assembly, help;
    size_t count = 0;
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        count = vkr::assembleJvmOptionList({"-Dquenta.isService=true"}, {L"Svc"}).size();
        assembly.push_back(millisSince(start, frequency));
        QueryPerformanceCounter(&start);
        if (!runHelp(launcher)) {
            std::fprintf(stderr, "cannot run %s\n", argv[1]);
            return 1;
        }
        help.push_back(millisSince(start, frequency));
    }
    DeleteFileA(vmoptions.c_str());
    removeTree(jars);
    std::printf("options per assembly: %zu (200 file lines, 500 jars)\n", count);
    std::printf("assembly   median %.2f ms\n", median(assembly));
    std::printf("/help run  median %.2f ms\n", median(help));
    return 0;
}

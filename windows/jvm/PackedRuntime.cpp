#include "jvm/PackedRuntime.h"

#include "config/ErrorReporting.h"
#include "util/DiagnosticLog.h"
#include "util/Format.h"
#include "util/Handles.h"
#include "util/Paths.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace vkr {

namespace {

constexpr size_t kPackSuffixLength = 5; // ".pack"

} // namespace

void unpackJre(const std::string& runtimeDirectory) {
    Announcement announcement = Announcement::Pending;
    if (!unpackDirectory(runtimeDirectory, "lib", announcement) ||
        !unpackDirectory(runtimeDirectory, "lib\\ext", announcement))
        fatalMessage(1009, L"20");
    if (announcement == Announcement::Done) logMessage(L"Unpacking JRE done");
}

bool unpackDirectory(const std::string& runtimeDirectory, const char* subdirectory, Announcement& announcement) {
    const std::string pattern = format8("%s\\%s\\*.jar.pack", runtimeDirectory, subdirectory);
    WIN32_FIND_DATAA match = {};
    UniqueFind search(FindFirstFileA(pattern.c_str(), &match));
    if (!search) return true;
    do {
        const size_t nameLength = std::strlen(match.cFileName);
        if (nameLength <= kPackSuffixLength) continue;
        const std::string jar = format8("%s\\%s\\%.*s", runtimeDirectory, subdirectory,
                                        static_cast<int>(nameLength - kPackSuffixLength), match.cFileName);
        logMessage(L"checking %S", jar);
        if (exists(jar)) continue;
        if (announcement == Announcement::Pending) {
            logMessage(L"Unpacking JRE");
            std::fputs("Preparing JRE ...\n", stdout);
            std::fflush(stdout);
            announcement = Announcement::Done;
        }
        if (!runUnpack200(runtimeDirectory, format8("%s\\%s\\%s", runtimeDirectory, subdirectory, match.cFileName)))
            return false;
    } while (FindNextFileA(search.get(), &match));
    return true;
}

bool runUnpack200(const std::string& runtimeDirectory, const std::string& packedFile) {
    if (packedFile.size() <= kPackSuffixLength) return true;
    const std::string jar = packedFile.substr(0, packedFile.size() - kPackSuffixLength);
    if (!exists(packedFile)) {
        logMessage(L"pack path doesn't exists");
        return true;
    }
    const std::string program = format8("%s\\bin\\unpack200.exe", runtimeDirectory);
    std::string commandLine = format8("-r \"%s\" \"%s\"", packedFile, jar);
    logMessage(L"%S", program);
    logMessage(L"%S", commandLine);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    // The tool is given no handle, so it inherits none (a service child's pipes among them).
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process)) {
        logMessage(L"could not create unpack process");
        return false;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    logMessage(L"waiting for unpack200 to finish");
    WaitForSingleObject(processHandle.get(), INFINITE);
    logMessage(L"unpack done");

    // A tool that failed without writing the JAR is not detected here; the probe of the
    // runtime decides later whether it works.
    if (!DeleteFileA(packedFile.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) logMessage(L"could not delete packed file (error %d)", error);
    }
    return true;
}

} // namespace vkr

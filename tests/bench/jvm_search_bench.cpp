// What the version cache saves a launch: a JVM search whose candidate's version comes from
// the per-user cache, against the same search after the cache entry was removed, so that the
// stand-in java.exe must be run with "-version". Both kinds alternate in one run, so that
// drift of the machine (or of Wine's server) touches both alike.
//
//   jvm_search_bench [N]     N searches of each kind (default 40)
//
// The stand-ins come from VKR_FIXTURES (a Linux path, as ctest passes it) or the build
// tree this program was built in. The diagnostic log stays off: its file writes would be
// timed too.
#include "config/ConfigStore.h"
#include "jvm/JavaProbe.h"
#include "jvm/JvmLoader.h"
#include "jvm/JvmSearch.h"
#include "util/Paths.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string windowsName(std::string dir) {
    // Wine maps / to Z:.
    if (!dir.empty() && dir[0] == '/') {
        for (char& c : dir) c = c == '/' ? '\\' : c;
        dir = "Z:" + dir;
    }
    return dir;
}

std::string fixturesDirectory() {
    const char* value = std::getenv("VKR_FIXTURES");
    return windowsName(value && *value ? value : VKR_BENCH_FIXTURES);
}

bool copyInto(const std::string& source, const std::string& target) {
    if (CopyFileA(source.c_str(), target.c_str(), FALSE)) return true;
    std::fprintf(stderr, "cannot copy %s to %s (error %lu)\n", source.c_str(), target.c_str(), GetLastError());
    return false;
}

void removeTree(const std::string& dir) {
    WIN32_FIND_DATAA match;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &match);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = match.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = dir + "\\" + name;
            if (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &match));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

size_t runCount(const std::string& bin) {
    HANDLE h = CreateFileA((bin + "\\java.runs").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    size_t lines = 0;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        lines += static_cast<size_t>(std::count(buffer, buffer + got, '\n'));
    CloseHandle(h);
    return lines;
}

struct Summary {
    double median;
    double minimum;
    double maximum;
};

Summary summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const size_t n = ms.size();
    const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    return {median, ms.front(), ms.back()};
}

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    SetEnvironmentVariableA("QUENTA_LOG", nullptr);
    SetEnvironmentVariableA("VELKOR_LOG", nullptr);
    SetEnvironmentVariableA("QUENTA_JAVA_HOME", nullptr);
    SetEnvironmentVariableA("VELKOR_JAVA_HOME", nullptr);

    char base[MAX_PATH + 1];
    GetTempPathA(MAX_PATH, base);
    const std::string root =
        vkr::canonicalPath(std::string(base) + "vkrbench_" + std::to_string(GetCurrentProcessId()), vkr::LetterCase::Lowered);
    const std::string home = root + "\\rt";
    const std::string bin = home + "\\bin";
    for (const std::string& dir : {root, home, bin, bin + "\\server"}) CreateDirectoryA(dir.c_str(), nullptr);
    const std::string fixtures = fixturesDirectory();
    if (!copyInto(fixtures + "\\javastub\\java.exe", bin + "\\java.exe") ||
        !copyInto(fixtures + "\\jvmdll\\x64\\jvm.dll", bin + "\\server\\jvm.dll")) {
        removeTree(root);
        return 1;
    }
    HANDLE cfg = CreateFileA((bin + "\\java.cfg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const char banner[] = "banner=openjdk version \"17.0.1\" 2021-10-19\n";
    DWORD written = 0;
    WriteFile(cfg, banner, sizeof banner - 1, &written, nullptr);
    CloseHandle(cfg);

    vkr::setConfigTextForTest(128, "B" + home);
    const std::string cacheKey = vkr::versionCacheKeyName(bin + "\\java.exe");
    // Each successful search prepends the bin directory; put PATH back so that every search
    // starts from the same environment.
    std::string path(GetEnvironmentVariableA("PATH", nullptr, 0), '\0');
    path.resize(GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size())));
    const std::string pathEntry = "PATH=" + path;

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    auto search = [&](std::vector<double>& into) {
        std::string javaExe, version, location;
        vkr::LocationKind kind = vkr::LocationKind::None;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        HMODULE library = vkr::searchJvm(vkr::loadJvmFromJavaExe, javaExe, version, kind, location);
        QueryPerformanceCounter(&end);
        _putenv(pathEntry.c_str());
        SetEnvironmentVariableA("PATH", path.c_str());
        into.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                       static_cast<double>(frequency.QuadPart));
        if (!library || version != "17.0.1") {
            std::fprintf(stderr, "search failed: %s %s\n", javaExe.c_str(), version.c_str());
            return false;
        }
        return true;
    };

    std::vector<double> hits, misses, warmUp;
    bool ok = search(warmUp); // seeds the cache and loads the library once
    const size_t runsBefore = runCount(bin);
    for (int i = 0; ok && i < n; ++i) {
        RegDeleteTreeA(HKEY_CURRENT_USER, cacheKey.c_str());
        ok = search(misses) && search(hits);
    }
    const size_t runs = runCount(bin) - runsBefore;

    RegDeleteTreeA(HKEY_CURRENT_USER, cacheKey.c_str());
    for (int i = 0; i < 2 * n + 2; ++i) {
        HMODULE m = GetModuleHandleA((bin + "\\server\\jvm.dll").c_str());
        if (!m) break;
        FreeLibrary(m);
    }
    removeTree(root);
    if (!ok) return 1;

    const Summary hit = summarise(hits);
    const Summary miss = summarise(misses);
    std::printf("jvm search, %d of each kind, alternating, times in ms (QueryPerformanceCounter)\n", n);
    std::printf("%-28s %10s %10s %10s\n", "", "median", "min", "max");
    std::printf("%-28s %10.3f %10.3f %10.3f\n", "version cache hit", hit.median, hit.minimum, hit.maximum);
    std::printf("%-28s %10.3f %10.3f %10.3f\n", "cache miss (runs java.exe)", miss.median, miss.minimum, miss.maximum);
    std::printf("median ratio miss/hit: %.1f; java.exe runs during the timed searches: %zu (expected %d)\n",
                miss.median / hit.median, runs, n);
    return runs == static_cast<size_t>(n) ? 0 : 1;
}

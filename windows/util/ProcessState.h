#pragma once
// Every value the launcher keeps for the life of its process, in one place. Each field has one
// writer, named beside it; everything else only reads. Plain values only: the layers above
// fill in what they own (the JVM's home, the extraction directory) and the ones below read it
// without knowing who put it there.
//
// The process is single-threaded until the service host starts its threads; from then on the
// fields are only read, except the log's (guarded by the log's own lock).
// No windows.h here: its macros (MessageBox among them) would rename what this header declares.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace vkr {

enum class ErrorOutput { MessageBox, Console };

using CreateJavaVMFunction = long(__stdcall*)(void** vm, void** env, void* args);

struct ExecutableLocation {
    std::wstring longPath;          // long UTF-16 path, backslash runs collapsed
    std::string path8;              // an 8-bit path naming the same file
    std::string directory8;         // each directory with its trailing backslash
    std::wstring directoryWidened;  // directory8 widened byte by byte
    std::wstring directoryLong;
};

struct ProcessState {
    // Entry point and commands (launcher/CommandDispatch).
    std::wstring serviceName;
    bool serviceMode = false;       // service runs get -Xrs and quenta.isService
    bool noRedirection = false;     // only "run": the JVM gets velkor.noRedir=true
    // Working environment (launcher/WorkingEnvironment).
    char flavourLetter = '\0';

    // Configuration block (config/ConfigStore).
    std::map<std::int32_t, std::string> configTexts;
    std::map<std::int32_t, std::wstring> configMessages;
    std::int32_t includedFilesPosition = 0;
    // Locale (config/Locale): the Java locale name and its two parts.
    std::string locale = "en";
    std::string language;
    std::string country;
    // Error reporting (config/ErrorReporting). Failures before the configuration is loaded
    // have no console decision yet: a message box is the one channel that reaches a user of a
    // windowed launcher.
    ErrorOutput errorOutput = ErrorOutput::MessageBox;
    // Included files (config/IncludedFiles); the termination removes the directory.
    std::string extractionDirectory;
    std::int32_t unextractedPosition = 0;

    // Paths (util/ExecutableLocation, util/TempDirectory): chosen once, on first use.
    std::optional<ExecutableLocation> executable;
    std::string tempDirectory8;
    std::wstring tempDirectoryWide;

    // Diagnostic log (util/DiagnosticLog), under the log's lock.
    bool logDecided = false;
    std::optional<std::wstring> logPath;
    std::uint64_t logStartMillis = 0;

    // JVM library (jvm/JvmLoader), published once a library is loaded.
    std::string jvmHome;
    std::string jvmVersion;
    CreateJavaVMFunction createJavaVM = nullptr;

    // Single instance (instance/SingleInstance): the semaphore name handed to the JVM.
    std::string semaphoreName;
};

ProcessState& processState() noexcept;

// Test seam: everything back to how a new process starts.
void resetProcessStateForTest();

} // namespace vkr

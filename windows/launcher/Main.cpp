#include "config/ErrorReporting.h"
#include "launcher/CommandDispatch.h"
#include "util/DiagnosticLog.h"

#include <exception>

// What ends the process when an exception meets a noexcept callback (the service main, a
// control or console handler, a JNI call's caller). It replaces the C++ runtime's verbose
// handler, which would print the exception's demangled type: its demangler alone is a tenth of
// the launcher's size, and a launcher has no console to print to when it runs as a service. The
// extraction directory is removed as on every other end.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    vkr::logError(L"an exception ended the launcher");
    vkr::terminateLauncher(1);
}
} // namespace __gnu_cxx

// The entry point reads its command line with GetCommandLineW itself; wmain only selects the
// Unicode start-up of the runtime. Normal ends leave through terminateLauncher as well, so
// that the extraction directory is removed on every exit, not only on failures; so does an
// exception nothing below caught (an allocation that failed, say).
int wmain() {
    int exitCode = 1;
    try {
        exitCode = vkr::runEntryPoint();
    } catch (const std::exception& e) {
        vkr::logError(L"unexpected failure: %S", e.what());
    } catch (...) {
        vkr::logError(L"unexpected failure");
    }
    vkr::terminateLauncher(exitCode);
}

#include "config/ErrorReporting.h"
#include "launcher/CommandDispatch.h"
#include "util/DiagnosticLog.h"

#include <exception>

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

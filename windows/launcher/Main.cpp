#include "config/ErrorReporting.h"
#include "launcher/CommandDispatch.h"

// The entry point reads its command line with GetCommandLineW itself; wmain only selects the
// Unicode start-up of the runtime. Normal ends leave through terminate as well, so that the
// extraction directory is removed on every exit, not only on failures.
int wmain() {
    vkr::terminate(vkr::runEntryPoint());
}

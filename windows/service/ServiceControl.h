#pragma once
// The administrator's side of the service: five operations against the local Service
// Control Manager, each printing its English lines on standard output and returning the
// process exit code. No diagnostic log, no message box, no localized message here.
#include "util/Tokenizer.h"

#include <windows.h>

namespace vkr {

int installService(DWORD startType);
int uninstallService(bool verbose);
// arguments: what followed the command; the first element is the service name.
int startService(const ArgumentVector& arguments);
int stopService(bool verbose);
int serviceStatus();

} // namespace vkr

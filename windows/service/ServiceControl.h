#pragma once
// The administrator's side of the service: five operations against the local Service
// Control Manager, each printing its English lines on standard output and returning the
// process exit code. No diagnostic log, no message box, no localized message here.
#include "core/Tokenizer.h"

#include <windows.h>

#include <string>

namespace vkr {

// Whether an operation prints its failure lines (the stop and uninstall that other commands
// run first stay quiet).
enum class Report { Quiet, Verbose };

int installService(const std::wstring& name, DWORD startType);
int uninstallService(const std::wstring& name, Report report);
// arguments: what followed the command; the first element is the service name.
int startService(const std::wstring& name, const ArgumentVector& arguments);
int stopService(const std::wstring& name, Report report);
int serviceStatus(const std::wstring& name);

} // namespace vkr

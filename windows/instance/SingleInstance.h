#pragma once
// The named semaphore that keeps a second instance of the same executable from starting the
// application: in single-instance mode a run that finds it brings the running instance's
// windows to the front and ends; in multi-instance mode every run gets a name of its own. The
// final name is handed to the JVM (quenta.semaphoreName).
#include <windows.h>

#include <string>

namespace vkr {

inline constexpr const char* kInstancesKey = "SOFTWARE\\morrandt\\quenta\\pids\\";

// Either returns (this run goes on, the semaphore name is kept for the JVM) or ends the
// launcher with exit code 0 because another instance runs.
void applySingleInstanceRule();

// The executable's 8-bit path made full, lower-cased and with backslash runs collapsed: the
// same executable under another spelling of its path is the same instance.
std::string instancePath();
// The process id the last instance of that path registered in HKEY_CURRENT_USER, or 0.
DWORD registeredInstance(const std::string& path);
void registerInstance(const std::string& path, DWORD processId);

} // namespace vkr

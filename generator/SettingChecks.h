// Rules a configured value must pass before it goes into a block: what the launcher would
// otherwise misread at every start, or what Windows would refuse at /install. Texts are the
// stored ISO-8859-1 bytes; false comes with why, a sentence for the user.
#pragma once

#include <string>

namespace vkr::gen {

// The launcher hands paths such as class path entries to the 8-bit Windows functions, which
// read them in the machine's ANSI code page: a byte above 0x7F is a different character on
// a machine with another code page, so the path would name another file there.
bool checkAnsiPath(const std::string& text, std::string& why);

// A version bound as the launcher's version rules read it: numbers separated by ".", "_",
// "-" or "+". Empty means no bound.
bool checkVersionText(const std::string& text, std::string& why);
// Whether any version lies between the two bounds (each already valid; empty: no bound).
bool checkVersionRange(const std::string& minimum, const std::string& maximum, std::string& why);

// What the service manager accepts as a service name.
bool checkServiceName(const std::string& name, std::string& why);

// A Java class name ("com.example.Main"); in module mode "module/class".
bool checkMainClass(const std::string& name, bool moduleMode, std::string& why);

// An environment variable name as the launcher looks it up.
bool checkVariableName(const std::string& name, std::string& why);

// The kinds the launcher knows: 1 and 5 show errors in message boxes, 4 registers an
// automatic-start service, the others are console programs started on demand.
inline constexpr int kMinKind = 0;
inline constexpr int kMaxKind = 5;

}  // namespace vkr::gen

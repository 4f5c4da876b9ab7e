// Settings in the terms of a Java developer, turned into the codes the block stores, and
// back: class path and module path elements, the steps of the runtime search, option lists,
// and the executable kind. Every form reads into exactly one stored text, and the printers
// offer a form only after reading it back to the same bytes, so inspect and build meet.
//
// Texts are ISO-8859-1 (as stored); printed forms are TOML values in UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vkr::gen {

// The table form of an element, such as { path = "app.jar", required = true }: kind is the
// one key that names what the element is, value its text.
struct ElementTable {
  std::string kind;
  std::string value;
  bool required = false;
};

// Class path and module path elements (the block's letter-coded entries: type letter,
// "1" for required, name):
//   "app.jar", { path = "app.jar" }             an archive or directory          A0app.jar
//   { directory = "classes" }                   a directory (the same to the launcher) D0classes
//   "lib\\*", { scan = "lib" }                  every .jar and .zip in the folder S0lib
//   "${CP}", { env = "CP" }                     the value of a variable          E0CP
//   any table with required = true              the start fails without it       A1, D1, S1, E1
//   "A0.\\app.jar"                              the letter code itself (files written before)
std::span<const char* const> pathElementKinds();
bool pathElementFromText(const std::string& text, std::string& stored, std::string& why);
bool pathElementFromTable(const ElementTable& table, std::string& stored, std::string& why);
std::optional<std::string> pathElementToml(const std::string& stored);

// Steps of the runtime search, in order:
//   { bundled = "jre" }    a runtime delivered with the application; used even when its
//                          version is out of range if nothing else is found      Bjre
//   { home = "C:\\jdk" }   a Java home folder                                   AC:\jdk
//   { env = "JAVA_HOME" }, "${JAVA_HOME}"   the Java home a variable names      EJAVA_HOME
//   "registry"             the runtimes Windows' registry records               Y
//   "path"                 java.exe found along the Windows search path         S
//   "B.\\jre", "Y", ...    the letter codes themselves (files written before)
std::span<const char* const> searchStepKinds();
bool searchStepFromText(const std::string& text, std::string& stored, std::string& why);
bool searchStepFromTable(const ElementTable& table, std::string& stored, std::string& why);
std::optional<std::string> searchStepToml(const std::string& stored);

// VM options and arguments as a list: the launcher splits the stored text with its own
// tokenizer (blank-separated, " and ' quote, no escapes) after expanding variables, so each
// element is quoted whole, and one whose variables expand to a path with blanks stays one
// option. failedIndex names the element that cannot be written.
bool joinOptions(const std::vector<std::string>& options, std::string& stored, size_t& failedIndex,
                 std::string& why);
// The list whose joining gives exactly the stored text, if there is one.
std::optional<std::vector<std::string>> splitOptions(const std::string& stored);

// The executable kind (key 107) from what it decides.
enum class StartType { Automatic, Demand };
enum class ErrorDisplay { Console, MessageBox };
struct KindParts {
  StartType start = StartType::Automatic;
  ErrorDisplay errors = ErrorDisplay::Console;
  bool windowed = false;
};
enum class KindPart { Start, Errors, Windowed };
// False for a combination no kind has; blame names the part to report it at.
bool kindFromParts(const KindParts& parts, int32_t& kind, KindPart& blame, std::string& why);
std::optional<KindParts> kindParts(const std::string& stored);

// A duration as "90s", "2min", "1h", "1d" or "500ms": a whole number and a unit.
bool durationFromText(const std::string& text, uint64_t& milliseconds, std::string& why);
// The shortest text durationFromText reads back as the same duration (the largest unit that
// divides it).
std::string durationText(uint64_t milliseconds);

// The restarts after failures: one to three durations of at most a day each, stored as
// milliseconds separated by commas (the launcher's parseRestartDelays).
bool restartDelaysFromList(const std::vector<std::string>& delays, std::string& stored, size_t& failedIndex,
                           std::string& why);
std::optional<std::vector<std::string>> restartDelaysTexts(const std::string& stored);
// The time without failures after which the service manager counts them from zero again,
// stored as whole seconds.
bool resetPeriodFromText(const std::string& text, std::string& stored, std::string& why);
std::optional<std::string> resetPeriodText(const std::string& stored);

// The account the service runs as, by name: "local-system", "local-service",
// "network-service" or "virtual" ("NT SERVICE\<service name>"); stored as the launcher's
// ServiceAccount number.
bool accountFromName(const std::string& name, std::string& stored, std::string& why);
std::optional<std::string> accountName(const std::string& stored);

bool startTypeFromName(const std::string& name, StartType& start, std::string& why);
bool errorDisplayFromName(const std::string& name, ErrorDisplay& errors, std::string& why);
const char* startTypeName(StartType start);
const char* errorDisplayName(ErrorDisplay errors);

}  // namespace vkr::gen

#include "Settings.h"

#include "core/ServiceOperations.h"

namespace vkr::gen {
namespace {

using enum SettingType;

constexpr Setting kSettings[] = {
    {"service", "name", kKeyServiceName, Text, 0, "Service", Rule::ServiceName, false, true},
    {"service", "start", kKeyKind, Start, 0, "4"},
    {"service", "dependencies", 149, List, ',', ""},
    // Left out, /install registers the service as it always has: as LocalSystem, started with
    // Windows at once, and left stopped after a failure.
    {"service", "account", kServiceAccountKey, Account, 0, nullptr},
    {"service", "delayed-start", kDelayedStartKey, Boolean, 0, nullptr},
    {"service", "restart-delays", kRestartDelaysKey, RestartDelays, 0, nullptr},
    {"service", "failure-reset-period", kFailureResetKey, ResetPeriod, 0, nullptr},

    {"launcher", "errors", kKeyKind, Errors, 0, "4"},
    {"launcher", "kind", kKeyKind, Integer, 0, "4", Rule::KindRange, true},
    {"launcher", "flavour", kKeyFlavour, Letter, 0, "i", Rule::None, true},
    {"launcher", "working-directory", 146, Text, 0, "."},
    {"launcher", "reduce-path", 10010, Boolean, 0, "0"},
    {"launcher", "native-library-path", 10004, List, ';', ".\\.;.\\lib", Rule::AnsiPath},
    {"launcher", "application-directory", 10003, Text, 0, ".", Rule::AnsiPath},
    {"launcher", "temp-long-names", 10009, Boolean, 0, "0"},

    {"instance", "single", 10005, Boolean, 0, "1"},
    {"instance", "bring-to-front", 10008, Boolean, 0, "1"},
    {"instance", "global", 158, Boolean, 0, "0"},

    {"java", "main-class", kKeyMainClass, Text, 0, "com.example.Main", Rule::MainClass, false, true},
    {"java", "class-path", 121, PathList, ';', "A0.\\app.jar"},
    {"java", "module-path", 132, PathList, ';', ""},
    {"java", "module-mode", kKeyModuleMode, Boolean, 0, "0"},
    {"java", "vm-options", 123, OptionList, 0,
     "\"-Xmx512m\" \"-Dfile.encoding=UTF-8\" \"-Dvelkor.launcherId=434\" -Dvelkor.swt=false"},
    {"java", "vm-parameters", 123, OptionList, 0, nullptr, Rule::None, true},
    {"java", "arguments", 124, OptionList, 0, ""},
    {"java", "j-options", 125, Boolean, 0, "1"},
    {"java", "min-version", kKeyMinVersion, Text, 0, "1.8", Rule::Version},
    {"java", "max-version", kKeyMaxVersion, Text, 0, "", Rule::Version},
    {"java", "search", 128, SearchList, ';', "B.\\jre;Y;EJAVA_HOME;EJDK_HOME;"},
    {"java", "allow-prerelease", 130, Boolean, 0, "0"},
    {"java", "require-jdk", 131, Boolean, 0, "0"},
    {"java", "vm-kind", 152, Text, 0, "", Rule::AnsiPath},
    {"java", "add-dll-directory", 154, Boolean, 0, "0"},
    {"java", "app-id", 160, Text, 0, ""},
    {"java", "bundled-only", 165, Boolean, 0, "0"},
    {"java", "vm-options-file", 166, Boolean, 0, "1"},

    {"log", "error-log", 102, Boolean, 0, "1"},
    {"log", "error-log-file", 103, Text, 0, "error.log"},
    {"log", "output-log", 104, Boolean, 0, "0"},
    {"log", "output-log-file", 105, Text, 0, "output.log"},
    {"log", "flag", 106, Boolean, 0, "1", Rule::None, true},

    // The values of the AWT splash configuration call, in two groups of text, position
    // and style: a status line and a version line.
    {"splash", "enabled", 108, Boolean, 0, "0"},
    {"splash", "flag", 163, Boolean, 0, "0", Rule::None, true},
    {"splash", "status-text", 10111, Text, 0, ""},
    {"splash", "status-x", 10109, Integer, 0, "20"},
    {"splash", "status-y", 10110, Integer, 0, "20"},
    {"splash", "status-color", 10114, Text, 0, "0,0,0"},
    {"splash", "status-font-size", 10113, Integer, 0, "8"},
    {"splash", "status-font-weight", 10115, Integer, 0, "500"},
    {"splash", "status-font", 10112, Text, 0, "Arial"},
    {"splash", "version-text", 10118, Text, 0, "version 1.3.2"},
    {"splash", "version-x", 10116, Integer, 0, "20"},
    {"splash", "version-y", 10117, Integer, 0, "40"},
    {"splash", "version-color", 10121, Text, 0, "0,0,0"},
    {"splash", "version-font-size", 10120, Integer, 0, "8"},
    {"splash", "version-font-weight", 10122, Integer, 0, "500"},
    {"splash", "version-font", 10119, Text, 0, "Arial"},

    // Values a Java developer rarely changes, with names that say what they do; the older
    // names above stay readable for existing files.
    {"advanced", "flavour", kKeyFlavour, Letter, 0, "i"},
    {"advanced", "windowed", kKeyKind, Windowed, 0, "4"},
    {"advanced", "log-flag", 106, Boolean, 0, "1"},
    {"advanced", "splash-flag", 163, Boolean, 0, "0"},
};

constexpr ShippedMessage kShippedMessages[] = {
    {1000, "Error"},
    {1005,
     "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an "
     "antivirus or firewall tool could block the execution."},
    {1006, "File or directory {0} not found or empty\n"},
    {1008, "The environment variable {0} has to be defined"},
    {1009, "An internal error occurred (error code: {0})"},
    {1010, "Couldn't load main class."},
    {1011, "Main method not found."},
    {1015, "You must be at least Poweruser to run this program."},
    {1016,
     "No JVM could be found on your system.\nPlease define QUENTA_JAVA_HOME\nto point to an "
     "installed {0}-bit JDK or JRE or download a JRE from adoptium.net."},
    {1018, "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
    {1020,
     "The JVM found at {0} is damaged.\nPlease reinstall or define QUENTA_JAVA_HOME\nto point "
     "to an installed 64-bit JDK or JRE."},
    {kMessageDescription, ""},
};

}  // namespace

std::span<const Setting> settings() { return kSettings; }
std::span<const ShippedMessage> shippedMessages() { return kShippedMessages; }

}  // namespace vkr::gen

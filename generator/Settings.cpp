#include "Settings.h"

namespace vkr::gen {
namespace {

using enum SettingType;

constexpr Setting kSettings[] = {
    {"service", "name", 101, Text, 0, "Service"},
    {"service", "dependencies", 149, List, ',', ""},

    {"launcher", "kind", 107, Integer, 0, "4"},
    {"launcher", "flavour", 2001, Text, 0, "i"},
    {"launcher", "working-directory", 146, Text, 0, "."},
    {"launcher", "reduce-path", 10010, Boolean, 0, "0"},
    {"launcher", "native-library-path", 10004, List, ';', ".\\.;.\\lib"},
    {"launcher", "application-directory", 10003, Text, 0, "."},
    {"launcher", "temp-long-names", 10009, Boolean, 0, "0"},

    {"instance", "single", 10005, Boolean, 0, "1"},
    {"instance", "bring-to-front", 10008, Boolean, 0, "1"},
    {"instance", "global", 158, Boolean, 0, "0"},

    {"java", "main-class", 122, Text, 0, "com.example.Main"},
    {"java", "class-path", 121, List, ';', "A0.\\app.jar"},
    {"java", "module-path", 132, List, ';', ""},
    {"java", "module-mode", 133, Boolean, 0, "0"},
    {"java", "vm-parameters", 123, Text, 0,
     "\"-Xmx512m\" \"-Dfile.encoding=UTF-8\" \"-Dvelkor.launcherId=434\" -Dvelkor.swt=false"},
    {"java", "arguments", 124, Text, 0, ""},
    {"java", "j-options", 125, Boolean, 0, "1"},
    {"java", "min-version", 126, Text, 0, "1.8"},
    {"java", "max-version", 127, Text, 0, ""},
    {"java", "search", 128, List, ';', "B.\\jre;Y;EJAVA_HOME;EJDK_HOME;"},
    {"java", "allow-prerelease", 130, Boolean, 0, "0"},
    {"java", "require-jdk", 131, Boolean, 0, "0"},
    {"java", "vm-kind", 152, Text, 0, ""},
    {"java", "add-dll-directory", 154, Boolean, 0, "0"},
    {"java", "app-id", 160, Text, 0, ""},
    {"java", "bundled-only", 165, Boolean, 0, "0"},
    {"java", "vm-options-file", 166, Boolean, 0, "1"},

    {"log", "error-log", 102, Boolean, 0, "1"},
    {"log", "error-log-file", 103, Text, 0, "error.log"},
    {"log", "output-log", 104, Boolean, 0, "0"},
    {"log", "output-log-file", 105, Text, 0, "output.log"},
    {"log", "flag", 106, Boolean, 0, "1"},

    // The values of the AWT splash configuration call, in two groups of text, position
    // and style: a status line and a version line.
    {"splash", "enabled", 108, Boolean, 0, "0"},
    {"splash", "flag", 163, Boolean, 0, "0"},
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

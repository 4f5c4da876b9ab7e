#include "Init.h"

#include <algorithm>
#include <fstream>

#include "SettingForms.h"
#include "Text.h"
#include "TomlConfig.h"
#include "core/Text.h"

namespace vkr::gen {
namespace fs = std::filesystem;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string endsWithJar(const std::string& name) {
  if (name.size() > 4 && endsWithIgnoringAsciiCase<char>(name, ".jar"))
    return name.substr(0, name.size() - 4);
  return name;
}

// One class path element of the manifest ("lib/a.jar", "classes/") as the configuration
// writes it; what leaves the jar's folder is left to the user, in a comment.
struct ManifestElement {
  std::string toml;     // the element, or "" when it is only mentioned
  std::string comment;  // why it is not on the list
};

bool manifestElement(const std::string& url, ManifestElement& element, std::string& why) {
  // A URL separates with "/"; a "\\" in one is a separator to Windows all the same.
  std::string path = url;
  std::replace(path.begin(), path.end(), '\\', '/');
  const bool directory = !path.empty() && path.back() == '/';
  if (directory) path.pop_back();
  bool outside = path.empty() || path.front() == '/' || path.find(':') != std::string::npos;
  std::string windows;
  for (const auto& part : splitList(path, '/')) {
    if (part == "..") outside = true;
    if (part == ".") continue;
    windows += (windows.empty() ? "" : "\\") + part;
  }
  if (outside) {
    element.comment = "# not packaged, outside the jar's folder: " + url;
    return true;
  }
  std::string latin1;
  if (!utf8ToLatin1(windows, latin1, why)) return false;
  const std::string stored = (directory ? "D0" : "A0") + latin1;
  auto printed = pathElementToml(stored);
  if (!printed) {
    std::string ignored;
    ElementTable table{directory ? "directory" : "path", latin1, false};
    pathElementFromTable(table, ignored, why);
    why = "class path element \"" + url + "\" of the manifest: " + why;
    return false;
  }
  element.toml = *printed;
  return true;
}

}  // namespace

std::string serviceNameForJar(const std::string& fileName) {
  std::string stem = endsWithJar(fileName);
  for (size_t i = 1; i + 1 < stem.size(); ++i)
    if (stem[i] == '-' && isDigit(stem[i + 1])) return stem.substr(0, i);
  return stem;
}

bool starterConfiguration(const StarterFacts& facts, std::string& text, std::string& why) {
  const std::string service = tomlQuote(facts.serviceName);
  std::vector<std::string> classPath;
  std::vector<std::string> mentioned;
  std::vector<std::string> urls = {facts.jarName};
  urls.insert(urls.end(), facts.jar.classPath.begin(), facts.jar.classPath.end());
  for (const auto& url : urls) {
    ManifestElement element;
    if (!manifestElement(url, element, why)) return false;
    if (!element.toml.empty()) classPath.push_back(element.toml);
    if (!element.comment.empty()) mentioned.push_back(element.comment);
  }
  std::string minimum = javaVersionForClassFile(facts.jar.classFileMajor);
  const std::string versionNote =
      minimum.empty() ? "# The oldest Java the application runs on (its main class's version could not be read).\n"
                      : "# The oldest Java the application runs on: its main class is compiled for it.\n";
  if (minimum.empty()) minimum = "1.8";

  std::string list;
  for (size_t i = 0; i < classPath.size(); ++i) list += (i ? ", " : "") + classPath[i];
  const std::string stem = facts.serviceName;
  text = "# Service configuration for " + facts.jarName + ", written by `vkrgen init`.\n"
         "#\n"
         "#   vkrgen package " + stem + ".toml -o " + stem + "-service    lays out the folder to copy to the server\n"
         "#   " + stem + "-service\\" + stem + ".exe /install-and-start    there, in an administrator's console\n"
         "#\n"
         "# Settings left out keep their default values; generator/README.md lists every setting.\n"
         "\n"
         "[service]\n"
         "# The name the service is registered under: no \"/\" or \"\\\", at most 256 characters.\n"
         "name = " + service + "\n"
         "# What the Services console shows for it.\n"
         "description = " + service + "\n"
         "# \"automatic\": started with Windows; \"demand\": started with /start only.\n"
         "start = \"automatic\"\n"
         "# Restart the service after its first and second failure (an exit code other than 0\n"
         "# without a stop), start it after the other services at boot, run it with fewer rights\n"
         "# (\"local-service\", \"network-service\", \"virtual\"): take out the \"#\" to use them.\n"
         "# restart-delays = [\"1min\", \"5min\"]\n"
         "# delayed-start = true\n"
         "# account = \"virtual\"\n"
         "\n"
         "[java]\n"
         "main-class = " + tomlQuote(facts.jar.mainClass) + "\n"
         "# Paths relative to the launcher, as `vkrgen package` lays them out beside it: the jar,\n"
         "# then its manifest's Class-Path. \"lib\\\\*\" would take every .jar and .zip in lib.\n"
         "class-path = [" + list + "]\n";
  for (const auto& line : mentioned) text += line + "\n";
  text += "# Options for the JVM, one per element.\n"
          "vm-options = [\"-Xmx512m\", \"-Dfile.encoding=UTF-8\"]\n" +
          versionNote +
          "min-version = \"" + minimum + "\"\n"
          "# Where the launcher looks for Java, in this order: the runtime shipped in jre beside\n"
          "# it (`vkrgen package --jre DIR` puts one there), the runtimes Windows' registry\n"
          "# records, then the Java home JAVA_HOME names.\n"
          "search = [{ bundled = \"jre\" }, \"registry\", { env = \"JAVA_HOME\" }]\n"
          "\n"
          "[log]\n"
          "# Where the application's standard error and output go when it runs as a service\n"
          "# (relative to the launcher; the folder is made at the first line written).\n"
          "error-log-file = \"logs\\\\error.log\"\n"
          "output-log = true\n"
          "output-log-file = \"logs\\\\output.log\"\n";
  if (!facts.from.empty())
    text += "\n[package]\n"
            "# Where `vkrgen package` takes the class path's files from, relative to this file.\n"
            "from = " + tomlQuote(facts.from) + "\n";
  return true;
}

bool writeStarterConfiguration(const StarterRequest& request, fs::path& written, std::string& error) {
  const std::string jarName = displayPath(request.jar);
  StarterFacts facts;
  if (!readJarFacts(request.jar, facts.jar, error)) return false;
  if (!request.mainClass.empty()) facts.jar.mainClass = request.mainClass;
  if (facts.jar.mainClass.empty()) {
    error = jarName + ": its manifest names no Main-Class: give the main class with --main-class NAME";
    return false;
  }
  facts.jarName = displayPath(request.jar.filename());
  facts.serviceName = serviceNameForJar(facts.jarName);
  written = request.output.empty() ? fs::path(pathFromUtf8(facts.serviceName + ".toml")) : request.output;
  std::error_code ec;
  if (fs::exists(written, ec) || ec) {
    error = displayPath(written) + ": already exists: vkrgen init does not overwrite a configuration "
            "(give another name with -o)";
    return false;
  }
  const fs::path configDirectory = fs::absolute(written, ec).parent_path();
  const fs::path jarDirectory = fs::absolute(request.jar, ec).parent_path();
  fs::path from = fs::relative(jarDirectory, configDirectory, ec);
  if (ec || from.empty()) from = jarDirectory;  // on another drive: named absolutely
  if (from != ".") {
    std::u8string generic = from.generic_u8string();
    facts.from.assign(generic.begin(), generic.end());
  }
  std::string text, why;
  BlockContents check;
  if (!starterConfiguration(facts, text, why)) {
    error = jarName + ": " + why;
    return false;
  }
  // What init writes must build; a jar name the launcher cannot carry is reported now.
  if (!parseConfigurationToml(text, written, check, why)) {
    error = jarName + ": no configuration written: " + why;
    return false;
  }
  std::ofstream out(written, std::ios::binary);
  if (!out || !out.write(text.data(), static_cast<std::streamsize>(text.size())) || !out.flush()) {
    out.close();
    fs::remove(written, ec);
    error = displayPath(written) + ": cannot write the configuration";
    return false;
  }
  return true;
}

}  // namespace vkr::gen

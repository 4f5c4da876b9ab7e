#include "Package.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <set>

#include "Generator.h"
#include "Settings.h"
#include "Text.h"
#include "Zip.h"
#include "core/JavaVersion.h"
#include "core/Text.h"

namespace vkr::gen {
namespace fs = std::filesystem;

namespace {

constexpr int32_t kClassPathKey = 121;
constexpr int32_t kModulePathKey = 132;
constexpr int32_t kSearchKey = 128;
constexpr int32_t kApplicationDirectoryKey = 10003;
constexpr int32_t kVmOptionsFileKey = 166;
constexpr int32_t kAllowPrereleaseKey = 130;

// References the launcher replaces by its own folder: a path behind one of them is a path
// inside the package.
constexpr const char* kLauncherFolder[] = {"${launcher:sys.launcherDirectory}", "${QUENTA_EXEDIR}", "${VELKOR_EXEDIR}",
                                           "%QUENTA_EXEDIR%", "%VELKOR_EXEDIR%"};

enum class Place { Inside, Absolute, Variable, Outside };

// A "%NAME%" reference the launcher replaces; a lone "%" (a file "x%20y.jar") is a character.
bool hasPercentReference(const std::string& text) {
  for (size_t open = text.find('%'); open != std::string::npos; open = text.find('%', open + 1)) {
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) return false;
    if (close > open + 1 && text.find_first_of("\\/", open + 1) > close) return true;
  }
  return false;
}

// Where a configured path lies as seen from the launcher's folder; target receives its
// "/"-separated form when it lies inside.
Place placeOf(std::string text, std::string& target) {
  for (const char* prefix : kLauncherFolder) {
    if (text.rfind(prefix, 0) != 0) continue;
    // "${launcher:sys.launcherDirectory}\\app.jar": the separators behind the folder make
    // no absolute path of what follows (it was left out of the package as one).
    text.erase(0, std::min(text.find_first_not_of("\\/", std::string_view(prefix).size()), text.size()));
    break;
  }
  if (text.find("${") != std::string::npos || hasPercentReference(text)) return Place::Variable;
  if ((text.size() >= 2 && text[1] == ':') || (!text.empty() && (text[0] == '\\' || text[0] == '/')))
    return Place::Absolute;
  std::replace(text.begin(), text.end(), '\\', '/');
  target.clear();
  for (const auto& part : splitList(text, '/')) {
    if (part == "..") return Place::Outside;
    if (part == ".") continue;
    target += (target.empty() ? "" : "/") + part;
  }
  return Place::Inside;
}

std::string shown(const std::string& latin1) { return "\"" + latin1ToUtf8(latin1) + "\""; }

fs::path under(const fs::path& base, const std::string& target) { return base / pathFromUtf8(latin1ToUtf8(target)); }

std::string joinTarget(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

bool addPathElements(const BlockContents& config, int32_t key, const char* setting, const fs::path& from,
                     PackagePlan& plan, std::string& error) {
  for (const auto& entry : splitList(effectiveText(config, key))) {
    const char letter = entry[0];
    const std::string name = entry.size() > 2 ? entry.substr(2) : std::string();
    if (letter == 'E') {
      plan.notes.push_back(std::string(setting) + ": the variable " + latin1ToUtf8(name) +
                           " is read on the server: not packaged");
      continue;
    }
    if (letter != 'A' && letter != 'D' && letter != 'S') continue;  // the launcher skips them too
    std::string target;
    switch (placeOf(name, target)) {
      case Place::Variable:
        plan.notes.push_back(std::string(setting) + ": " + shown(name) + " depends on variables of the server: not packaged");
        continue;
      case Place::Absolute:
        plan.notes.push_back(std::string(setting) + ": " + shown(name) + " is a path on the server: not packaged");
        continue;
      case Place::Outside:
        error = std::string(setting) + ": " + shown(name) + " leads out of the launcher's folder, where a package cannot put it";
        return false;
      case Place::Inside:
        break;
    }
    if (target.empty()) {
      error = std::string(setting) + ": " + shown(name) + " names the launcher's folder itself: name the files in it";
      return false;
    }
    const bool seen = std::any_of(plan.copies.begin(), plan.copies.end(),
                                  [&](const PackagePlan::Copy& c) { return c.target == target; });
    if (!seen) plan.copies.push_back({under(from, target), target, letter == 'S'});
  }
  return true;
}

// The first folder of the search that a runtime can be put in: the first pass tries the
// steps in order, and a step before it may find another runtime on the server.
bool planRuntime(const BlockContents& config, PackagePlan& plan, std::string& error) {
  std::vector<std::string> before;
  for (const auto& entry : splitList(effectiveText(config, kSearchKey))) {
    const char letter = entry[0];
    std::string target;
    if ((letter == 'A' || letter == 'B' || letter == 'R') && placeOf(entry.substr(1), target) == Place::Inside &&
        !target.empty()) {
      plan.jre = target;
      if (!before.empty()) {
        std::string steps;
        for (const auto& step : before) steps += (steps.empty() ? "" : ", ") + step;
        plan.notes.push_back("java.search tries " + steps + " before " + target +
                             ": a runtime found there is used instead of the one shipped");
      }
      return true;
    }
    before.push_back(letter == 'Y' ? "the registry" : letter == 'S' ? "the search path"
                     : letter == 'E' ? "${" + latin1ToUtf8(entry.substr(1)) + "}" : shown(entry.substr(1)));
  }
  error = "--jre: java.search has no folder beside the launcher to put a runtime in; add one such as "
          "{ bundled = \"jre\" }";
  return false;
}

std::string temporaryName(const fs::path& output) {
  std::random_device random;
  return "." + displayPath(output.filename()) + ".vkrgen-" + std::to_string(random()) + ".tmp";
}

// Whether inner is outer or lies below it (both absolute and normal). Besides the names, an
// existing outer folder is compared as a file with inner's folders: Windows finds a folder
// by its name in any letter case and by its short 8.3 name, which the names alone miss.
bool within(const fs::path& inner, const fs::path& outer) {
  auto [end, ignored] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  if (end == outer.end()) return true;
  std::error_code ec;
  if (!fs::is_directory(outer, ec)) return false;
  for (fs::path folder = inner; !folder.empty(); folder = folder.parent_path()) {
    if (fs::equivalent(folder, outer, ec)) return true;
    if (folder == folder.parent_path()) break;
  }
  return false;
}

// Absolute, without "." and "..", and without a trailing separator ("dist/" is the folder
// dist, not an empty name inside it).
fs::path normal(const fs::path& path) {
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec).lexically_normal();
  if (!full.has_filename() && full.has_relative_path()) full = full.parent_path();
  return full;
}

bool isJarOrZip(const fs::path& file) {
  std::string extension = displayPath(file.extension());
  lowerAsciiInPlace(extension);
  return extension == ".jar" || extension == ".zip";
}

// The version a runtime's release file states, "" when it has none.
std::string releaseVersion(const fs::path& jre) {
  std::ifstream in(jre / "release", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("JAVA_VERSION=", 0) != 0) continue;
    std::string value = line.substr(13);
    while (!value.empty() && (value.back() == '\r' || value.back() == '"')) value.pop_back();
    if (!value.empty() && value.front() == '"') value.erase(0, 1);
    return value;
  }
  return {};
}

bool checkRuntime(const fs::path& jre, const BlockContents& config, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(jre, ec)) {
    error = "--jre " + displayPath(jre) + ": not a folder";
    return false;
  }
  if (!fs::is_regular_file(jre / "bin" / "java.exe", ec)) {
    error = "--jre " + displayPath(jre) + ": not a Windows Java runtime (it has no bin\\java.exe)";
    return false;
  }
  const std::string version = releaseVersion(jre);
  const std::string minimum(effectiveText(config, kKeyMinVersion)), maximum(effectiveText(config, kKeyMaxVersion));
  const Prerelease prerelease = parseConfigInt(effectiveText(config, kAllowPrereleaseKey)) != 0 ? Prerelease::Allowed
                                                                                               : Prerelease::Refused;
  if (!version.empty() && !versionMatches(version, parseVersion(minimum), parseVersion(maximum), prerelease)) {
    error = "--jre " + displayPath(jre) + ": Java " + version + " is outside the versions the configuration accepts (" +
            (minimum.empty() ? "any" : latin1ToUtf8(minimum)) + " to " + (maximum.empty() ? "any" : latin1ToUtf8(maximum)) +
            ")";
    return false;
  }
  return true;
}

bool copyInto(const fs::path& source, const fs::path& target, std::string& error) {
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  if (ec) error = "cannot copy " + displayPath(source) + ": " + ec.message();
  return !ec;
}

// A scanned folder: the files the launcher takes from it (any letter case of the extension,
// as Windows matches it).
bool copyArchives(const fs::path& source, const fs::path& target, size_t& count, std::string& error) {
  std::error_code ec;
  fs::create_directories(target, ec);
  count = 0;
  for (const auto& item : fs::directory_iterator(source, ec)) {
    if (!item.is_regular_file() || !isJarOrZip(item.path())) continue;
    if (!copyInto(item.path(), target / item.path().filename(), error)) return false;
    ++count;
  }
  if (ec) error = "cannot read " + displayPath(source) + ": " + ec.message();
  return !ec;
}

bool writeText(const fs::path& path, const std::string& text, std::string& error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  if (out && out.write(text.data(), static_cast<std::streamsize>(text.size())) && out.flush()) return true;
  error = "cannot write " + displayPath(path);
  return false;
}

// The folder as a zip whose one top folder is named top, written to temporary (beside the
// zip to be, renamed into place by the caller).
bool zipFolder(const fs::path& folder, const std::string& top, const fs::path& temporary, std::string& error) {
  std::error_code ec;
  std::vector<fs::path> items;
  for (const auto& item : fs::recursive_directory_iterator(folder, ec)) items.push_back(item.path());
  if (ec) {
    error = "cannot read " + displayPath(folder) + ": " + ec.message();
    return false;
  }
  std::sort(items.begin(), items.end());  // the same folder gives the same archive
  fs::create_directories(temporary.parent_path(), ec);
  ZipWriter writer;
  bool ok = writer.open(temporary, std::time(nullptr), error) && writer.addDirectory(top + "/", error);
  for (size_t i = 0; ok && i < items.size(); ++i) {
    std::u8string relative = items[i].lexically_relative(folder).generic_u8string();
    const std::string name = top + "/" + std::string(relative.begin(), relative.end());
    ok = fs::is_directory(items[i], ec) ? writer.addDirectory(name + "/", error) : writer.addFile(name, items[i], error);
  }
  ok = ok && writer.finish(error);
  if (!ok) fs::remove(temporary, ec);
  return ok;
}

// The new folder takes the old one's place. The old one is moved aside first and removed only
// once the new one is there, and it comes back when the new one cannot be put in place: a
// failure (a file of the old folder still open, a folder that cannot be deleted) leaves the
// old folder whole instead of half removed. leftOver names an old folder that could not be
// removed entirely afterwards.
bool putInPlace(const fs::path& staging, const fs::path& output, std::string& leftOver, std::string& error) {
  std::error_code ec;
  fs::path old;
  if (fs::is_directory(output, ec) && !fs::is_empty(output, ec)) {
    old = output.parent_path() / (temporaryName(output) + ".old");
    fs::rename(output, old, ec);
    if (ec) {
      error = "cannot move the old folder aside: " + ec.message();
      return false;
    }
  } else {
    fs::remove(output, ec);  // an empty folder, or none
  }
  fs::rename(staging, output, ec);
  if (ec) {
    error = "cannot put the folder in place: " + ec.message();
    std::error_code back;
    if (!old.empty()) fs::rename(old, output, back);
    return false;
  }
  if (!old.empty()) {
    fs::remove_all(old, ec);
    if (ec) leftOver = displayPath(old);
  }
  return true;
}

}  // namespace

bool planPackage(const BlockContents& config, const fs::path& configPath, const PackageSettings& package,
                 bool withJre, PackagePlan& plan, std::string& error) {
  plan = PackagePlan{};
  plan.executable = displayPath(configPath.stem()) + ".exe";
  const fs::path from = configPath.parent_path() / pathFromUtf8(package.from);
  if (effectiveText(config, kKeyFlavour).substr(0, 1) == "i") {
    // The launcher puts .velkor\vkrruntime.jar of the application directory on the class path.
    std::string folder;
    const std::string directory(effectiveText(config, kApplicationDirectoryKey));
    if (placeOf(directory, folder) != Place::Inside) {
      error = "launcher.application-directory " + shown(directory) +
              " is not a folder inside the package, where the runtime jar .velkor\\vkrruntime.jar must go";
      return false;
    }
    plan.runtimeJar = joinTarget(folder, ".velkor/vkrruntime.jar");
  }
  if (!addPathElements(config, kClassPathKey, "java.class-path", from, plan, error) ||
      !addPathElements(config, kModulePathKey, "java.module-path", from, plan, error))
    return false;
  if (parseConfigInt(effectiveText(config, kVmOptionsFileKey)) != 0)
    plan.vmOptions = displayPath(configPath.stem()) + ".vmoptions";
  return !withJre || planRuntime(config, plan, error);
}

std::string vmOptionsTemplate(const std::string& executable) {
  // CR LF: the file is edited on Windows. The launcher reads it as ISO-8859-1 at every start.
  std::string text = "# VM options for " + executable + "\r\n";
  const char* lines[] = {
      "#",
      "# The launcher reads this file at every start: one option per line, as on the java",
      "# command line. A line whose first character after blanks is \"#\" is a comment; there",
      "# are no comments behind an option. Every line here is a comment, so nothing changes",
      "# until you remove a \"#\". Restart the service after a change.",
      "#",
      "# The heap, and a system property with the launcher's own folder:",
      "# -Xmx1024m",
      "# -Dapp.home=${launcher:sys.launcherDirectory}",
      "#",
      "# Environment variables as ${NAME}:",
      "# -Dapp.data=${ProgramData}\\myapp",
      "#",
      "# A jar behind the configured class path (-classpath/p puts one in front of it,",
      "# -classpath replaces the configured one):",
      "# -classpath/a lib\\extra.jar",
      "#",
      "# Further options from another file, relative to this one:",
      "# -include-options site.vmoptions",
  };
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

bool packageApplication(const PackageRequest& request, std::vector<std::string>& report, std::string& error) {
  BlockContents config;
  PackageSettings settings;
  if (!loadConfigurationToml(request.config, config, error, {}, &settings)) return false;
  PackagePlan plan;
  const std::string configName = displayPath(request.config);
  if (!planPackage(config, request.config, settings, !request.jre.empty(), plan, error)) {
    error = configName + ": " + error;
    return false;
  }

  // Everything that can be checked before anything is written.
  std::error_code ec;
  for (const auto& copy : plan.copies) {
    const bool there = copy.scan ? fs::is_directory(copy.source, ec) : fs::exists(copy.source, ec);
    if (!there) {
      error = configName + ": " + (copy.scan ? "the folder " : "") + displayPath(copy.source) +
              " does not exist: the class path names it, so the package would lack it (package.from sets "
              "where the files are taken from)";
      return false;
    }
  }
  if (!plan.runtimeJar.empty() && !fs::is_regular_file(request.runtimeJar, ec)) {
    error = "vkrruntime.jar not found at " + displayPath(request.runtimeJar) +
            ": the launcher needs it in .velkor; give it with --runtime-jar or VKRGEN_RUNTIME_JAR";
    return false;
  }
  if (!request.jre.empty() && !checkRuntime(request.jre, config, error)) return false;
  const fs::path output = normal(request.output);
  if (fs::exists(output, ec) && !fs::is_directory(output, ec)) {
    error = displayPath(request.output) + ": exists and is not a folder";
    return false;
  }
  const bool occupied = fs::is_directory(output, ec) && !fs::is_empty(output, ec);
  if (occupied && !request.overwrite) {
    error = displayPath(request.output) + ": the folder is not empty; give --overwrite to replace what it holds";
    return false;
  }
  // Replacing a folder removes everything in it: never one that holds the inputs or the
  // directory this runs in.
  std::vector<fs::path> inputs = {request.config, request.launcher, fs::current_path(ec)};
  if (!request.jre.empty()) inputs.push_back(request.jre);
  for (const auto& copy : plan.copies) inputs.push_back(copy.source);
  if (!plan.runtimeJar.empty()) inputs.push_back(request.runtimeJar);
  for (const auto& input : inputs) {
    if (within(normal(input), output)) {
      error = displayPath(request.output) + ": holds " + displayPath(input) + ", which the package is made from";
      return false;
    }
  }
  if (!request.zip.empty() && within(normal(request.zip), output)) {
    error = displayPath(request.zip) + ": the zip cannot lie inside the folder it holds";
    return false;
  }
  // Nor may the folder being made (and its staging folder beside it) lie in a folder the
  // package copies, which would take the copy into itself until the disk is full.
  std::vector<fs::path> copiedFolders;
  for (const auto& copy : plan.copies)
    if (fs::is_directory(copy.source, ec)) copiedFolders.push_back(copy.source);
  if (!request.jre.empty()) copiedFolders.push_back(request.jre);
  for (const auto& folder : copiedFolders) {
    if (within(output.parent_path(), normal(folder))) {
      error = displayPath(request.output) + ": lies in " + displayPath(folder) +
              ", which the package copies: put the package elsewhere";
      return false;
    }
  }
  // And the zip replaces no file the package is made from (a configuration given as --zip).
  if (!request.zip.empty()) {
    const fs::path zip = normal(request.zip);
    for (const auto& input : inputs) {
      if (normal(input) == zip || fs::equivalent(input, zip, ec)) {
        error = displayPath(request.zip) + ": the zip would replace " + displayPath(input) +
                ", which the package is made from";
        return false;
      }
    }
  }

  fs::create_directories(output.parent_path(), ec);
  const fs::path staging = output.parent_path() / temporaryName(output);
  fs::create_directories(staging, ec);
  if (ec) {
    error = displayPath(staging) + ": cannot create the folder: " + ec.message();
    return false;
  }
  report.push_back(plan.executable + "  (the launcher)");
  bool ok = writeLauncher(config, request.launcher, staging / pathFromUtf8(plan.executable), error);
  if (ok && !plan.runtimeJar.empty()) {
    ok = copyInto(request.runtimeJar, under(staging, plan.runtimeJar), error);
    report.push_back(latin1ToUtf8(plan.runtimeJar) + "  (the launcher's Java side)");
  }
  for (size_t i = 0; ok && i < plan.copies.size(); ++i) {
    const auto& copy = plan.copies[i];
    const fs::path target = under(staging, copy.target);
    size_t count = 0;
    ok = copy.scan ? copyArchives(copy.source, target, count, error) : copyInto(copy.source, target, error);
    report.push_back(latin1ToUtf8(copy.target) + (copy.scan ? "/  (" + std::to_string(count) + " .jar and .zip files)" : ""));
  }
  if (ok && !plan.vmOptions.empty()) {
    ok = writeText(staging / pathFromUtf8(plan.vmOptions), vmOptionsTemplate(plan.executable), error);
    report.push_back(plan.vmOptions + "  (VM options; every line a comment)");
  }
  if (ok && !plan.jre.empty()) {
    ok = copyInto(request.jre, under(staging, plan.jre), error);
    report.push_back(latin1ToUtf8(plan.jre) + "/  (the Java runtime from " + displayPath(request.jre) + ")");
  }
  // The zip is made from the staging folder, before the output changes: a zip that cannot be
  // written leaves the output as it was.
  const fs::path zip = request.zip.empty() ? fs::path() : normal(request.zip);
  const fs::path zipTemporary = zip.empty() ? fs::path() : zip.parent_path() / temporaryName(zip);
  if (ok && !zip.empty()) {
    ok = zipFolder(staging, displayPath(output.filename()), zipTemporary, error);
    if (!ok) error = displayPath(request.zip) + ": " + error;
  }
  std::string leftOver;
  if (ok) {
    ok = putInPlace(staging, output, leftOver, error);
    if (!ok) error = displayPath(request.output) + ": " + error;
  }
  if (!ok) {
    fs::remove_all(staging, ec);
    if (!zipTemporary.empty()) fs::remove(zipTemporary, ec);
    return false;
  }
  for (const auto& note : plan.notes) report.push_back("note: " + note);
  if (!leftOver.empty()) report.push_back("note: the old folder could not be removed entirely: " + leftOver);
  if (!zip.empty()) {
    fs::rename(zipTemporary, zip, ec);
    if (ec) {
      error = displayPath(request.zip) + ": cannot replace the file: " + ec.message() + " (the folder is in place)";
      fs::remove(zipTemporary, ec);
      return false;
    }
    report.push_back("zip: " + displayPath(request.zip));
  }
  return true;
}

}  // namespace vkr::gen

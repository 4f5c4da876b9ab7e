// vkrgen: turns the generic launcher into an application's service launcher, reads a
// launcher's configuration back, writes a starter configuration from a jar and lays out the
// folder that ships.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "Console.h"
#include "Generator.h"
#include "Init.h"
#include "Package.h"
#include "Text.h"

namespace fs = std::filesystem;
using vkr::gen::displayPath;
using vkr::gen::pathFromUtf8;

namespace {

// The folder of vkrgen itself: the generic launcher and vkrruntime.jar ship beside it.
fs::path ownFolder(const char* argv0) {
#ifdef _WIN32
  (void)argv0;
  std::wstring path(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return fs::path(path).parent_path();
#else
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv0, ec);
  return self.parent_path();
#endif
}

#ifdef _WIN32
// Invalid UTF-16 (a lone surrogate) becomes U+FFFD rather than an exception.
std::string utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), bytes, nullptr, nullptr);
  return text;
}
#endif

// An environment variable as UTF-8 ("" when unset).
std::string environment(const char* name) {
#ifdef _WIN32
  std::wstring wideName(name, name + std::char_traits<char>::length(name));
  std::wstring value(32767, L'\0');
  DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
  if (length == 0 || length >= value.size()) return {};
  value.resize(length);
  return utf8FromWide(value);
#else
  const char* value = std::getenv(name);
  return value ? value : "";
#endif
}

int fail(const std::string& what) {
  vkr::gen::writeError("vkrgen: error: " + what + "\n");
  return 1;
}

int run(int argc, char** argv) {
  CLI::App app{"vkrgen: makes a Windows service launcher for a Java application from the generic vkrsvc.exe"};
  app.require_subcommand(1);
  app.footer("A first service: vkrgen init APP.jar, then vkrgen package APP.toml -o DIR; on the server\n"
             "DIR\\APP.exe /install-and-start. See the README for the configuration's settings.");

  std::string config, output, launcher;
  bool shippedIdentity = false;
  CLI::App* build = app.add_subcommand("build", "Write a launcher with the configuration of a TOML file");
  build->add_option("config", config, "Configuration (TOML)")->required();
  build->add_option("-o,--output", output, "Executable to write")->required();
  build->add_option("--launcher", launcher, "Generic launcher (default: vkrsvc.exe beside vkrgen)");
  build->add_flag("--shipped-identity", shippedIdentity,
                  "Let a configuration leave out the service's name and main class (tests of the launcher)");

  std::string executable, extractDir;
  CLI::App* inspect = app.add_subcommand("inspect", "Print the configuration of a generated launcher as TOML");
  inspect->add_option("executable", executable, "Generated launcher")->required();
  inspect->add_option("--extract-dir", extractDir, "Write the included files into this directory");

  std::string jar, mainClass;
  CLI::App* init = app.add_subcommand("init", "Write a commented starter configuration for an application jar");
  init->add_option("jar", jar, "The application's jar")->required();
  init->add_option("-o,--output", output, "Configuration to write (default: NAME.toml here)");
  init->add_option("--main-class", mainClass, "Main class, when the jar's manifest names none");

  std::string jre, zip, runtimeJar;
  bool overwrite = false;
  CLI::App* package = app.add_subcommand("package", "Lay out the folder that ships: launcher, jars, runtime");
  package->add_option("config", config, "Configuration (TOML)")->required();
  package->add_option("-o,--output", output, "Folder to lay out")->required();
  package->add_option("--jre", jre, "A Windows Java runtime to ship where the configured search looks first");
  package->add_option("--zip", zip, "Also write the folder as this zip file");
  package->add_flag("--overwrite", overwrite, "Replace what a non-empty output folder holds");
  package->add_option("--launcher", launcher, "Generic launcher (default: vkrsvc.exe beside vkrgen)");
  package->add_option("--runtime-jar", runtimeJar,
                      "vkrruntime.jar (default: VKRGEN_RUNTIME_JAR, else vkrruntime.jar beside vkrgen)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return vkr::gen::writeOutput(app.help()) ? 0 : 1;
  } catch (const CLI::CallForAllHelp&) {
    return vkr::gen::writeOutput(app.help("", CLI::AppFormatMode::All)) ? 0 : 1;
  } catch (const CLI::ParseError& e) {
    return fail(std::string(e.what()) + " (vkrgen --help lists the commands and options)");
  }

  const fs::path folder = ownFolder(argv[0]);
  const fs::path generic = launcher.empty() ? folder / "vkrsvc.exe" : pathFromUtf8(launcher);
  std::string error;
  if (build->parsed()) {
    vkr::gen::ParseOptions options;
    options.shippedIdentity = shippedIdentity;
    if (!vkr::gen::buildLauncher(pathFromUtf8(config), generic, pathFromUtf8(output), error, options))
      return fail(error);
    return 0;
  }
  if (inspect->parsed()) {
    std::string toml;
    if (!vkr::gen::inspectExecutable(pathFromUtf8(executable), pathFromUtf8(extractDir), toml, error))
      return fail(error);
    return vkr::gen::writeOutput(toml) ? 0 : 1;
  }
  if (init->parsed()) {
    fs::path written;
    if (!vkr::gen::writeStarterConfiguration({pathFromUtf8(jar), pathFromUtf8(output), mainClass}, written, error))
      return fail(error);
    const std::string name = displayPath(written);
    const std::string stem = displayPath(written.stem());
    return vkr::gen::writeOutput("Wrote " + name + ". Look it over, then lay out the folder to ship:\n  vkrgen package " +
                                 name + " -o " + stem + "-service\n")
               ? 0
               : 1;
  }
  vkr::gen::PackageRequest request;
  request.config = pathFromUtf8(config);
  request.output = pathFromUtf8(output);
  request.launcher = generic;
  std::string fromEnvironment = environment("VKRGEN_RUNTIME_JAR");
  request.runtimeJar = !runtimeJar.empty()        ? pathFromUtf8(runtimeJar)
                       : !fromEnvironment.empty() ? pathFromUtf8(fromEnvironment)
                                                  : folder / "vkrruntime.jar";
  request.jre = pathFromUtf8(jre);
  request.zip = pathFromUtf8(zip);
  request.overwrite = overwrite;
  std::vector<std::string> report;
  if (!vkr::gen::packageApplication(request, report, error)) return fail(error);
  std::string text = "Laid out " + output + ":\n";
  for (const auto& line : report) text += "  " + line + "\n";
  // Written as the server's console takes it, whatever this machine's separator.
  std::string exe = output + "\\" + displayPath(request.config.stem()) + ".exe";
  std::replace(exe.begin(), exe.end(), '/', '\\');
  text += "Copy the folder to the server and run, in an administrator's console there:\n  " + exe +
          " /install-and-start\n";
  return vkr::gen::writeOutput(text) ? 0 : 1;
}

int runGuarded(int argc, char** argv) {
  // Whatever escapes (a file system fault, memory) still ends in one line of the usual form.
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    return fail(e.what());
  } catch (...) {
    return fail("unexpected failure");
  }
}

}  // namespace

#ifdef _WIN32
// Arguments arrive in UTF-16, so paths in any script reach the file system unchanged; inside,
// they travel as UTF-8.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> utf8;
  for (int i = 0; i < argc; ++i) utf8.push_back(utf8FromWide(argv[i]));
  std::vector<char*> pointers;
  for (auto& text : utf8) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return runGuarded(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return runGuarded(argc, argv); }
#endif

// vkrgen: writes the configuration block of a generated launcher and reads it back.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#endif

#include "Generator.h"

namespace fs = std::filesystem;

namespace {

// The generic launcher ships beside the generator.
fs::path defaultLauncher(const char* argv0) {
#ifdef _WIN32
  (void)argv0;
  std::wstring path(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  fs::path self(path);
#else
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv0);
#endif
  return self.parent_path() / "vkrsvc.exe";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vkrgen: generate a configured launcher from the generic vkrsvc.exe"};
  app.require_subcommand(1);

  std::string config, output, launcher;
  CLI::App* build = app.add_subcommand("build", "Write a launcher with the configuration of a TOML file");
  build->add_option("config", config, "Configuration (TOML)")->required();
  build->add_option("-o,--output", output, "Executable to write")->required();
  build->add_option("--launcher", launcher, "Generic launcher (default: vkrsvc.exe beside vkrgen)");

  std::string executable, extractDir;
  CLI::App* inspect = app.add_subcommand("inspect", "Print the configuration of a generated launcher as TOML");
  inspect->add_option("executable", executable, "Generated launcher")->required();
  inspect->add_option("--extract-dir", extractDir, "Write the included files into this directory");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  std::string error;
  if (build->parsed()) {
    fs::path generic = launcher.empty() ? defaultLauncher(argv[0]) : fs::path(launcher);
    if (vkr::gen::buildLauncher(config, generic, output, error)) return 0;
  } else {
    std::string toml;
    if (vkr::gen::inspectExecutable(executable, extractDir, toml, error)) {
      std::cout << toml;
      return std::cout.flush() ? 0 : 1;
    }
  }
  std::cerr << "vkrgen: error: " << error << "\n";
  return 1;
}

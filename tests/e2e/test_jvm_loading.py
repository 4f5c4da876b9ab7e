"""jvm.dll loading as the real launcher does it with /run: the shipped message a user sees
when the runtime found holds only a 32-bit library (or none is found at all), and the
ucrtbase.dll preload, which follows the Windows version the launcher is told. The launcher's
compatibility manifest lifts the cap that a program without one gets, so on a Windows 10
prefix nothing is preloaded and on a Windows 8.1 prefix the runtime's ucrtbase.dll is."""

import shutil
import unittest

import harness

CONFIG = """
[service]
name = "LoaderSvc"
[launcher]
kind = 4
[java]
search = [{search}]
"""

# The override variables must not lend the search a runtime from the caller's environment.
ENV = {"VELKOR_LOG": "yes", "QUENTA_JAVA_HOME": "", "VELKOR_JAVA_HOME": "", "JAVA_HOME": "", "JDK_HOME": ""}

BANNER = 'banner=openjdk version "17.0.1" 2021-10-19\n'

MESSAGE_1016 = ("No JVM could be found on your system.\nPlease define QUENTA_JAVA_HOME\nto point to an "
                "installed 64-bit JDK or JRE or download a JRE from adoptium.net.")
MESSAGE_1020 = ("The JVM found at {0} is damaged.\nPlease reinstall or define QUENTA_JAVA_HOME\nto point "
                "to an installed 64-bit JDK or JRE.")


def windows_version(version=None):
    """The Windows version the test prefix reports (winecfg's names: win7, win81, win10, ...),
    after setting it when one is given."""
    command = ["wine", "winecfg", "-v"] + ([version] if version else [])
    code, stdout, _ = harness.captured(command, harness.wine_env())
    if code != 0:
        raise AssertionError(f"winecfg -v failed with {code}")
    return version or stdout.decode("latin-1").strip()


class JvmLoadingTest(harness.LauncherTestCase):
    def runtime(self, name, flavour, ucrtbase=False):
        """A runtime home in the work directory: bin\\java.exe reporting 17.0.1 and
        bin\\server\\jvm.dll of the given stand-in flavour (x64, noexport, x86)."""
        home = self.work / name
        bin_dir = home / "bin"
        (bin_dir / "server").mkdir(parents=True)
        shutil.copy(harness.FIXTURES / "javastub" / "java.exe", bin_dir / "java.exe")
        (bin_dir / "java.cfg").write_text(BANNER)
        shutil.copy(harness.FIXTURES / "jvmdll" / flavour / "jvm.dll", bin_dir / "server" / "jvm.dll")
        if ucrtbase:
            # Any loadable 64-bit library will do: only its presence decides the preload.
            shutil.copy(harness.FIXTURES / "jvmdll" / "x64" / "jvm.dll", bin_dir / "ucrtbase.dll")
        exe = harness.win_path(bin_dir / "java.exe").lower()
        self.addCleanup(harness.reg, "delete", "HKCU\\SOFTWARE\\morrandt\\quenta\\jvms\\" + exe.replace("\\", "/"), "/f")
        return home

    def run_launcher(self, name, search):
        config = CONFIG.format(search=", ".join(harness.toml_string(s) for s in search))
        exe = self.make_launcher(config, name=f"{name}.exe", subdir=name)
        result = harness.run(exe, "/run", env=ENV)
        log = harness.log_of(exe)
        self.assertIsNotNone(log, "no diagnostic log names the executable")
        self.addCleanup(log.unlink, missing_ok=True)
        return result, harness.log_lines(log)

    def test_messages_from_the_shipped_block(self):
        x86 = harness.win_path(self.runtime("x86rt", "x86"))
        cases = [
            ("damaged", ["B" + x86], MESSAGE_1020.replace("{0}", x86), ["Failed with error code 193"]),
            ("nothing", [], MESSAGE_1016, ["ERROR: No JVM found"]),
        ]
        for name, search, message, logged in cases:
            with self.subTest(name):
                result, lines = self.run_launcher(name, search)
                self.assertEqual(result.code, 1)
                shown = result.stderr.replace("\r\n", "\n")
                self.assertTrue(shown.startswith(message + "\n"), shown)
                for line in logged:
                    self.assertIn(line, lines)
                self.assertNotIn("Loading of JVM-DLL successful", lines)

    def test_ucrtbase_preload_follows_the_prefix_windows_version(self):
        home = harness.win_path(self.runtime("ucrtrt", "x64", ucrtbase=True))
        # The prefix is shared with the other tests of the run: it gets its own version back.
        self.addCleanup(windows_version, windows_version() or "win10")
        for version, preloads in [("win10", False), ("win81", True), ("win7", True)]:
            with self.subTest(version):
                windows_version(version)
                _, lines = self.run_launcher(version, ["B" + home])
                self.assertIn("Loading of JVM-DLL successful", lines)
                self.assertEqual("Preloading ucrtbase.dll 4" in lines, preloads, lines)
                self.assertNotIn("Could not preload ucrtbase.dll", lines)


if __name__ == "__main__":
    unittest.main()

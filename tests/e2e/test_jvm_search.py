"""The JVM search as a user meets it through "/run": a generated launcher with the shipped
search list and a runtime delivered in the jre folder beside it (the java stand-in and the
64-bit jvm.dll stand-in). The log tells which runtime was chosen and how; the stand-in JVM
is then created and its main returns at once, so the run ends with exit code 0."""

import shutil
import unittest

import harness

CONFIG = """
[service]
name = "SearchSvc"
[java]
min-version = "1.8"
"""

CACHE_KEY = "HKCU\\SOFTWARE\\morrandt\\quenta\\jvms\\"


class JvmSearchRunTest(harness.LauncherTestCase):
    def lay_out_runtime(self, version):
        """work\\jre\\bin\\java.exe reporting version, with bin\\server\\jvm.dll."""
        bin_dir = self.work / "jre" / "bin"
        (bin_dir / "server").mkdir(parents=True)
        shutil.copy(harness.FIXTURES / "javastub" / "java.exe", bin_dir / "java.exe")
        shutil.copy(harness.FIXTURES / "jvmdll" / "x64" / "jvm.dll", bin_dir / "server" / "jvm.dll")
        (bin_dir / "java.cfg").write_text(f'banner=java version "{version}"\n')
        java = harness.win_path(bin_dir / "java.exe").lower()
        self.addCleanup(harness.reg, "delete", CACHE_KEY + java.replace("\\", "/"), "/f")
        return bin_dir, java

    def run_launcher(self, exe):
        # Variables of the Linux side must not offer a runtime of their own.
        result = harness.run(exe, "/run", env={"VELKOR_LOG": "yes", "JAVA_HOME": "", "JDK_HOME": "",
                                               "QUENTA_JAVA_HOME": "", "VELKOR_JAVA_HOME": ""})
        log = harness.log_of(exe)
        self.assertIsNotNone(log, "no diagnostic log names the executable")
        lines = harness.log_lines(log)
        log.unlink()
        return result, lines

    def assert_in_order(self, lines, expected):
        position = -1
        for line in expected:
            self.assertIn(line, lines[position + 1:], f"missing after line {position}: {line}")
            position = lines.index(line, position + 1)

    def test_runtime_in_the_jre_folder_is_chosen_and_cached(self):
        exe = self.make_launcher(CONFIG)
        bin_dir, java = self.lay_out_runtime("17.0.1")
        result, lines = self.run_launcher(exe)
        self.assertEqual(result.code, 0, result.stderr)
        self.assert_in_order(lines, [
            "Searching for a JVM",
            "MinVersion: 1.8, MaxVersion: ",
            "Testing location .\\jre (type B)",
            "got version from execution 17.0.1",
            "checkJavaExe returning 1",
            "Trying to load JVM-DLL from " + java,
            "Loading of JVM-DLL successful",
            "launch done",
        ])
        self.assertNotIn("Testing location  (type Y)", lines)

        # The second launch takes the version from the cache: no second run of java.exe.
        result, lines = self.run_launcher(exe)
        self.assertEqual(result.code, 0, result.stderr)
        self.assertIn("got version from registry 17.0.1", lines)
        self.assertIn("Loading of JVM-DLL successful", lines)
        self.assertEqual(len((bin_dir / "java.runs").read_text().splitlines()), 1)

    def test_old_runtime_in_the_jre_folder_is_used_by_the_fallback_pass(self):
        exe = self.make_launcher(CONFIG)
        _, java = self.lay_out_runtime("1.7.0_80")
        result, lines = self.run_launcher(exe)
        self.assertEqual(result.code, 0, result.stderr)
        self.assert_in_order(lines, [
            "Testing location .\\jre (type B)",
            "got version from execution 1.7.0_80",
            "checkJavaExe returning 0",
            "Testing location  (type Y)",
            "Testing location JAVA_HOME (type E)",
            "Testing location JDK_HOME (type E)",
            "Testing relative location .\\jre",
            java + " exists",
            "Trying to load JVM-DLL from " + java,
            "Loading of JVM-DLL successful",
            "launch done",
        ])


if __name__ == "__main__":
    unittest.main()

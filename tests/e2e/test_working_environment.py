"""The working environment of a generated launcher as its diagnostic log shows it: PATH
reduced to the Windows directory's entries, the configured working directory entered
whatever directory the launcher was started from, and configured texts with their
references expanded on the way."""

import getpass
import unittest

import harness

# Console errors and no runtime to find: /run prepares everything, then the search ends it.
CONFIG = """
[service]
name = "EnvSvc"
[launcher]
kind = 4
reduce-path = {reduce}
working-directory = {directory}
native-library-path = [{native}]
[java]
search = []
"""

LOG = {"VELKOR_LOG": "yes"}
WINDOWS = "C:\\windows"  # GetWindowsDirectory under Wine
WINDOWS_TEMP = "C:\\users\\" + getpass.getuser() + "\\Temp\\"  # and its GetTempPath


class WorkingEnvironmentTest(harness.LauncherTestCase):
    def run_launcher(self, name, reduce=False, directory=".", native=(), windows_env=None):
        """Runs a launcher made for one case with /run from a directory of its own; returns
        its log lines and the Windows name of the executable's directory."""
        config = CONFIG.format(reduce="true" if reduce else "false", directory=harness.toml_string(directory),
                               native=", ".join(harness.toml_string(n) for n in native))
        exe = self.make_launcher(config, name=f"{name}.exe", subdir=name)
        elsewhere = self.work / f"{name}-started-here"
        elsewhere.mkdir()
        result = harness.run(exe, "/run", env=LOG, windows_env=windows_env, cwd=elsewhere)
        self.assertEqual(result.code, 1, result.stderr)
        log = harness.log_of(exe)
        self.assertIsNotNone(log, "no diagnostic log names the executable")
        self.addCleanup(log.unlink, missing_ok=True)
        return harness.log_lines(log), harness.win_path(exe.parent)

    def native_path_line(self, lines):
        found = [l for l in lines if l.startswith("Setting PATH (native libs) ")]
        self.assertEqual(len(found), 1, "\n".join(lines))
        return found[0][len("Setting PATH (native libs) "):]

    def test_reduced_path_keeps_the_windows_directory_entries_in_their_order(self):
        mixed = (f"{WINDOWS}\\system32;Z:\\tools;c:\\WINDOWS;;Z:\\other;{WINDOWS}Apps\\x;"
                 f"C:\\Windows\\System32\\Wbem")
        kept = f"{WINDOWS}\\system32;c:\\WINDOWS;{WINDOWS}Apps\\x;C:\\Windows\\System32\\Wbem"
        cases = [
            # name, key 10010, PATH given, reduction logged (None: none), PATH read back later
            ("reduced", True, mixed, kept, kept),
            # An empty result would leave the launcher's children without the system
            # directories: PATH stays.
            ("nothing-inside", True, "Z:\\tools;Z:\\other", "", "Z:\\tools;Z:\\other"),
            ("not-asked", False, mixed, None, mixed),
        ]
        for name, reduce, path, reduced, read_back in cases:
            with self.subTest(name):
                lines, _ = self.run_launcher(name, reduce=reduce, windows_env={"PATH": path})
                # The launch sequence reads PATH back from the process environment.
                self.assertEqual(self.native_path_line(lines), read_back)
                logged = [l for l in lines if l.startswith(("reducing PATH", "reduced PATH"))]
                expected = [] if reduced is None else [f"reducing PATH {len(WINDOWS)} {len(path) + 1} {path}",
                                                       f"reduced PATH {len(reduced)} to {reduced}"]
                self.assertEqual(logged, expected)

    def test_working_directory_is_resolved_against_the_executable(self):
        # Every case is started from a directory of its own, not the executable's.
        cases = [
            # name, key 146, the line logged ({exe}: the executable's directory)
            # Resolution puts the text behind the directory and collapses only backslashes.
            ("dot", ".", "change working directory to {exe}\\."),
            # Missing: the call fails quietly and the line is written all the same.
            ("relative", "sub\\deeper", "change working directory to {exe}\\sub\\deeper"),
            ("absolute", "Z:\\tmp", "change working directory to Z:\\tmp"),
            ("unchanged", "", "working directory unchanged"),
        ]
        for name, directory, line in cases:
            with self.subTest(name):
                lines, exe_dir = self.run_launcher(name, directory=directory)
                moves = [l for l in lines if l.startswith(("change working directory", "working directory"))]
                self.assertEqual(moves, [line.format(exe=exe_dir)])

    def test_references_in_configured_texts_are_expanded(self):
        # Stored as "Path" (PATH removed first): the name as stored and its upper-case form
        # expand, other spellings do not.
        environment = {"PATH": "", "Path": "Z:\\pp", "VkrMixed": "mixed", "JAVA_HOME": "jh"}
        cases = [
            # name, key 146, the working directory relative to the executable's directory
            ("launcher-directory", "${launcher:sys.launcherDirectory}sub", "sub"),
            ("spelling", "w_${VkrMixed}_${VKRMIXED}_${vkrmixed}", "w_mixed_mixed_${vkrmixed}"),
            ("path-spelling", "p${Path}_${PATH}_${path}", "pZ:\\pp_Z:\\pp_${path}"),
            ("percent-form", "%JAVA_HOME%_${JAVA_HOME}", "%JAVA_HOME%_jh"),
            # Expanded before the included files are extracted: nothing to name yet.
            ("no-extraction-yet", "t${launcher:sys.launcherTempDirectory}", "t"),
            # An absolute result stays as it is.
            ("temp-directory", "${launcher:sys.tempDir}", None),
        ]
        for name, directory, relative in cases:
            with self.subTest(name):
                lines, exe_dir = self.run_launcher(name, directory=directory, windows_env=environment)
                moves = [l for l in lines if l.startswith("change working directory to ")]
                entered = WINDOWS_TEMP if relative is None else f"{exe_dir}\\{relative}"
                self.assertEqual(moves, [f"change working directory to {entered}"])
                if name == "launcher-directory":
                    self.assertIn(f"expanding2 ${{launcher:sys.launcherDirectory}} to {exe_dir}\\ in "
                                  f"{exe_dir}\\sub.", lines)

        # The 8-bit form, in the native-library directories: a separator reference splits an
        # entry in two, and every piece is resolved against the executable's directory.
        lines, exe_dir = self.run_launcher(
            "native", native=["${launcher:sys.launcherDirectory}natives",
                              "%VELKOR_EXEDIR%lib${launcher:sys.pathlistSeparator}${VkrMixed}",
                              "%JAVA_HOME%"],
            windows_env=environment)
        self.assertEqual(self.native_path_line(lines),
                         f"{exe_dir}\\natives;{exe_dir}\\lib;{exe_dir}\\mixed;{exe_dir}\\%JAVA_HOME%;Z:\\pp")


if __name__ == "__main__":
    unittest.main()

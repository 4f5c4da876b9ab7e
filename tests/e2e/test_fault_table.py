"""The fault table: what a generated launcher does when what surrounds it goes wrong, its VM
options file, its runtime, its environment. Each row runs the real launcher with /run under
Wine, with the stand-in runtime beside it (tests/fixtures), and checks the outcome a user or
an administrator meets (the console text, the exit code, the diagnostic log's line) and that
nothing is left behind: no file in the run's own temp directory but its log, no process.

The service rows are in test_service_host.py (a child crashing at its start, the host killed,
stops during the start and twice, a child writing a lot) and, for an application whose
shutdown hook never returns, in tests/java/test_runtime.py, where the Java side runs on a real
JVM and halts it after its stop timeout. The service manager's shutdown control has no row:
only the system sends it when Windows shuts down, and Wine's manager, like Windows, refuses it
from ControlService; the host handles it through the same stop request as a stop."""

import getpass
import unittest

import harness

BANNER = harness.STANDIN_BANNER
SEARCH = '[java]\nsearch = ["A.\\\\jre"]\n'
ENV = {"VELKOR_LOG": "yes", "JAVA_HOME": "", "JDK_HOME": "", "QUENTA_JAVA_HOME": "", "VELKOR_JAVA_HOME": ""}
DAMAGED = ("The JVM found at {0} is damaged.\nPlease reinstall or define QUENTA_JAVA_HOME\nto point to an "
           "installed 64-bit JDK or JRE.")


class FaultTableTest(harness.LauncherTestCase):
    def launcher(self, name, settings="", standin="", java_cfg=harness.STANDIN_BANNER, jvm=None, folder=None):
        """A generated launcher in a folder of its own with the stand-in runtime in jre beside
        it; jvm: the bytes of jvm.dll (default: the recording stand-in)."""
        exe = self.make_launcher(SEARCH + settings, name=f"{name}.exe", subdir=folder or name)
        self.add_standin_runtime(exe, standin, java_cfg, jvm)
        return exe

    def records(self, exe):
        # Options arrive in the ANSI code page, as a JVM reads them.
        return self.standin_records(exe, encoding="cp1252")

    def options(self, exe):
        return [r[len("option "):] for r in self.records(exe) if r.startswith("option ")]

    def run_row(self, exe, env=None, windows_env=None, timeout=120):
        """/run in a temp directory of the run's own; the result and the log's lines. Checks
        that the run left nothing behind."""
        temp = self.work / f"temp-{exe.stem}"
        temp_env, _ = harness.private_temp(temp)
        result = harness.run(exe, "/run", env={**ENV, **(env or {})}, windows_env={**temp_env, **(windows_env or {})},
                             timeout=timeout)
        log = harness.log_of(exe, temp)
        self.assertIsNotNone(log, f"no log: {result.stderr}")
        lines = harness.log_lines(log)
        log.unlink()
        self.assertEqual(sorted(p.name for p in temp.iterdir()), [], "left in the temp directory")
        self.assertNoProcessOf(exe)
        return result, lines

    def assertShown(self, result, text):
        shown = result.stderr.replace("\r\n", "\n")
        self.assertTrue(shown.startswith(text + "\n"), shown)

    def test_vm_options_files(self):
        long_line = b"-Dlong=" + b"x" * 1_000_000 + b"\r\n"
        garbage = bytes(range(256)) * 64 + b"\x00\xff\r\r\n\x1a-Dafter.garbage=1\n"
        rows = [
            # (row, files beside the launcher, log line, options that must arrive, must not)
            ("a 1 MB line", {"app.vmoptions": long_line + b"-Dnext=1\r\n"},
             "ERROR: line 1 of the VM options file is longer than 29999 bytes and was skipped: "
             "-Dlong=" + "x" * 93 + "...", ["-Dnext=1"], ["-Dlong="]),
            ("binary garbage", {"app.vmoptions": garbage}, "Creating JVM", [], []),
            ("a self-include", {"app.vmoptions": b"-Dtop=1\n-include-options app.vmoptions\n"},
             "not read: -include-options nested deeper than 10 files", ["-Dtop=1"], []),
            ("a two-file cycle", {"app.vmoptions": b"-include-options b.vmoptions\n-Da=1\n",
                                  "b.vmoptions": b"-include-options app.vmoptions\n-Db=1\n"},
             "not read: -include-options nested deeper than 10 files", ["-Da=1", "-Db=1"], []),
            ("a UTF-8 byte-order mark", {"app.vmoptions": b"\xef\xbb\xbf-Dname=\xc3\xa9t\xc3\xa9\r\n-Dnext=2\r\n"},
             "Creating JVM", ["-Dname=\u00e9t\u00e9", "-Dnext=2"], ["\ufeff"]),
            ("a directory named like the file", {"app.vmoptions/": b"", "app.exe.vmoptions": b"-Dsecond=1\n"},
             "Creating JVM", ["-Dsecond=1"], []),
        ]
        for index, (row, files, logged, present, absent) in enumerate(rows):
            with self.subTest(row):
                exe = self.launcher("app", folder=f"vmoptions{index}")
                for name, data in files.items():
                    if name.endswith("/"):
                        (exe.parent / name).mkdir()
                    else:
                        (exe.parent / name).write_bytes(data)
                result, lines = self.run_row(exe)
                self.assertEqual(result.code, 0, result.stderr)
                self.assertTrue(any(logged in line for line in lines), lines)
                options = self.options(exe)
                for option in present:
                    self.assertIn(option, options)
                for fragment in absent:
                    self.assertFalse([o for o in options if fragment in o], fragment)
                self.assertIn("main com/velkor/runtime/launcher/WinLauncher", self.records(exe))

    def test_runtimes_that_fail(self):
        standin = (harness.FIXTURES / "jvmdll" / "x64" / "jvm.dll").read_bytes()
        rows = [
            # (row, java.cfg, jvm.dll bytes, stand-in cfg, exit code, shown text, log lines)
            # A runtime whose version cannot be told is not refused: the search's last pass
            # takes the first runtime it finds whatever its version.
            ("a java.exe that prints garbage", "banner=\x01\x02 java version? \xff\xfe\nbanner=garbage 9 9 9\n", None,
             "", 0, None, ["couldn't get version", "Creating JVM"]),
            ("a java.exe that crashes", BANNER + "exit=-1073741819\n", None, "", 0, None,
             ["Exit Code 3221225477", "couldn't get version", "Creating JVM"]),
            ("a 32-bit jvm.dll", BANNER, (harness.FIXTURES / "jvmdll" / "x86" / "jvm.dll").read_bytes(), "", 1,
             DAMAGED.format(".\\jre"), ["Failed with error code 193"]),
            ("a truncated jvm.dll", BANNER, standin[:len(standin) // 3], "", 1, DAMAGED.format(".\\jre"),
             ["Failed with error code 193"]),
            ("a jvm.dll without the entry point", BANNER,
             (harness.FIXTURES / "jvmdll" / "noexport" / "jvm.dll").read_bytes(), "", 1, DAMAGED.format(".\\jre"),
             ["ERROR: Could not load functions"]),
            ("a JVM that cannot be created", BANNER, None, "create=fail\n", 1, None, ["ERROR: could not initialize JVM"]),
            ("a main that throws", BANNER, None, "main=throw\n", 1, None,
             ["ERROR: java.lang.IllegalStateException: thrown by the stand-in main", "ERROR: could not call main"]),
            ("a main that calls exit with 7", BANNER, None, "main=exit:7\n", 7, None, ["Creating JVM"]),
        ]
        for index, (row, java_cfg, jvm, standin_cfg, code, shown, logged) in enumerate(rows):
            with self.subTest(row):
                exe = self.launcher("app", standin=standin_cfg, java_cfg=java_cfg, jvm=jvm, folder=f"runtime{index}")
                result, lines = self.run_row(exe)
                self.assertEqual(result.code, code, result.stderr)
                if shown:
                    self.assertShown(result, shown)
                for line in logged:
                    self.assertIn(line, lines)

    def test_a_java_exe_that_hangs(self):
        # The version query gives up after a minute and ends the runtime's process (no java.exe
        # is left running); as for any runtime whose version cannot be told, the last pass
        # takes it.
        exe = self.launcher("app", java_cfg=BANNER + "delay=600000\n", folder="hang")
        result, lines = self.run_row(exe, timeout=300)
        self.assertEqual(result.code, 0, result.stderr)
        for line in ("Terminating process", "couldn't get version", "Creating JVM"):
            self.assertIn(line, lines)

    def test_environments_that_are_not_as_expected(self):
        unicode_folder = "Dienst f\u00fcr \u03a9 und \u65e5\u672c"
        long_path = "C:\\windows\\system32;C:\\windows;" + "C:\\p" * 7992

        def library_path_is_whole(exe):
            # The JVM finds the application's native libraries however long PATH has grown.
            library = [o for o in self.options(exe) if o.startswith("-Djava.library.path=")]
            self.assertEqual(len(library), 1)
            self.assertTrue(library[0].endswith(long_path), library[0][:200])
            self.assertTrue(library[0].lower().startswith("-djava.library.path=" + harness.win_path(exe.parent).lower()))

        def paths_reach_the_jvm(exe):
            # The 8-bit options name the folder by its short name (no '?' standing for what the
            # code page lacks); the module name property carries the exact UTF-16 path.
            records = (exe.parent / "jre" / "bin" / "server" / "jvm-standin.log").read_bytes()
            self.assertNotIn(b"?", records)
            exact = "setProperty quenta.moduleName=" + harness.win_path(exe)
            self.assertIn(exact.encode("utf-8"), records.split(b"\n"))

        rows = [
            # (row, Windows variables, settings, folder, what else must hold)
            ("TMP naming a drive that does not exist", {"TMP": "Q:\\nowhere", "TEMP": "Q:\\nowhere"}, "",
             "tmp-missing", None),
            ("TMP naming a file", "FILE", "", "tmp-file", None),
            ("a PATH of 32000 characters", {"PATH": long_path}, "", "long-path", library_path_is_whole),
            ("a working directory that does not exist", {}, '[launcher]\nworking-directory = "no\\\\such\\\\dir"\n',
             "no-workdir", None),
            ("a folder with blanks and characters beyond the ANSI code page", {}, "", unicode_folder,
             paths_reach_the_jvm),
        ]
        for index, (row, variables, settings, folder, check) in enumerate(rows):
            with self.subTest(row):
                exe = self.launcher("app", settings=settings, folder=folder)
                if variables == "FILE":
                    blocker = self.work / f"not-a-directory{index}"
                    blocker.write_text("a file where the temp directory should be")
                    variables = {k: harness.win_path(blocker) for k in ("TMP", "TEMP")}
                if "TMP" in variables:
                    result, lines = self.run_outside_temp(exe, variables)
                else:
                    result, lines = self.run_row(exe, windows_env=variables)
                self.assertEqual(result.code, 0, result.stderr)
                self.assertIn("Creating JVM", lines)
                self.assertIn("main com/velkor/runtime/launcher/WinLauncher", self.records(exe))
                if check:
                    check(exe)

    def run_outside_temp(self, exe, variables):
        """/run with TMP and TEMP as given. The launcher falls back to the next usable
        candidate: in the test prefix, where the profile has no AppData\\Local\\Temp, that is
        the home directory (HOMEDRIVE and HOMEPATH), so its log is looked for there."""
        home = harness.WINEPREFIX / "drive_c" / "users" / getpass.getuser()
        result = harness.run(exe, "/run", env=ENV, windows_env=variables)
        log = harness.log_of(exe, home)
        self.assertIsNotNone(log, f"no log: {result.stderr}")
        self.addCleanup(log.unlink, missing_ok=True)
        lines = harness.log_lines(log)
        self.assertIn(f"tempPath is C:\\users\\{getpass.getuser()}", lines)
        self.assertNoProcessOf(exe)
        return result, lines


if __name__ == "__main__":
    unittest.main()

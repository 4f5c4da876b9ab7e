"""The JVM invocation as generated launchers do it under Wine, against the recording jvm.dll
stand-in (tests/fixtures/jvmdll): the options the JVM is created with, in their order, the
parameters main receives, the other calls, the helper library, and each failure's exit code
and log lines. The stand-in records everything in jvm-standin.log beside it."""

import shutil
import unittest

import harness

# Variables of the Linux side must not offer a runtime or options of their own.
ENV = {"VELKOR_LOG": "yes", "JAVA_HOME": "", "JDK_HOME": "", "QUENTA_JAVA_HOME": "", "VELKOR_JAVA_HOME": "",
       "MANPATH": None}

# The shipped settings (the generator's defaults) with a runtime beside the launcher only.
SHIPPED = """
[java]
search = ["A.\\\\jre"]
"""

SHIPPED_OPTIONS = ["-Xmx512m", "-Dfile.encoding=UTF-8", "-Dvelkor.launcherId=434", "-Dvelkor.swt=false"]


class JvmInvocationTest(harness.LauncherTestCase):
    def launcher(self, config=SHIPPED, name="app.exe", standin="", helper=None):
        """A generated launcher in a folder of its own with the stand-in runtime in jre beside
        it; standin: the stand-in's jvm-standin.cfg; helper: a vkrinst-standin.cfg for the
        helper library stand-in in .velkor beside it (None: no helper library)."""
        exe = self.make_launcher(config, name=name, subdir=name.split(".")[0])
        self.add_standin_runtime(exe, standin)
        if helper is not None:
            velkor = exe.parent / ".velkor"
            velkor.mkdir()
            shutil.copy(harness.FIXTURES / "helperdll" / "vkrinst.dll", velkor / "vkrinst.dll")
            (velkor / "vkrinst-standin.cfg").write_text(helper)
        return exe

    records = staticmethod(harness.LauncherTestCase.standin_records)

    @staticmethod
    def helper_records(exe):
        path = exe.parent / ".velkor" / "vkrinst-standin.log"
        return path.read_text(encoding="utf-8").splitlines() if path.exists() else []

    def run_launcher(self, exe, *args):
        result = harness.run(exe, *args, env=ENV)
        log = harness.log_of(exe)
        self.assertIsNotNone(log, "no diagnostic log names the executable")
        lines = harness.log_lines(log)
        log.unlink()
        return result, lines

    @staticmethod
    def of_kind(records, prefix):
        return [r[len(prefix) + 1:] for r in records if r.startswith(prefix + " ") and r != "main returned"]

    def test_a_service_child_of_the_shipped_block(self):
        exe = self.launcher()
        directory = harness.win_path(exe.parent)
        result, lines = self.run_launcher(exe, "Svc", "__vkr_restart")
        self.assertEqual(result.code, 0, result.stderr)
        records = self.records(exe)
        options = self.of_kind(records, "option")
        semaphore = "Local\\" + harness.win_path(exe).lower().replace("\\", "_").replace(" ", "_")
        self.assertEqual(options[:7], [
            "-Dquenta.semaphoreName=" + semaphore,
            "-Dquenta.isVelkor=true",
            "-Dquenta.isService=true",
            "-Dquenta.moduleName=" + harness.win_path(exe),
            "-Dsun.java.command=" + harness.win_path(exe),
            "-Dquenta.tempDir=",
            "-Dquenta.unextractedPosition=0",
        ])
        # PATH as the launch left it: the runtime's bin directory, then the native-library
        # directories, then what was there before.
        # (The runtime's path is the canonical one, in lower case.)
        self.assertTrue(options[7].lower().startswith(("-Djava.library.path=" + directory + "\\jre\\bin;" +
                                                       directory + "\\.\\.;").lower()), options[7])
        self.assertTrue(options[8].startswith("-Dquenta.consoleCodepage=cp"), options[8])
        self.assertEqual(options[9:], SHIPPED_OPTIONS + [
            "-Djava.class.path=" + directory + "\\.velkor\\vkrruntime.jar;" + directory + "\\.\\app.jar",
            "-Xrs",
        ])
        self.assertIn("create version=0x10002 ignoreUnrecognized=1 count=15", records)
        self.assertEqual(self.of_kind(records, "main"), ["com/velkor/runtime/launcher/WinLauncher"])
        self.assertEqual(self.of_kind(records, "param"), [
            "0 false", "1 com.example.Main", "2 " + directory + "\\error.log", "3 ", "4 true", "5 Svc"])
        self.assertIn("setProperty quenta.moduleName=" + harness.win_path(exe), records)
        self.assertEqual(records[-2:], ["destroy begin", "destroy end"])
        # The log lists exactly the options the JVM received, in order.
        self.assertIn(f"vmoption count {len(options)}", lines)
        self.assertEqual([l.split(": ", 1)[1] for l in lines if l.startswith("vmoption ") and ": " in l], options)
        for line in ["launching program", "Creating JVM", "JVM created", "calling main", "main returned",
                     "dest JVM", "launch done"]:
            self.assertIn(line, lines)
        # A service child keeps running through the console events of a logoff (and Ctrl+C).
        self.assertIn("registering ConsoleCtrlHandler", lines)

    def test_main_parameters(self):
        cases = [
            # (name, settings, arguments after /run, parameters after the first five)
            ("run a b", "", ("a", "b"), ["a", "b"]),
            ("-J options", "", ("-J-Xmx1g", "x", "-Dsun.locale.formatasdefault=true"), ["x"]),
            ("-J arguments for main", "j-options = false\n", ("-J-Xmx1g", "x"), ["-J-Xmx1g", "x"]),
            ("configured arguments", 'arguments = "--port \'8 0\'"\n', ("a",), ["--port", "8 0", "a"]),
        ]
        for index, (name, settings, arguments, expected) in enumerate(cases):
            with self.subTest(name):
                exe = self.launcher(SHIPPED + settings, name=f"params{index}.exe")
                result, lines = self.run_launcher(exe, "/run", *arguments)
                self.assertEqual(result.code, 0, result.stderr)
                # A foreground run ends on Ctrl+C as any console program does.
                self.assertNotIn("registering ConsoleCtrlHandler", lines)
                params = [p.split(" ", 1)[1] if " " in p else "" for p in self.of_kind(self.records(exe), "param")]
                # The executable as it was invoked comes first.
                self.assertTrue(params[5].lower().endswith(f"params{index}.exe"), params)
                self.assertEqual(params[6:], expected)
                options = self.of_kind(self.records(exe), "option")
                self.assertIn("-Dvelkor.noRedir=true", options)
                self.assertNotIn("-Dquenta.isService=true", options)
                if name == "-J options":
                    self.assertIn("-Xmx1g", options)
                    self.assertIn("-Dsun.locale.formatasdefault=true", options)

    def test_sibling_flavour_log_files_and_splash(self):
        config = SHIPPED + """
[launcher]
flavour = "e"
[log]
error-log-file = "${NO_SUCH_VARIABLE}\\\\err.log"
output-log = true
output-log-file = "logs\\\\out.log"
[splash]
enabled = true
flag = true
status-text = "Starting"
"""
        exe = self.launcher(config, name="sibling.exe", helper="result=1\n")
        result, lines = self.run_launcher(exe, "/run-redirect")
        self.assertEqual(result.code, 0, result.stderr)
        records = self.records(exe)
        options = self.of_kind(records, "option")
        self.assertNotIn("-Dquenta.isVelkor=true", options)
        self.assertNotIn("-Dvelkor.noRedir=true", options)
        self.assertEqual(self.of_kind(records, "main"), ["com/quenta/runtime/WinLauncher"])
        params = self.of_kind(records, "param")
        self.assertEqual(params[2], "2 ${NO_SUCH_VARIABLE}\\err.log")
        self.assertEqual(params[3], "3 " + harness.win_path(exe.parent) + "\\logs\\out.log")
        self.assertEqual(self.of_kind(records, "splash"), ["1|1|Starting|20|20|0,0,0|8|500|version 1.3.2|20|40|0,0,0|8|500"])
        # No helper library for this flavour, whatever lies in .velkor.
        self.assertEqual(self.helper_records(exe), [])
        self.assertNotIn("load helper dll", lines)

    def test_the_helper_library(self):
        cases = [
            ("registers", "result=1\n", ["1"], False),
            ("refuses and reports", "result=0\nreport=1\n", ["1", "0"], True),
        ]
        for index, (name, helper, init, reported) in enumerate(cases):
            with self.subTest(name):
                exe = self.launcher(name=f"helper{index}.exe", helper=helper)
                result, lines = self.run_launcher(exe, "/run")
                self.assertEqual(result.code, 0, result.stderr)
                records = self.records(exe)
                self.assertEqual(self.of_kind(records, "initFromLauncher"), init)
                env = self.of_kind(records, "env")[0]
                registered = [r for r in self.helper_records(exe) if r.startswith("registerNatives ")]
                self.assertEqual(len(registered), 1, self.helper_records(exe))
                self.assertIn(f"env={env} ", registered[0])
                self.assertTrue(registered[0].endswith("sameModule=1"), registered[0])
                self.assertEqual("ERROR: helper: refused 3 natives (stand-in)" in lines, reported, lines)
                self.assertEqual("ERROR: registering helper dll failed" in lines, not helper.startswith("result=1"))

    def test_failures_end_with_exit_code_1(self):
        cases = [
            # (name, stand-in configuration, console text, log lines)
            ("no launcher class", "class=missing\n", "Couldn't load main class.", ["ERROR: could not find main class"]),
            ("no main method", "main=missing\n", "Main method not found.", ["ERROR: could not find main method"]),
            ("main throws", "main=throw\n", None,
             ["ERROR: an exception occurred",
              "ERROR: java.lang.IllegalStateException: thrown by the stand-in main",
              "ERROR: could not call main"]),
            ("no JVM", "create=fail\n", None, ["ERROR: could not initialize JVM"]),
        ]
        for index, (name, standin, text, logged) in enumerate(cases):
            with self.subTest(name):
                exe = self.launcher(name=f"fail{index}.exe", standin=standin)
                result, lines = self.run_launcher(exe, "/run")
                self.assertEqual(result.code, 1)
                if text:
                    self.assertTrue(result.stderr.startswith(text + "\r\n"), result.stderr)
                else:
                    # Only the log tells; what a JVM prints itself is its own business.
                    self.assertNotIn("Couldn't", result.stderr)
                for line in logged:
                    self.assertIn(line, lines)
                self.assertNotIn("launch done", lines)
                if name == "main throws":
                    self.assertIn("describe", self.records(exe))

    def test_required_class_path_entries_that_are_missing(self):
        cases = [
            ('class-path = ["A1missing.jar"]', "File or directory missing.jar not found or empty"),
            ('class-path = ["E1VKR_NO_SUCH_VARIABLE"]', "The environment variable VKR_NO_SUCH_VARIABLE has to be defined"),
        ]
        for index, (setting, text) in enumerate(cases):
            with self.subTest(setting):
                exe = self.launcher(SHIPPED + setting + "\n", name=f"required{index}.exe")
                result, lines = self.run_launcher(exe, "/run")
                self.assertEqual(result.code, 1)
                self.assertTrue(result.stderr.startswith(text), result.stderr)
                self.assertNotIn("Creating JVM", lines)
                self.assertEqual(self.records(exe), [])


if __name__ == "__main__":
    unittest.main()

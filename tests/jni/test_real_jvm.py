"""The launcher's JNI steps on a real JVM: the harness (jni_harness.cpp) runs the launcher's
own code, compiled for Linux, against the JDK's libjvm.so with the real vkrruntime.jar and the
test applications, one JVM per process as in the launcher.

What the applications print is described in tests/java/README.md: "arg[i]=" and the code
points of each argument in hex, then what their "@" arguments ask for.

Run by ctest (jni.realjvm); exit code 77 when there is no libjvm.so to run against.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

ARGS = None
VELKOR = "com/velkor/runtime/launcher/WinLauncher"
QUENTA = "com/quenta/runtime/WinLauncher"
CP_MAIN = "com.example.cpapp.Main"
MOD_MAIN = "/com.example.modapp/com.example.modapp.internal.Main"


def hex_of(text):
    return " ".join(format(ord(c), "x") for c in text)


class Run:
    def __init__(self, proc, out_text, err_text):
        self.code = proc.returncode
        self.stdout = out_text
        self.stderr = err_text
        self.harness = [l[len("harness: "):] for l in err_text.splitlines() if l.startswith("harness: ")]

    @property
    def outcome(self):
        return next((l.split(" ", 1)[1] for l in self.harness if l.startswith("outcome ")), None)

    def logged(self, line):
        return line in self.harness


class RealJvmTest(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="vkr-jni-"))
        self.addCleanup(lambda: __import__("shutil").rmtree(self.work, ignore_errors=True))

    def harness(self, options, launcher, parameters, extra=(), stdin=None, timeout=120):
        command = [ARGS.harness]
        for option in options:
            command += ["-o", option]
        command += list(extra) + [launcher] + list(parameters)
        proc = subprocess.run(command, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout, cwd=self.work)
        return Run(proc, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace"))

    @staticmethod
    def class_path(*jars):
        return "-Djava.class.path=" + ":".join(jars)

    def module_options(self):
        return ["-Djava.class.path=",
                "--module-path=" + ARGS.runtime + ":" + ARGS.modapp,
                "--add-opens=com.example.modapp/com.example.modapp.internal=com.velkor.runtime",
                "--add-modules=com.example.modapp,com.velkor.runtime"]

    @staticmethod
    def launcher_parameters(main_class, *arguments, error_log="", output_log=""):
        return ["false", main_class, error_log, output_log, "true"] + list(arguments)

    def assertArguments(self, run, arguments):
        self.assertIn(f"argc={len(arguments)}", run.stdout.splitlines(), run.stdout + run.stderr)
        for index, argument in enumerate(arguments):
            self.assertIn(f"arg[{index}]={hex_of(argument)}", run.stdout.splitlines())

    def test_class_path_and_module_applications_receive_their_arguments_unchanged(self):
        arguments = ["Svc", "Gr\u00fc\u00dfe", "\u65e5\u672c", "\U0001F600", "", "a b", "\"q\"", "@where"]
        cases = [
            ("class path, main product", [self.class_path(ARGS.runtime, ARGS.cpapp)], VELKOR, CP_MAIN, "unnamed"),
            ("class path, sibling product", [self.class_path(ARGS.runtime, ARGS.cpapp)], QUENTA, CP_MAIN, "unnamed"),
            ("module", self.module_options(), VELKOR, MOD_MAIN, "com.example.modapp"),
        ]
        for name, options, launcher, main_class, module in cases:
            with self.subTest(name):
                run = self.harness(options, launcher, self.launcher_parameters(main_class, *arguments))
                self.assertEqual((run.code, run.outcome), (0, "returned"), run.stderr)
                self.assertArguments(run, arguments)
                self.assertIn(f"module={module}", run.stdout.splitlines())
                self.assertTrue(run.logged(f"log param 6: {arguments[1]}"), run.harness)
                self.assertTrue(run.logged("log main returned"))
                self.assertEqual(run.harness[-1], "destroyed")

    def test_an_exception_of_the_application_takes_the_failure_path(self):
        run = self.harness([self.class_path(ARGS.runtime, ARGS.cpapp)], VELKOR,
                           self.launcher_parameters(CP_MAIN, "@throw=broken \u00e9"))
        self.assertEqual((run.code, run.outcome), (1, "failed"))
        self.assertTrue(run.logged("error an exception occurred"), run.harness)
        self.assertTrue(run.logged("error java.lang.IllegalStateException: broken \u00e9"), run.harness)
        # ExceptionDescribe printed the stack trace on standard error.
        self.assertIn("java.lang.IllegalStateException: broken", run.stderr)
        self.assertIn("\tat com.example.testapp.Actions.run", run.stderr)

    def test_a_missing_launcher_class_or_main_method(self):
        cases = [
            ("no runtime jar", [self.class_path(ARGS.cpapp)], VELKOR, 10, "class-missing",
             "error could not find main class"),
            ("a class without main", [self.class_path(ARGS.cpapp)], "com.example.testapp.NoMain", 11,
             "method-missing", "error could not find main method"),
            ("main not static", [self.class_path(ARGS.cpapp)], "com/example/testapp/InstanceMain", 11,
             "method-missing", "error could not find main method"),
        ]
        for name, options, launcher, code, outcome, line in cases:
            with self.subTest(name):
                run = self.harness(options, launcher, self.launcher_parameters(CP_MAIN))
                self.assertEqual((run.code, run.outcome), (code, outcome), run.stderr)
                self.assertTrue(run.logged(line), run.harness)

    def test_a_launcher_class_the_jvm_cannot_load_says_why(self):
        # A class file of a Java newer than the runtime: FindClass fails with the reason, which
        # the log keeps before the missing-class line's message.
        with zipfile.ZipFile(ARGS.runtime) as runtime:
            data = bytearray(runtime.read(VELKOR + ".class"))
        data[6:8] = (99).to_bytes(2, "big")
        newer = self.work / "newer.jar"
        with zipfile.ZipFile(newer, "w") as jar:
            jar.writestr(VELKOR + ".class", bytes(data))
        run = self.harness([self.class_path(str(newer), ARGS.runtime, ARGS.cpapp)], VELKOR,
                           self.launcher_parameters(CP_MAIN))
        self.assertEqual((run.code, run.outcome), (10, "class-missing"), run.stderr)
        self.assertTrue(run.logged("error could not find main class"), run.harness)
        self.assertTrue(any(l.startswith("error java.lang.UnsupportedClassVersionError: ") for l in run.harness),
                        run.harness)

    def test_what_an_optional_step_throws_is_reported_and_main_still_runs(self):
        # Fault pinned: the exception stayed pending through main, and a main that returned
        # was then reported as failed (the application ended with 1, its threads cut off).
        cases = [
            ("splash", ["--splash"], "error java.lang.IllegalArgumentException: bad colour 1,2,3"),
            ("helper initialisation", ["--init"], "error java.lang.IllegalStateException: helpers refused true"),
        ]
        for name, extra, line in cases:
            with self.subTest(name):
                run = self.harness([self.class_path(ARGS.throwing, ARGS.runtime, ARGS.cpapp)], VELKOR,
                                   self.launcher_parameters(CP_MAIN, "x"), extra=extra)
                self.assertEqual((run.code, run.outcome), (0, "returned"), run.stderr)
                self.assertTrue(run.logged(line), run.harness)
                self.assertArguments(run, ["x"])
                if name.startswith("helper"):
                    self.assertIn("harness: init 0", run.stderr.splitlines())

    def test_destroying_the_jvm_waits_for_a_non_daemon_thread(self):
        started = time.monotonic()
        run = self.harness([self.class_path(ARGS.runtime, ARGS.cpapp)], VELKOR,
                           self.launcher_parameters(CP_MAIN, "@thread=1500"))
        self.assertEqual((run.code, run.outcome), (0, "returned"), run.stderr)
        # "thread done" comes after main returned and before the JVM is gone.
        self.assertIn("thread done", run.stdout)
        self.assertEqual(run.harness[-1], "destroyed")
        self.assertGreaterEqual(time.monotonic() - started, 1.5)

    def test_output_and_error_go_to_their_log_files(self):
        out, err = self.work / "logs" / "output.log", self.work / "logs" / "error.log"
        run = self.harness([self.class_path(ARGS.runtime, ARGS.cpapp)], VELKOR,
                           self.launcher_parameters(CP_MAIN, "@out=to the output \u00e9", "@err=to the error",
                                                    error_log=str(err), output_log=str(out)))
        self.assertEqual((run.code, run.outcome), (0, "returned"), run.stderr)
        self.assertIn("to the output \u00e9", out.read_text(encoding="utf-8"))
        self.assertIn("to the error", err.read_text(encoding="utf-8"))
        self.assertNotIn("to the output", run.stdout)
        # Under /run the launcher sets velkor.noRedir: the console keeps both.
        run = self.harness([self.class_path(ARGS.runtime, ARGS.cpapp), "-Dvelkor.noRedir=true"], VELKOR,
                           self.launcher_parameters(CP_MAIN, "@out=console", error_log=str(err),
                                                    output_log=str(out)))
        self.assertIn("console", run.stdout.splitlines())
        self.assertNotIn("console", out.read_text(encoding="utf-8"))

    def test_a_service_application_ends_on_the_stop_line_and_at_end_of_input(self):
        for name, stdin in [("stop line", b"0\n"), ("end of input", b""), ("other lines, then stop", b"1\nx\n0\n")]:
            with self.subTest(name):
                out = self.work / f"{len(stdin)}-output.log"
                command = [ARGS.harness, "-o", self.class_path(ARGS.runtime, ARGS.cpapp),
                           "-o", "-Dquenta.isService=true", "-o", "-Xrs", VELKOR] + self.launcher_parameters(
                    CP_MAIN, "@hook=hook ran", "@thread=60000", "@out=ready", output_log=str(out))
                proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, cwd=self.work)
                # The host writes its line when the service is stopped, long after the start.
                deadline = time.monotonic() + 60
                while not (out.exists() and "ready" in out.read_text(encoding="utf-8")):
                    self.assertLess(time.monotonic(), deadline, "the application never started")
                    time.sleep(0.05)
                _, err = proc.communicate(input=stdin, timeout=60)
                # System.exit(0) from the stop watcher: the process ends from inside the JVM,
                # before the launcher's destroy, while the non-daemon thread still sleeps.
                self.assertEqual(proc.returncode, 0, err)
                log = out.read_text(encoding="utf-8")
                self.assertIn("hook ran", log)
                self.assertNotIn("thread done", log)
                if name.startswith("other"):
                    self.assertIn("ignored", err.decode("utf-8", "replace"))

    def test_a_main_that_ends_with_an_exception_during_the_stop(self):
        # Fault pinned: main ended by the stop's own hook threw, the launcher took that for a
        # failed start and ended the process with 1 while the hooks still ran.
        out, err = self.work / "output.log", self.work / "error.log"
        command = [ARGS.harness, "-o", self.class_path(ARGS.runtime, ARGS.cpapp), "-o", "-Dquenta.isService=true",
                   "-o", "-Xrs", VELKOR] + self.launcher_parameters(CP_MAIN, "@serve=closed", error_log=str(err),
                                                                     output_log=str(out))
        proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                cwd=self.work)
        deadline = time.monotonic() + 60
        while not (err.exists() and "serving" in err.read_text(encoding="utf-8")):
            self.assertLess(time.monotonic(), deadline, "the application never started")
            time.sleep(0.05)
        _, harness_err = proc.communicate(input=b"0\n", timeout=60)
        self.assertEqual(proc.returncode, 0, harness_err)
        self.assertIn("state saved", out.read_text(encoding="utf-8"))
        errors = err.read_text(encoding="utf-8")
        self.assertIn("vkrruntime: main ended with an exception during the stop:", errors)
        self.assertIn("java.lang.IllegalStateException: serving ended: closed", errors)

    def test_the_other_calls_reach_the_runtime(self):
        path = "/srv/app \u00e9\u65e5/svc.exe"
        run = self.harness([self.class_path(ARGS.runtime, ARGS.probe), "-Dquenta.moduleName=/srv/app/svc.exe"],
                           VELKOR, self.launcher_parameters("com.example.probe.Report"),
                           extra=["--splash", "--init", "--module-name", path])
        self.assertEqual((run.code, run.outcome), (0, "returned"), run.stderr)
        lines = run.stdout.splitlines()
        self.assertIn("splash=true true [starting 20 21 0,0,0 8 500] [version 1.3.2 22 40 1,2,3 9 700]", lines)
        self.assertIn("harness: init 1", run.stderr.splitlines())
        self.assertIn("helpers=true", lines)
        # The exact UTF-16 path replaces the 8-bit one the JVM was created with.
        self.assertIn("moduleName=" + hex_of(path), lines)
        self.assertTrue(run.logged("log setting quenta.moduleName to " + path), run.harness)

    def test_optional_steps_that_fail_leave_nothing_pending_for_main(self):
        # Neither the splash class nor the platform class is there: both lookups fail, are
        # logged, and main still runs as if nothing had been tried.
        run = self.harness([self.class_path(ARGS.cpapp)], "com.example.cpapp.Main", ["x"],
                           extra=["--splash", "--init"])
        self.assertEqual((run.code, run.outcome), (0, "returned"), run.stderr)
        self.assertTrue(run.logged("error could not find main class for splash properties"), run.harness)
        self.assertTrue(run.logged("error did not find com/velkor/runtime/installer/platform/win32/Common"))
        self.assertIn("harness: init 0", run.stderr.splitlines())
        self.assertIn("arg[0]=78", run.stdout.splitlines())


def benchmark(rounds):
    """Time from JNI_CreateJavaVM returning to the application's main being entered."""
    results = {}
    test = RealJvmTest()
    for name, options, main_class in [
        ("class path", [RealJvmTest.class_path(ARGS.runtime, ARGS.cpapp)], CP_MAIN),
        ("module", RealJvmTest.module_options(test), MOD_MAIN),
    ]:
        samples = []
        for _ in range(rounds):
            test.work = Path(tempfile.mkdtemp(prefix="vkr-jni-bench-"))
            run = test.harness(options, VELKOR, RealJvmTest.launcher_parameters(main_class, "@entered"))
            created = int(next(l.split()[1] for l in run.harness if l.startswith("created ")))
            entered = int(next(l.split("=")[1] for l in run.stdout.splitlines() if l.startswith("entered=")))
            samples.append((entered - created) / 1e6)
        samples.sort()
        results[name] = samples[len(samples) // 2]
    for name, median in results.items():
        print(f"created to main entered, {name}: median {median:.1f} ms over {rounds} runs")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("harness", "libjvm", "runtime", "cpapp", "modapp", "probe", "throwing"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--benchmark", type=int, default=0, help="rounds of the start-up benchmark instead of tests")
    ARGS, rest = parser.parse_known_args()
    if not ARGS.libjvm or not os.path.exists(ARGS.libjvm):
        print("skipped: no libjvm.so on this machine")
        return 77
    if ARGS.benchmark:
        benchmark(ARGS.benchmark)
        return 0
    result = unittest.main(argv=[sys.argv[0], "-v"] + rest, exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

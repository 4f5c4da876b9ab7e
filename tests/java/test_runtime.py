#!/usr/bin/env python3
"""vkrruntime.jar on a real JVM, started the way the native launcher starts it: the entry
class is loaded by name through the system class loader (from the class path, or from the
boot layer in module mode) and given the launcher's five fixed arguments, then the
application's. The test applications' command language is in tests/java/README.md.

Usage: test_runtime.py --java J --javap P --runtime JAR --cpapp JAR --modapp JAR
                       --probe JAR [unittest arguments, e.g. a test class name]
Exit code 77 (skipped) when java is not there, or every selected test skipped itself.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

SKIPPED = 77
HANG_GUARD = 60  # seconds; only against a hung JVM, never a measure of speed

VELKOR = "com.velkor.runtime.launcher.WinLauncher"
QUENTA = "com.quenta.runtime.WinLauncher"
CP_MAIN = "com.example.cpapp.Main"
MOD_MAIN = "/com.example.modapp/com.example.modapp.internal.Main"
OPENS = "--add-opens=com.example.modapp/com.example.modapp.internal=com.velkor.runtime"

# Arguments that a launcher which re-splits, trims, unquotes or re-encodes would change.
ODD_ARGUMENTS = ["Grüße", "日本", "😀", "", " ", "  two  blanks  ", '"quoted"', "'single'",
                 'a "b" c', "back\\slash\\", "%PATH%", "$HOME", "-Dx=y", "tab\there",
                 "line\nbreak", "mail@example.com"]

paths = None


def class_path_mode(entry=VELKOR):
    return ["-cp", os.pathsep.join([paths.runtime, paths.cpapp]), entry]


def module_mode(entry=VELKOR, opens=True):
    # As in the launcher: each option one name=value string, the runtime and the application
    # on the module path, the entry class found by name (FindClass) through the system class
    # loader in the boot layer.
    options = ["--module-path=" + os.pathsep.join([paths.runtime, paths.modapp]),
               "--add-modules=com.example.modapp,com.velkor.runtime"]
    return options + ([OPENS] if opens else []) + [entry]


def fixed(main_class, error_log="", output_log=""):
    return ["false", main_class, error_log, output_log, "true"]


def java_env():
    # The JVM decodes a Linux command line with the locale's encoding; UTF-8 models the
    # UTF-16 command line of Windows.
    env = dict(os.environ)
    env.pop("JAVA_TOOL_OPTIONS", None)
    env.pop("_JAVA_OPTIONS", None)
    env["LC_ALL"] = "C.UTF-8"
    return env


def run_java(arguments, cwd, stdin=subprocess.DEVNULL):
    return subprocess.run([paths.java] + arguments, cwd=cwd, stdin=stdin,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          env=java_env(), timeout=HANG_GUARD)


def text(data):
    return data.decode("utf-8", errors="replace")


def echoed_arguments(stdout):
    """The arguments as the application printed them: "arg[i]=" and hex code points."""
    lines = text(stdout).splitlines()
    count = int(next(line for line in lines if line.startswith("argc="))[5:])
    result = []
    for i in range(count):
        prefix = "arg[%d]=" % i
        hex_points = next(line for line in lines if line.startswith(prefix))[len(prefix):]
        result.append("".join(chr(int(h, 16)) for h in hex_points.split()))
    return result


def echo_block(args):
    """What the application prints to System.out before it carries out its commands."""
    lines = ["argc=%d" % len(args)]
    lines += ["arg[%d]=%s" % (i, " ".join("%x" % ord(c) for c in a)) for i, a in enumerate(args)]
    return "".join(line + "\n" for line in lines)


class TempDirTest(unittest.TestCase):
    def setUp(self):
        holder = tempfile.TemporaryDirectory(prefix="vkrruntime-")
        self.addCleanup(holder.cleanup)
        self.tmp = holder.name


class Launch(TempDirTest):
    def test_arguments_reach_the_application_unchanged(self):
        cases = [
            ("class path", class_path_mode(VELKOR), CP_MAIN, "unnamed"),
            ("class path, older entry class", class_path_mode(QUENTA), CP_MAIN, "unnamed"),
            ("module", module_mode(VELKOR), MOD_MAIN, "com.example.modapp"),
            ("module, older entry class", module_mode(QUENTA), MOD_MAIN, "com.example.modapp"),
            # "/" without a module: the class name alone, through the system class loader
            ("module, no module named", module_mode(VELKOR),
             "/com.example.modapp.internal.Main", "com.example.modapp"),
        ]
        app_args = ODD_ARGUMENTS + ["@where"]
        for label, launch, main_class, module in cases:
            with self.subTest(label):
                result = run_java(launch + fixed(main_class) + app_args, self.tmp)
                self.assertEqual(result.returncode, 0, text(result.stderr))
                self.assertEqual(echoed_arguments(result.stdout), app_args)
                self.assertIn("module=%s\n" % module, text(result.stdout))

    def test_main_class_that_cannot_be_started_fails_the_launch(self):
        cases = [
            ("missing class", class_path_mode(), fixed("com.example.cpapp.Missing"),
             "java.lang.ClassNotFoundException: Main class com.example.cpapp.Missing not found"
             " on the class path"),
            ("no main method", class_path_mode(), fixed("com.example.testapp.NoMain"),
             "java.lang.NoSuchMethodException: Main class com.example.testapp.NoMain has no"
             " method public static void main(String[])"),
            ("main not static", class_path_mode(), fixed("com.example.testapp.InstanceMain"),
             "java.lang.NoSuchMethodException: Main class com.example.testapp.InstanceMain has"
             " no method public static void main(String[])"),
            ("no main class", class_path_mode(), fixed(""), "No main class configured"),
            ("module not in the boot layer", module_mode(), fixed("/no.such.module/a.Main"),
             "Module no.such.module of main class a.Main is not in the boot layer"),
            ("class not in the module", module_mode(),
             fixed("/com.example.modapp/com.example.modapp.internal.Missing"),
             "Main class com.example.modapp.internal.Missing not found in module"
             " com.example.modapp"),
            ("module without class", module_mode(), fixed("/com.example.modapp/"),
             'Main class "/com.example.modapp/" is not of the form /module/class'),
            ("package not opened", module_mode(opens=False), fixed(MOD_MAIN),
             "java.lang.IllegalAccessException: The main method of"
             " com.example.modapp.internal.Main is not accessible to module com.velkor.runtime;"
             " its package must be opened to it: " + OPENS),
            ("too few arguments", class_path_mode(), ["false", CP_MAIN, "", ""],
             "Expected at least 5 arguments (windowed flag, main class, error log file, output"
             " log file, log flag), got 4"),
        ]
        for label, launch, fixed_args, message in cases:
            with self.subTest(label):
                result = run_java(launch + fixed_args, self.tmp)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, text(result.stderr))
                self.assertNotIn("argc=", text(result.stdout))

    def test_the_applications_exception_leaves_main_as_it_is(self):
        message = "Boom from the application: Grüße"
        for label, launch, main_class in [("class path", class_path_mode(), CP_MAIN),
                                          ("module", module_mode(), MOD_MAIN)]:
            with self.subTest(label):
                result = run_java(launch + fixed(main_class) + ["@throw=" + message], self.tmp)
                self.assertEqual(result.returncode, 1)
                stderr = text(result.stderr)
                self.assertIn('Exception in thread "main" java.lang.IllegalStateException: '
                              + message, stderr)
                self.assertNotIn("InvocationTargetException", stderr)

    def test_the_application_decides_when_the_jvm_ends(self):
        # Outside a service standard input is not watched: its end (DEVNULL) stops nothing.
        cases = [
            ("System.exit", ["@exit=7", "@out=not reached"], 7, "", "not reached"),
            ("non-daemon thread outlives main", ["@hook=hook ran", "@thread=300"], 0,
             "thread done\nhook ran\n", None),
        ]
        for label, app_args, code, tail, absent in cases:
            with self.subTest(label):
                result = run_java(class_path_mode() + fixed(CP_MAIN) + app_args, self.tmp)
                self.assertEqual(result.returncode, code, text(result.stderr))
                self.assertTrue(text(result.stdout).endswith(tail), text(result.stdout))
                if absent:
                    self.assertNotIn(absent, text(result.stdout))


class Redirection(TempDirTest):
    def read(self, *parts):
        with open(os.path.join(self.tmp, *parts), "rb") as f:
            return f.read()

    def test_logs_are_created_on_first_write_appended_and_utf8(self):
        # Directories that do not exist yet, and a platform encoding that cannot hold the
        # text: the log must still be UTF-8.
        error_log = os.path.join(self.tmp, "log dir", "nested", "error.log")
        output_log = os.path.join(self.tmp, "log dir", "nested", "output.log")
        launch = ["-Dfile.encoding=ISO-8859-1"] + class_path_mode() + fixed(CP_MAIN, error_log, output_log)

        first = ["@out=Grüße 日本 😀"]
        result = run_java(launch + first, self.tmp)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
        self.assertFalse(os.path.exists(error_log), "nothing was written to standard error")
        expected = echo_block(first) + "Grüße 日本 😀\n"
        self.assertEqual(self.read(output_log), expected.encode("utf-8"))

        second = ["@err=second run: ü"]
        result = run_java(launch + second, self.tmp)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
        expected += echo_block(second)
        self.assertEqual(self.read(output_log), expected.encode("utf-8"))
        self.assertEqual(self.read(error_log), "second run: ü\n".encode("utf-8"))

    def test_one_file_for_both_channels_keeps_the_order(self):
        log = os.path.join(self.tmp, "both.log")
        app_args = ["@out=one", "@err=two", "@out=three", "@err=four"]
        # The same file under two spellings is one file, with one stream.
        for output_log in (log, os.path.join(self.tmp, ".", "both.log")):
            with self.subTest(output_log):
                result = run_java(class_path_mode() + fixed(CP_MAIN, log, output_log) + app_args, self.tmp)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
                self.assertEqual(text(self.read(log)), echo_block(app_args) + "one\ntwo\nthree\nfour\n")
                os.remove(log)

    def test_closing_standard_output_keeps_standard_error(self):
        # Fault pinned: with one file for both, closing System.out closed System.err, and the
        # report of the failure that followed was lost.
        app_args = ["@out=before", "@close-out", "@throw=after closing"]
        for label, output_name in [("one file", "e.log"), ("two files", "o.log")]:
            with self.subTest(label):
                error_log, output_log = os.path.join(self.tmp, "e.log"), os.path.join(self.tmp, output_name)
                result = run_java(class_path_mode() + fixed(CP_MAIN, error_log, output_log) + app_args, self.tmp)
                self.assertEqual(result.returncode, 1, text(result.stderr))
                self.assertIn("java.lang.IllegalStateException: after closing", text(self.read("e.log")))
                os.remove(error_log)

    def test_log_parameters_that_are_not_used(self):
        def t(*parts):
            return os.path.join(self.tmp, *parts)

        with open(t("plain-file"), "w") as f:
            f.write("not a directory")
        unexpanded_error = "${NO_SUCH}\\err.log"
        unexpanded_output = "$OUT_DIR/out.log"
        # label, JVM options, error log, output log, files afterwards (besides plain-file),
        # texts on the console's stdout / stderr, text in the error log
        cases = [
            ("noRedir keeps the console", ["-Dvelkor.noRedir=true"], t("err.log"), t("out.log"),
             [], "argc=1", "to the error channel", None),
            ("unexpanded error log", [], unexpanded_error, t("out.log"), ["out.log"], "",
             'Error log file "%s": variable not expanded, not used' % unexpanded_error, None),
            ("unexpanded output log", [], t("err.log"), unexpanded_output, ["err.log"], "argc=1",
             "", 'Output log file "%s": variable not expanded, not used' % unexpanded_output),
            ("log file that cannot be opened", [], t("plain-file", "err.log"), "", [], "argc=1",
             "cannot write the log file %s" % t("plain-file", "err.log"), None),
        ]
        for label, options, error_log, output_log, files, out, err, err_log in cases:
            with self.subTest(label):
                for name in ("err.log", "out.log"):
                    if os.path.exists(t(name)):
                        os.remove(t(name))
                result = run_java(options + class_path_mode() + fixed(CP_MAIN, error_log, output_log)
                                  + ["@err=to the error channel"], self.tmp)
                self.assertEqual(result.returncode, 0, text(result.stderr))
                self.assertEqual(sorted(os.listdir(self.tmp)), sorted(files + ["plain-file"]))
                self.assertIn(out, text(result.stdout))
                self.assertIn(err, text(result.stderr))
                if err_log is not None:
                    self.assertIn(err_log, text(self.read("err.log")))
                    self.assertIn("to the error channel", text(self.read("err.log")))
                else:
                    self.assertIn("to the error channel", text(result.stderr))


class Service(TempDirTest):
    def stop_service(self, options, app_args, host_input):
        """Starts a service child whose output log is a file and whose standard error is the
        pipe here, waits until the application runs, then writes the host's input and closes
        the pipe. Returns exit code, standard error and the output log."""
        output_log = os.path.join(self.tmp, "output.log")
        command = ([paths.java, "-Dquenta.isService=true"] + options + class_path_mode()
                   + fixed(CP_MAIN, "", output_log)
                   + app_args + ["@hook=hook ran", "@thread=600000", "@err=ready"])
        child = subprocess.Popen(command, cwd=self.tmp, stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=java_env())
        self.addCleanup(self.end_child, child)
        seen = []
        while True:  # a stop before the application registered its hook would test nothing
            line = child.stderr.readline()
            self.assertTrue(line, "the application ended before it was ready: %s" % seen)
            seen.append(text(line))
            if line == b"ready\n":
                break
        child.stdin.write(host_input)
        child.stdin.close()
        code = child.wait(timeout=HANG_GUARD)
        stderr = "".join(seen) + text(child.stderr.read())
        with open(output_log, "rb") as f:
            return code, stderr, text(f.read())

    @staticmethod
    def end_child(child):
        if child.poll() is None:
            child.kill()
            child.wait()
        for pipe in (child.stdin, child.stderr):
            if not pipe.closed:
                try:
                    pipe.close()
                except BrokenPipeError:
                    pass

    def test_host_input_ends_the_child(self):
        # label, JVM options, application arguments, host input, exit code, output log
        # texts, standard error texts
        cases = [
            ("stop line", [], ["@stdin"], b"0\n", 0,
             ["stdin=0 bytes", "hook ran"], []),
            ("end of input: the host is gone", [], [], b"", 0, ["hook ran"], []),
            ("other lines are ignored", [], [], b"status\n\n0\n", 0, ["hook ran"],
             ['ignored line from the service host: "status"',
              'ignored line from the service host: ""']),
            ("unusable stop timeout", ["-Dvelkor.stopTimeout=soon"], [], b"0\n", 0, ["hook ran"],
             ['velkor.stopTimeout="soon" is not a number of seconds (0 for no limit); using 30']),
            # Fault pinned: the deadline in nanoseconds wrapped, and the JVM was halted at once.
            ("a stop timeout of centuries", ["-Dvelkor.stopTimeout=10000000000"], [], b"0\n", 0, ["hook ran"], []),
            ("hook that never returns", ["-Dvelkor.stopTimeout=1"], ["@hang-hook"], b"0\n", 2,
             ["hook hangs"],
             ["did not end within 1 s of the stop request (velkor.stopTimeout); halting it with"
              " exit code 2"]),
        ]
        for label, options, app_args, host_input, code, in_log, in_stderr in cases:
            with self.subTest(label):
                exit_code, stderr, log = self.stop_service(options, app_args, host_input)
                self.assertEqual(exit_code, code, stderr)
                self.assertNotIn("thread done", log)
                for expected in in_log:
                    self.assertIn(expected + "\n", log)
                for expected in in_stderr:
                    self.assertIn(expected, stderr)
                if not in_stderr:
                    self.assertEqual(stderr, "ready\n")
                os.remove(os.path.join(self.tmp, "output.log"))


class Jar(TempDirTest):
    def test_launcher_entry_points_have_their_jni_signatures(self):
        if not os.access(paths.javap, os.X_OK):
            self.skipTest("no javap: %s" % paths.javap)
        expected = {
            VELKOR: [("main", "([Ljava/lang/String;)V")],
            QUENTA: [("main", "([Ljava/lang/String;)V"),
                     ("initAwtSplashConfig", "(ZZLjava/lang/String;IILjava/lang/String;II"
                      "Ljava/lang/String;IILjava/lang/String;II)V")],
            "com.velkor.runtime.installer.platform.win32.Common":
                [("initFromLauncher", "(Z)V")],
        }
        for class_name, methods in expected.items():
            result = subprocess.run([paths.javap, "-s", "-public", "-cp", paths.runtime,
                                     class_name], stdout=subprocess.PIPE, timeout=HANG_GUARD)
            self.assertEqual(result.returncode, 0)
            lines = [line.strip() for line in text(result.stdout).splitlines()]
            for name, descriptor in methods:
                with self.subTest(class_name + "." + name):
                    declarations = [lines[i - 1] for i, line in enumerate(lines)
                                    if line == "descriptor: " + descriptor]
                    self.assertTrue(any(d.startswith("public static void %s(" % name)
                                        for d in declarations), lines)

    def test_calls_besides_main_are_kept_for_the_runtime(self):
        result = run_java(["-cp", os.pathsep.join([paths.runtime, paths.probe]),
                           "com.example.probe.Probe"], self.tmp)
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(text(result.stdout).splitlines(), [
            "helpers before=false", "helpers after true=true", "helpers after false=false",
            "splash before=null",
            "splash=true false [Starting 20 21 1,2,3 8 500] [version 1.3.2 22 40 4,5,6 9 700]"])

    def test_java_8_class_files_and_a_module_for_java_9(self):
        with zipfile.ZipFile(paths.runtime) as jar:
            manifest = text(jar.read("META-INF/MANIFEST.MF"))
            versions = {name: int.from_bytes(jar.read(name)[6:8], "big")
                        for name in jar.namelist() if name.endswith(".class")}
        self.assertIn("Multi-Release: true", manifest)
        self.assertEqual(versions.pop("META-INF/versions/9/module-info.class"), 53)
        self.assertIn("com/velkor/runtime/launcher/WinLauncher.class", versions)
        self.assertEqual(set(versions.values()), {52})  # Java 8, the descriptor aside

        result = run_java(["--module-path", paths.runtime, "--describe-module",
                           "com.velkor.runtime"], self.tmp)
        self.assertEqual(result.returncode, 0, text(result.stderr))
        self.assertEqual(sorted(text(result.stdout).splitlines()[1:]), [
            "exports com.quenta.runtime",
            "exports com.velkor.runtime.installer.platform.win32",
            "exports com.velkor.runtime.launcher",
            "requires java.base mandated"])


def main():
    global paths
    parser = argparse.ArgumentParser()
    for name in ("java", "javap", "runtime", "cpapp", "modapp", "probe"):
        parser.add_argument("--" + name, required=True)
    paths, rest = parser.parse_known_args()
    for name in ("runtime", "cpapp", "modapp", "probe"):  # the JVMs run in temp directories
        setattr(paths, name, os.path.abspath(getattr(paths, name)))
    if not os.access(paths.java, os.X_OK):
        print("skipped: %s is not an executable" % paths.java)
        return SKIPPED
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    result = program.result
    if result.testsRun > 0 and len(result.skipped) == result.testsRun:
        return SKIPPED
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

"""A generated launcher as a service under Wine's real Service Control Manager, from /install to
/uninstall: the host reports the service states, starts the service child with its pipes, tells
it to end on a stop, and ends when it has. The child runs the stand-in runtime beside the
launcher (tests/fixtures/jvmdll), whose main reads its standard input, so its records show what
the host sent. The single-instance guard is here as well: a service child meets it too.

The test service fixture queries and controls services by name (state, exit codes, the host's
process id). Every test uses service names of its own and removes them afterwards.
"""

import os
import re
import subprocess
import time
import unittest

import harness
from harness import FIXTURES, LauncherTestCase, reg, run, win_path

TESTSERVICE = FIXTURES / "testservice" / "testservice.exe"
PRIORITY_KEY = "HKLM\\SOFTWARE\\morrandt\\quenta\\priority"
RUNNING, STOPPED = 4, 1
STATUS = re.compile(r"state=(\d+) exit=(\d+) specific=(\d+) checkpoint=(\d+) pid=(\d+)")
LOCAL = {"VELKOR_LOG": "yes", "JAVA_HOME": "", "JDK_HOME": "", "QUENTA_JAVA_HOME": "", "VELKOR_JAVA_HOME": ""}


class ServiceTestCase(LauncherTestCase):
    """What the service tests share: generated launchers with the stand-in runtime beside
    them, service names of their own, the stand-in's records and the services' states."""

    def service_name(self, tag):
        name = f"VkrHost{tag}{os.getpid()}"
        self.addCleanup(run, TESTSERVICE, "--remove", name)
        return name

    def launcher(self, name, standin="", settings="", subdir=None):
        """A generated launcher for the service, with the stand-in runtime in jre beside it."""
        config = (f'[service]\nname = {harness.toml_string(name)}\n[java]\nsearch = ["A.\\\\jre"]\n' + settings)
        exe = self.make_launcher(config, subdir=subdir or re.sub(r"\W", "", name))
        self.add_standin_runtime(exe, standin)
        return exe

    records = staticmethod(harness.LauncherTestCase.standin_records)

    @staticmethod
    def of_kind(records, kind):
        return [r[len(kind) + 1:] for r in records if r.startswith(kind + " ")]

    def wait_for_record(self, exe, predicate, seconds=60, what="record"):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            records = self.records(exe)
            if any(predicate(r) for r in records):
                return records
            time.sleep(0.1)
        self.fail(f"no {what} within {seconds} s: {self.records(exe)}")

    def status(self, name):
        result = run(TESTSERVICE, "--query", name)
        match = STATUS.search(result.stdout)
        self.assertIsNotNone(match, result.stdout + result.stderr)
        return tuple(int(v) for v in match.groups())

    def wait_for_state(self, name, state, seconds=30):
        self.assertEqual(run(TESTSERVICE, "--wait", name, state, seconds).code, 0,
                         f"{name} did not reach state {state}: {self.status(name)}")

    def install(self, exe, name):
        self.assertEqual(run(exe, "/install").lines, [f"Installed service '{name}'."])


class ServiceHostTest(ServiceTestCase):
    def test_the_life_of_a_service(self):
        name = self.service_name("Life")
        exe = self.launcher(name, standin="main=stdin\n")
        self.install(exe, name)
        self.assertEqual(run(exe, "/start", name, "x", "y z").lines, [f"Starting service '{name}'."])
        self.wait_for_state(name, RUNNING)
        records = self.wait_for_record(exe, lambda r: r.startswith("stdin from"), what="child reading its input")
        self.assertEqual(run(exe, "/status").lines, ["Running.", "Auto-start."])
        # The child: service mode, the service name first, then the start arguments.
        options = self.of_kind(records, "option")
        self.assertIn("-Dquenta.isService=true", options)
        self.assertEqual(options[-1], "-Xrs")
        self.assertEqual(self.of_kind(records, "param")[5:], ["5 " + name, "6 x", "7 y z"])
        self.assertIn("stdin from pipe", records)
        self.assertIn("priority 32", records)

        self.assertEqual(run(exe, "/stop").lines, [f"Stopping service '{name}'.", "Service stopped"])
        # Exactly the shutdown message, then the end of input; the child ended on it.
        records = self.records(exe)
        self.assertIn("stdin 300a eof=1", records)
        self.assertEqual(records[-1], "destroy end")
        state, exit_code, specific, _, _ = self.status(name)
        self.assertEqual((state, exit_code, specific), (STOPPED, 0, 0))
        self.assertEqual(run(exe, "/status").lines, ["Not running.", "Auto-start."])
        self.assertEqual(run(exe, "/uninstall").lines,
                         ["Service is already stopped.", f"Uninstalled service '{name}'."])
        self.assertNoProcessOf(exe)

    def test_a_child_that_ends_by_itself(self):
        for code in (0, 3):
            with self.subTest(exit_code=code):
                name = self.service_name(f"Self{code}")
                exe = self.launcher(name, standin=f"main=sleep:500\nmain=exit:{code}\n", subdir=f"self{code}")
                self.install(exe, name)
                run(exe, "/start")
                self.wait_for_record(exe, lambda r: r == f"exit {code}", what="the child's end")
                self.assertNoProcessOf(exe)
                state, exit_code, _, _, _ = self.status(name)
                if code == 0:
                    # The host reported the service stopped, without an error.
                    self.assertEqual((state, exit_code), (STOPPED, 0))
                else:
                    # The host reported nothing and ended: Windows records the end of a service
                    # that still counts as running as a failure (and applies its recovery
                    # actions); Wine's manager leaves it as it was last reported.
                    self.assertTrue(state == RUNNING or (state == STOPPED and exit_code != 0), (state, exit_code))

    def test_a_child_that_cannot_be_started(self):
        name = self.service_name("NoChild")
        exe = self.launcher(name)
        self.install(exe, name)
        # An argument of the registered image path that makes the child's command line longer
        # than the host builds one (12000 units): the child is not started with a cut line.
        image = f'"{win_path(exe)}" '
        image_file = self.work / "image.txt"
        image_file.write_text(image + "x" * (12000 - len(image)), encoding="utf-8")
        self.assertEqual(run(TESTSERVICE, "--image", name, win_path(image_file)).code, 0)
        run(exe, "/start")
        self.wait_for_state(name, STOPPED)
        state, exit_code, specific, _, _ = self.status(name)
        self.assertEqual((exit_code, specific), (1066, 5000))
        self.assertEqual(self.records(exe), [])

    def test_a_name_with_a_blank_and_arguments_the_blank_alone_would_break(self):
        name = self.service_name("Blank Name")
        exe = self.launcher(name, standin="main=stdin\n", subdir="blank")
        self.install(exe, name)
        # (Wine's manager drops the start arguments from an empty one on: the core's tests show
        # that an empty argument reaches the child.)
        arguments = ["say \"hi\"", "it's", "C:\\dir with blank\\", "a'b"]
        self.assertEqual(run(TESTSERVICE, "--start", name, *arguments).code, 0)
        records = self.wait_for_record(exe, lambda r: r.startswith("stdin from"), what="the child")
        # The name arrives as one argument, and every start argument as it was given.
        self.assertEqual(self.of_kind(records, "param")[5:],
                         ["5 " + name] + [f"{5 + i} {a}" for i, a in enumerate(arguments, 1)])
        self.assertEqual(run(exe, "/stop").lines[-1], "Service stopped")

    def test_a_child_that_crashes_at_its_start(self):
        # The stand-in ends the child inside JNI_CreateJavaVM with the exit code of an access
        # violation, as a JVM that crashes while it starts leaves its process.
        name = self.service_name("Crash")
        exe = self.launcher(name, standin="create=exit:-1073741819\n")
        self.install(exe, name)
        run(exe, "/start")
        self.wait_for_record(exe, lambda r: r == "exit -1073741819", what="the child's end")
        self.assertNoProcessOf(exe)
        # As for any child that ends with an error: the host reports nothing and ends, which
        # Windows records as the service's failure; Wine's manager leaves the last state.
        state, exit_code, _, _, _ = self.status(name)
        self.assertTrue(state == RUNNING or (state == STOPPED and exit_code != 0), (state, exit_code))

    def test_stops_that_come_early_or_twice(self):
        name = self.service_name("Twice")
        exe = self.launcher(name, standin="main=stdin\n")
        self.install(exe, name)
        run(exe, "/start")
        # The host reports running before it starts the child: these may well arrive while it
        # is still creating it.
        self.assertEqual(run(TESTSERVICE, "--control", name, 1, 2).code, 0)
        self.wait_for_state(name, STOPPED)
        self.assertEqual(self.status(name)[:3], (STOPPED, 0, 0))
        records = self.records(exe)
        if records:
            self.assertIn("stdin 300a eof=1", records)
        self.assertNoProcessOf(exe)

    def test_a_killed_host_ends_its_child_through_the_end_of_its_input(self):
        name = self.service_name("Kill")
        exe = self.launcher(name, standin="main=stdin\n")
        self.install(exe, name)
        run(exe, "/start")
        self.wait_for_record(exe, lambda r: r.startswith("stdin from"), what="the child")
        self.assertEqual(run(TESTSERVICE, "--kill", name).code, 0)
        records = self.wait_for_record(exe, lambda r: r == "destroy end", what="the child's end")
        self.assertIn("stdin - eof=1", records)
        self.assertNoProcessOf(exe)

    def test_a_child_that_writes_a_lot_never_blocks(self):
        name = self.service_name("Output")
        # 50 MB on the two streams together: the host drains both pipes while the child writes,
        # so the child never waits for a reader (and never fills a log nobody reads).
        exe = self.launcher(name, standin="main=output:25000000\nmain=stdin\n")
        self.install(exe, name)
        run(exe, "/start")
        records = self.wait_for_record(exe, lambda r: r.startswith("stdin from"), what="all output written")
        self.assertIn("output done stdout=25000000 stderr=25000000", records)
        self.assertEqual(run(exe, "/stop").lines[-1], "Service stopped")

    def test_single_instance(self):
        # Bringing the first run's windows to the front starts Wine's desktop, which takes some
        # 20 s without a display: left out here, the guard's decision is what is tested.
        exe = self.launcher("VkrHostSingle", standin="main=sleep:20000\n", subdir="single",
                            settings="[instance]\nbring-to-front = false\n")
        first = subprocess.Popen(harness.wine_command(exe, "/run"), env=harness.wine_env(LOCAL),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(first.wait, 60)
        records = self.wait_for_record(exe, lambda r: r == "main com/velkor/runtime/launcher/WinLauncher",
                                       what="the first run's main")
        first_pid = self.of_kind(records, "pid")[0]
        # The same executable under another spelling of its path is the same instance.
        spelled = win_path(exe)
        spelled = spelled[:-len(exe.name)].replace("\\", "\\\\", 2) + exe.name.upper()
        for path in (exe, spelled):
            with self.subTest(path=str(path)):
                started = time.monotonic()
                result = run(path, "/run", env=LOCAL)
                self.assertEqual(result.code, 0, result.stderr)
                self.assertLess(time.monotonic() - started, 10)
                log = harness.log_of(exe)
                lines = harness.log_lines(log)
                log.unlink()
                self.assertIn(f"other pid {first_pid}", lines)
                self.assertNotIn("Searching for a JVM", lines)
        self.assertEqual(first.wait(60), 0)
        self.assertEqual(len(self.of_kind(self.records(exe), "pid")), 1, "only the first run created a JVM")

    def test_multi_instance_counters(self):
        exe = self.launcher("VkrHostMulti", standin="main=sleep:3000\n", subdir="multi",
                            settings="[instance]\nsingle = false\n")
        runs = [subprocess.Popen(harness.wine_command(exe, "/run"), env=harness.wine_env(LOCAL),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for _ in range(2)]
        for process in runs:
            self.assertEqual(process.wait(60), 0)
        names = sorted(o for o in self.of_kind(self.records(exe), "option") if o.startswith("-Dquenta.semaphoreName="))
        base = "-Dquenta.semaphoreName=Local\\" + win_path(exe).lower().replace("\\", "_").replace(" ", "_")
        self.assertEqual(names, [base + "0", base + "1"])

    def test_a_service_child_that_finds_another_instance(self):
        name = self.service_name("Other")
        exe = self.launcher(name, standin="main=sleep:8000\n")
        self.install(exe, name)
        first = subprocess.Popen(harness.wine_command(exe, "/run"), env=harness.wine_env(LOCAL),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(first.wait, 60)
        self.wait_for_record(exe, lambda r: r.startswith("main "), what="the first run's main")
        run(exe, "/start")
        # The child ends with 0 at the guard; the host reports the service stopped.
        self.wait_for_state(name, STOPPED)
        self.assertEqual(self.status(name)[:3], (STOPPED, 0, 0))
        self.assertEqual(len(self.of_kind(self.records(exe), "pid")), 1)


if __name__ == "__main__":
    unittest.main()

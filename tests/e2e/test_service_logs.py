"""The diagnostic logs of a service host and its child, line by line, under Wine's real Service
Control Manager.

Services get the environment of the registry as it was when the manager started, so the log is
switched on for them by a value there and a restart of Wine's server: nothing else may run
meanwhile (ctest runs this module alone), and the value is removed again at the end.
"""

import os
import shutil
import subprocess
import time
import unittest

import harness
from harness import reg, run
from test_service_host import PRIORITY_KEY, RUNNING, STOPPED, TESTSERVICE, ServiceTestCase

NO_JVM_FIRST_LINE = "No JVM could be found on your system."
ENVIRONMENT_KEY = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
PREFIX_SCRIPT = harness.SOURCE / "tests" / "wine-prefix.sh"


def restart_server():
    env = harness.wine_env()
    subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def start_server(trace=None):
    """Starts the server and, with it, the service manager; trace: a file that receives what
    the manager and the services it starts write to standard error, with Wine's event log
    channel on (what ReportEventW is given)."""
    if trace:
        env = harness.wine_env({"WINEDEBUG": "-all,err+eventlog,trace+eventlog"})
        subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wine", "cmd", "/c", "exit", "0"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=trace, timeout=600)
    subprocess.run([str(PREFIX_SCRIPT), "setup", str(harness.WINEPREFIX)], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=600)


class ServiceLogTest(ServiceTestCase):
    @classmethod
    def setUpClass(cls):
        restart_server()
        reg("add", ENVIRONMENT_KEY, "/v", "VELKOR_LOG", "/d", "yes", "/f", check=True)
        restart_server()
        harness.BUILD.mkdir(parents=True, exist_ok=True)
        cls.trace_path = harness.BUILD / f"service-manager-trace-{os.getpid()}.txt"
        with open(cls.trace_path, "wb") as trace:
            start_server(trace)

    @classmethod
    def tearDownClass(cls):
        restart_server()
        cls.trace_path.unlink(missing_ok=True)
        reg("delete", ENVIRONMENT_KEY, "/v", "VELKOR_LOG", "/f")
        restart_server()
        start_server()

    def logs_of(self, exe, before):
        """The new logs naming the executable: (host, child), told apart by the restart marker."""
        host = child = None
        for path in sorted(set(harness.log_files()) - before):
            text = harness.read_log(path)
            if harness.win_path(exe).lower() not in text.split("\r\n", 1)[0].lower():
                continue
            self.addCleanup(path.unlink, missing_ok=True)
            lines = harness.log_lines(path)
            command = next((l for l in lines if l.startswith("command line ")), "")
            if command.endswith(" __vkr_restart"):
                child = lines
            elif "calling StartServiceCtrlDispatcher" in lines:
                host = lines
        return host, child

    def assertInOrder(self, lines, expected):
        position = -1
        for line in expected:
            self.assertIn(line, lines[position + 1:], f"missing, or out of order: {line}\n" + "\n".join(lines))
            position = lines.index(line, position + 1)

    def test_the_story_of_a_start_and_a_stop(self):
        name = self.service_name("Story")
        exe = self.launcher(name, standin="main=stdin\n")
        self.install(exe, name)
        reg("add", PRIORITY_KEY, "/v", name, "/t", "REG_DWORD", "/d", "64", "/f", check=True)
        self.addCleanup(reg, "delete", PRIORITY_KEY, "/v", name, "/f")
        before = set(harness.log_files())
        run(exe, "/start", name, "x")
        self.wait_for_state(name, RUNNING)
        self.wait_for_record(exe, lambda r: r.startswith("stdin from"), what="the child")
        self.assertEqual(run(TESTSERVICE, "--control", name, 4).code, 0)  # interrogate
        self.assertEqual(run(exe, "/stop").lines[-1], "Service stopped")
        self.assertNoProcessOf(exe)
        host, child = self.logs_of(exe, before)
        self.assertIsNotNone(host, "no log of the service host")
        self.assertIsNotNone(child, "no log of the service child")
        self.assertInOrder(host, [
            "calling StartServiceCtrlDispatcher",
            "service main",
            f"service name is '{name}'",
            "using priority 64",
            "registering ConsoleCtrlHandler",
            "control handler request 4",
            "control handler request 1",
            "sending shutdown1 0",
            "shutdown sent",
            "process terminated with exit code 0",
        ])
        # Wine's manager may end the host as soon as it reports the service stopped, before
        # the host's own last two lines; where they were written, they follow in this order.
        tail = [l for l in host if l in ("service stopped set", "exiting")]
        self.assertEqual(tail, ["service stopped set", "exiting"][:len(tail)])
        self.assertIn("consuming output", host)
        self.assertNotIn("sending shutdown failed", host)
        self.assertInOrder(child, [
            f"command line {harness.win_path(exe)} {name} x __vkr_restart",
            "extracting files",
            "registering ConsoleCtrlHandler",
            "single instance mode",
            "Searching for a JVM",
            "Loading of JVM-DLL successful",
            "launching program",
            "service: adding -Xrs",
            "Creating JVM",
            "JVM created",
            "calling main",
            "main returned",
            "dest JVM",
            "launch done",
        ])

    def test_a_service_without_runtime_says_why_where_administrators_look(self):
        # The child finds no runtime: it writes the search's message to its output and ends
        # with 1. The host, asked by nobody to stop, reports the exit code and the output's
        # last lines to the event log under the service's name, and to its diagnostic log.
        name = self.service_name("NoRuntime")
        exe = self.launcher(name)
        shutil.rmtree(exe.parent / "jre")
        self.install(exe, name)
        before = set(harness.log_files())
        run(exe, "/start")
        self.assertNoProcessOf(exe)
        host, child = self.logs_of(exe, before)
        self.assertIsNotNone(host, "no log of the service host")
        self.assertIn("ERROR: No JVM found", child)
        text = "\n".join(host)
        start = text.find(f"ERROR: The service {name} ended: its process ended with exit code 1.\nIts last output:\n")
        self.assertGreaterEqual(start, 0, text)
        self.assertIn(NO_JVM_FIRST_LINE, text[start:])
        # What ReportEventW received, as Wine's event log channel shows it.
        trace = self.trace_path.read_bytes().decode("latin-1")
        events = [l for l in trace.splitlines() if ":eventlog:" in l and name in l]
        self.assertEqual(len(events), 1, trace[-3000:])
        self.assertIn("exit code 1.", events[0])
        self.assertIn(NO_JVM_FIRST_LINE, events[0])
        # Ended with an error, the service stays as the host last reported it (Wine's manager)
        # or is recorded as failed (Windows): either way the recovery actions apply.
        state, exit_code, _, _, _ = self.status(name)
        self.assertTrue(state == RUNNING or (state == STOPPED and exit_code != 0), (state, exit_code))

    def test_priority_of_the_wrong_size_and_a_second_stop(self):
        name = self.service_name("Size")
        exe = self.launcher(name, standin="main=stdin\n")
        self.install(exe, name)
        reg("add", PRIORITY_KEY, "/v", name, "/t", "REG_QWORD", "/d", "64", "/f", check=True)
        self.addCleanup(reg, "delete", PRIORITY_KEY, "/v", name, "/f")
        before = set(harness.log_files())
        run(exe, "/start")
        self.wait_for_record(exe, lambda r: r.startswith("stdin from"), what="the child")
        self.assertEqual(run(TESTSERVICE, "--control", name, 1, 2).code, 0)
        self.wait_for_state(name, STOPPED)
        self.assertNoProcessOf(exe)
        host, _ = self.logs_of(exe, before)
        self.assertIsNotNone(host)
        self.assertFalse([l for l in host if l.startswith("using priority")], host)
        # The first stop sends the message; the second finds the pipe closed and writes nothing.
        self.assertEqual(host.count("sending shutdown1 0"), host.count("shutdown sent"))
        self.assertLessEqual(host.count("sending shutdown failed"), 1)


if __name__ == "__main__":
    unittest.main()

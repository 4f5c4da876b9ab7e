"""The service commands against Wine's real Service Control Manager.

A launcher registered by its own /install cannot run as a service yet in these tests, so
whenever a service must actually run, the tests' own service program (fixture testservice)
is registered under the name and the launcher's commands act on that name: they only ever
need the name. Every test uses names of its own and removes them afterwards, also when it
fails.
"""

import os
import re
import unittest

from harness import FIXTURES, LauncherTestCase, reg, run, toml_string, win_path

TESTSERVICE = FIXTURES / "testservice" / "testservice.exe"
SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services\\"
RUNNING, STOPPED = 4, 1
REG_VALUE = re.compile(r"^\s+(\S+)\s+(REG_\w+)(?:\s+(.*))?$")


class ServiceControlTest(LauncherTestCase):

    def service_name(self, tag):
        name = f"VkrSc{tag}{os.getpid()}"
        self.addCleanup(run, TESTSERVICE, "--remove", name)
        return name

    def launcher(self, name="", subdir="", **raw):
        lines = ["[service]", f"name = {toml_string(name or 'VkrScUnused')}"]
        if raw:
            lines.append("[raw]")
            lines += [f'"{key}" = {toml_string(value)}' for key, value in raw.items()]
        return self.make_launcher("\n".join(lines) + "\n", subdir=subdir)

    def fixture_service(self, name, mode="normal", start_type=3, record=None):
        """Registers the test service under name; returns the Linux path of its record file."""
        record = record or self.work / f"{name}.record"
        result = run(TESTSERVICE, "--register", name, win_path(record), mode, start_type)
        self.assertEqual(result.code, 0, f"could not register {name}")
        return record

    def wait_for(self, name, state):
        self.assertEqual(run(TESTSERVICE, "--wait", name, state, 20).code, 0,
                         f"{name} did not reach state {state}")

    def recorded_arguments(self, record):
        lines = record.read_text(encoding="utf-8").splitlines()
        self.assertEqual(lines[0], f"count={len(lines) - 1}")
        return lines[1:]

    def registry_values(self, name):
        result = reg("query", SERVICES_KEY + name)
        if result.code != 0:
            return None
        values = {}
        for line in result.stdout.replace("\r\n", "\n").splitlines():
            match = REG_VALUE.match(line)
            if match:
                values[match.group(1)] = match.group(3) or ""
        return values

    def assertOutput(self, result, lines, code):
        self.assertEqual((result.lines, result.code), (lines, code), result.stdout + result.stderr)

    def test_install_registers_quoted_path_start_type_and_status(self):
        # (launcher.kind as key 107 or None for the shipped value 4, command, start type)
        cases = [
            (None, "/install", 2),
            ("4", "/install", 2),
            ("0", "/install", 3),
            ("7", "/install", 3),
            ("0", "/install-auto", 2),
            ("4", "/install-demand", 3),
        ]
        for index, (kind, command, start_type) in enumerate(cases):
            with self.subTest(kind=kind, command=command):
                name = self.service_name(f"Inst{index}")
                raw = {"107": kind} if kind is not None else {}
                exe = self.launcher(name, subdir=f"dir with blanks {index}", **raw)
                result = run(exe, command)
                # Exactly this, with the C runtime's text-mode line end.
                self.assertEqual((result.stdout, result.code), (f"Installed service '{name}'.\r\n", 0))
                values = self.registry_values(name)
                self.assertEqual(values["ImagePath"], f'"{win_path(exe)}"')
                self.assertEqual(values["Start"], f"0x{start_type:x}")
                self.assertEqual(values["Type"], "0x10")
                self.assertEqual(values["ErrorControl"], "0x1")
                self.assertEqual(values["DisplayName"], name)
                self.assertEqual(values["ObjectName"], "LocalSystem")
                auto = ["Auto-start."] if start_type == 2 else []
                self.assertOutput(run(exe, "/status"), ["Not running."] + auto, 3)

    def test_dependencies_and_description(self):
        # (key 149, message 20017, DependOnService as reg shows it, Description)
        cases = [
            (",Tcpip,,Afd,", "Records what the test needs", "Tcpip\\0Afd", "Records what the test needs"),
            ("Tcpip, Afd", "", "Tcpip\\0 Afd", None),
            ("", "", None, None),
        ]
        for index, (dependencies, description, registered, described) in enumerate(cases):
            with self.subTest(dependencies=dependencies, description=description):
                name = self.service_name(f"Dep{index}")
                text = f"[service]\nname = {toml_string(name)}\n"
                if description:
                    text += f"description = {toml_string(description)}\n"
                if dependencies:
                    text += f"[raw]\n\"149\" = {toml_string(dependencies)}\n"
                exe = self.make_launcher(text, name=f"dep{index}.exe")
                self.assertOutput(run(exe, "/install"), [f"Installed service '{name}'."], 0)
                values = self.registry_values(name)
                self.assertEqual(values.get("DependOnService"), registered)
                self.assertEqual(values.get("Description"), described)

    def test_stopped_then_missing_service(self):
        name = self.service_name("Life")
        exe = self.launcher(name, **{"107": "0"})
        self.assertOutput(run(exe, "/install"), [f"Installed service '{name}'."], 0)
        self.assertOutput(run(exe, "/status"), ["Not running."], 3)
        self.assertOutput(run(exe, "/stop"), ["Service is already stopped."], 0)
        # Reinstalling a stopped service stops it quietly (the already-stopped line stays) and
        # deletes it without a line.
        self.assertOutput(run(exe, "/install"), ["Service is already stopped.", f"Installed service '{name}'."], 0)
        self.assertOutput(run(exe, "/uninstall"), ["Service is already stopped.", f"Uninstalled service '{name}'."], 0)
        self.assertIsNone(self.registry_values(name))
        cases = [
            ("/stop", ["Could not stop service."]),
            ("/status", ["Could not get status."]),
            ("/uninstall", ["Could not delete service."]),
            ("/start", ["Could not start service. Error code: 1060"]),
            ("/restart", ["Could not start service. Error code: 1060"]),
        ]
        for command, lines in cases:
            with self.subTest(command=command):
                self.assertOutput(run(exe, command), lines, 1)

    def test_start_arguments_status_and_stop_of_a_running_service(self):
        name = self.service_name("Run")
        record = self.fixture_service(name, start_type=2)
        exe = self.launcher()
        self.assertOutput(run(exe, "/start", name, "x", "y z"), [f"Starting service '{name}'."], 0)
        self.wait_for(name, RUNNING)
        self.assertEqual(self.recorded_arguments(record), ["x", "y z"])
        self.assertOutput(run(exe, "/status", name), ["Running.", "Auto-start."], 0)
        self.assertOutput(run(exe, "/start", name, "again"), ["Service is already running."], 0)
        self.assertOutput(run(exe, "/stop", name), [f"Stopping service '{name}'.", "Service stopped"], 0)
        self.assertOutput(run(exe, "/status", name), ["Not running.", "Auto-start."], 3)

        record.unlink()
        self.assertOutput(run(exe, "/restart", name),
                          ["Service is already stopped.", f"Starting service '{name}'."], 0)
        self.wait_for(name, RUNNING)
        self.assertEqual(self.recorded_arguments(record), [])
        self.assertOutput(run(exe, "/restart", name, "z"),
                          [f"Stopping service '{name}'.", "Service stopped", f"Starting service '{name}'."], 0)
        self.wait_for(name, RUNNING)
        self.assertEqual(self.recorded_arguments(record), ["z"])

    def test_stop_waits_while_the_checkpoint_grows_and_gives_up_otherwise(self):
        # The hanging service reports a 1 s wait hint and never raises its checkpoint; the slow
        # one needs about four times its hint but raises the checkpoint as it goes.
        cases = [("slow-stop", "Service stopped"), ("ignore-stop", "Error while stopping service")]
        exe = self.launcher()
        for mode, last_line in cases:
            with self.subTest(mode=mode):
                name = self.service_name(mode.replace("-", ""))
                self.fixture_service(name, mode=mode)
                self.assertOutput(run(exe, "/start", name), [f"Starting service '{name}'."], 0)
                self.wait_for(name, RUNNING)
                self.assertOutput(run(exe, "/stop", name), [f"Stopping service '{name}'.", last_line], 0)
                if mode == "ignore-stop":
                    # Still stop-pending: the second request is refused, which is no "already stopped".
                    self.assertOutput(run(exe, "/stop", name), ["Could not stop service."], 1)
                    self.assertOutput(run(exe, "/status", name), ["Not running."], 3)

    def test_install_over_a_running_service(self):
        name = self.service_name("Over")
        self.fixture_service(name)
        exe = self.launcher(name)
        self.assertOutput(run(exe, "/start"), [f"Starting service '{name}'."], 0)
        self.wait_for(name, RUNNING)
        self.assertOutput(run(exe, "/install"),
                          [f"Stopping service '{name}'.", "Service stopped", f"Installed service '{name}'."], 0)
        self.assertEqual(self.registry_values(name)["ImagePath"], f'"{win_path(exe)}"')

    def test_install_and_start_returns_the_start_result(self):
        # The launcher registers itself and is started. Its service host does not run an
        # application yet and reports itself stopped at once; Wine's manager then fails the
        # start (1053) where Windows would report it started. Either way the second line and
        # the exit code are the start operation's.
        name = self.service_name("Both")
        exe = self.launcher(name, **{"107": "0"})
        result = run(exe, "/install-and-start")
        self.assertEqual(result.lines[0], f"Installed service '{name}'.")
        self.assertEqual(len(result.lines), 2, result.stdout)
        started = result.lines[1] == f"Starting service '{name}'."
        if not started:
            self.assertRegex(result.lines[1], r"^Could not start service\. Error code: \d+$")
        self.assertEqual(result.code, 0 if started else 1)
        self.assertEqual(self.registry_values(name)["Start"], "0x3")
        # A refused install still goes on to the start, whose line and code are the command's.
        bad = "Vkr\\Both"
        self.addCleanup(run, TESTSERVICE, "--remove", bad)
        result = run(exe, "/install-and-start", bad)
        self.assertEqual(result.lines[0], "Could not create service.")
        self.assertRegex(result.lines[1], r"^Could not start service\. Error code: \d+$")
        self.assertEqual((len(result.lines), result.code), (2, 1))

    def test_failures_the_manager_reports(self):
        exe = self.launcher()
        with self.subTest("name the manager refuses"):
            self.addCleanup(run, TESTSERVICE, "--remove", "Vkr\\Bad")
            self.assertOutput(run(exe, "/install", "Vkr\\Bad"), ["Could not create service."], 1)
        with self.subTest("disabled service"):
            name = self.service_name("Off")
            self.fixture_service(name, start_type=4)
            self.assertOutput(run(exe, "/start", name), ["Could not start service. Error code: 1058"], 1)
        with self.subTest("configuration larger than the status buffer"):
            name = self.service_name("Big")
            # An image path of over 6000 characters (the service never runs).
            self.fixture_service(name, record="Z:\\" + "x" * 6100)
            result = run(exe, "/status", name)
            self.assertEqual(result.code, 1, result.stdout)
            self.assertEqual(result.lines[0], "Not running.")
            self.assertRegex(result.lines[1], r"^Could not get config \(122, \d+\)\.$")
            self.assertEqual(len(result.lines), 2)


if __name__ == "__main__":
    unittest.main()

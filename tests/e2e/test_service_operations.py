"""What /install registers around the service when the configuration asks for it: recovery
after failures, a delayed automatic start, an account that needs no password. Without these
settings the registration is exactly what it always was.

Wine's service manager stores the account but neither the recovery actions nor the delayed
start (it answers the recovery flag and the delayed start with ERROR_INVALID_LEVEL, and takes
the actions without keeping them): what the launcher asks of it is read from Wine's relay
trace of ChangeServiceConfig2W (the level of each call and its result); the structures the
calls carry are built from the portable core's rules, tested on the host. That a child ending
with an error leaves the service in the state the recovery actions apply to, and a child
ending with 0 or on a stop does not, is shown in test_service_host.py."""

import os
import re
import unittest

import harness
from harness import reg, run

SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services\\"
CALL = re.compile(r"Call advapi32\.ChangeServiceConfig2W\([0-9a-f]+,([0-9a-f]+),[0-9a-f]+\)")
RETURN = re.compile(r"Ret  advapi32\.ChangeServiceConfig2W\(\) retval=([0-9a-f]+)")
FAILURE_ACTIONS, DELAYED_AUTO_START, FAILURE_ACTIONS_FLAG = 2, 3, 4
INVALID_LEVEL = 124


class ServiceOperationsTest(harness.LauncherTestCase):
    def service(self, tag, service_settings="", tables=""):
        """A launcher for a service of its own: service_settings are lines under [service],
        tables any further tables."""
        name = f"VkrOps{tag}{os.getpid()}"
        exe = self.make_launcher(f'[service]\nname = "{name}"\n' + service_settings + tables, subdir=tag)
        self.addCleanup(run, exe, "/uninstall")
        return name, exe

    @staticmethod
    def registration(name):
        """The values of the service's registry key: {name: (type, data)}."""
        listing = reg("query", SERVICES_KEY + name).stdout
        return {m.group(1): (m.group(2), m.group(3))
                for m in re.finditer(r"^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$", listing, re.MULTILINE)}

    @staticmethod
    def install_traced(exe, command="/install"):
        """The result of the command and its ChangeServiceConfig2W calls: [(level, result)]."""
        result = run(exe, command, env={"WINEDEBUG": "+relay"})
        levels = [int(m.group(1), 16) for m in CALL.finditer(result.stderr)]
        results = [int(m.group(1), 16) for m in RETURN.finditer(result.stderr)]
        return result, list(zip(levels, results))

    def test_without_the_settings_the_registration_is_as_before(self):
        name, exe = self.service("Plain")
        result, calls = self.install_traced(exe)
        self.assertEqual((result.code, result.lines), (0, [f"Installed service '{name}'."]))
        self.assertEqual(calls, [])
        self.assertEqual(self.registration(name), {
            "DisplayName": ("REG_SZ", name),
            "ErrorControl": ("REG_DWORD", "0x1"),
            "ImagePath": ("REG_SZ", f'"{harness.win_path(exe)}"'),
            "ObjectName": ("REG_SZ", "LocalSystem"),
            "PreshutdownTimeout": ("REG_DWORD", "0x2bf20"),
            "Start": ("REG_DWORD", "0x2"),
            "Type": ("REG_DWORD", "0x10"),
        })

    def test_accounts_that_need_no_password(self):
        for setting, account in [("local-system", "LocalSystem"), ("local-service", "NT AUTHORITY\\LocalService"),
                                 ("network-service", "NT AUTHORITY\\NetworkService"),
                                 ("virtual", "NT SERVICE\\{name}")]:
            with self.subTest(account=account):
                tag = "Account" + setting.title().replace("-", "")
                name, exe = self.service(tag, f'account = "{setting}"\n')
                result = run(exe, "/install")
                self.assertEqual((result.code, result.lines), (0, [f"Installed service '{name}'."]))
                self.assertEqual(self.registration(name)["ObjectName"], ("REG_SZ", account.format(name=name)))
                # No password was given or stored anywhere.
                self.assertNotIn("Password", self.registration(name))

    def test_recovery_and_delayed_start_are_asked_of_the_service_manager(self):
        settings = 'restart-delays = ["1min", "2min"]\nfailure-reset-period = "1d"\ndelayed-start = true\n'
        name, exe = self.service("Recovery", settings)
        result, calls = self.install_traced(exe)
        self.assertEqual([level for level, _ in calls], [FAILURE_ACTIONS, FAILURE_ACTIONS_FLAG, DELAYED_AUTO_START])
        self.assertEqual(calls[0][1], 1)
        # Wine's manager knows neither of the other two levels: the launcher says so, with the
        # error, and ends with 1 so that a script does not take the service for configured.
        self.assertEqual([r for _, r in calls[1:]], [0, 0])
        self.assertEqual(result.lines, [f"Installed service '{name}'.",
                                        f"Could not set the recovery after failed starts (error {INVALID_LEVEL}).",
                                        f"Could not set the delayed start (error {INVALID_LEVEL})."])
        self.assertEqual(result.code, 1)
        self.assertIn(name, self.registration(name)["DisplayName"][1])

    def test_delayed_start_only_for_an_automatic_start(self):
        # The launcher registers an automatic start; /install-demand asks for a start by hand.
        name, exe = self.service("Demand", "delayed-start = true\n")
        result, calls = self.install_traced(exe, "/install-demand")
        self.assertEqual((result.code, result.lines), (0, [f"Installed service '{name}'."]))
        self.assertEqual(calls, [])
        self.assertEqual(self.registration(name)["Start"], ("REG_DWORD", "0x3"))

    def test_malformed_recovery_is_not_set(self):
        # The generator refuses such a setting; a block written otherwise sets nothing rather
        # than something else than was asked.
        name, exe = self.service("Malformed", tables='[raw]\n30001 = "60000,soon"\n')
        result, calls = self.install_traced(exe)
        self.assertEqual((result.code, result.lines), (0, [f"Installed service '{name}'."]))
        self.assertEqual(calls, [])


if __name__ == "__main__":
    unittest.main()

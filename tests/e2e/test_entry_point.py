"""The entry point as a user meets it: usage text, the quiet dispatcher path, and the
configuration loader's fatal texts for an executable without a valid block. The tables of
command names, log switches and damaged blocks are the unit tests'; here the real executable
shows one case of each."""

import re
import shutil
import subprocess
import unittest

import harness

CONFIG = """
[service]
name = "EntrySvc"
[launcher]
kind = 4
"""

USAGE = "Usage: {}.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\r\n"
# The block starts with its magic 0xE8E413D5, stored little-endian; the texts behind it hold
# no such bytes, so its last occurrence is the block's own.
MAGIC = b"\xd5\x13\xe4\xe8"


class UsageTest(harness.LauncherTestCase):
    def test_help_commands_print_usage_with_own_base_name(self):
        exe = self.make_launcher(CONFIG, name="my-service.exe")
        for command in ["/help", "-?"]:
            with self.subTest(command=command):
                result = harness.run(exe, command)
                self.assertEqual(result.code, 0)
                self.assertEqual(result.stdout, USAGE.format("my-service"))
                self.assertEqual(result.stderr, "")

    def test_command_names_are_case_sensitive(self):
        exe = self.make_launcher(CONFIG)
        result = harness.run(exe, "/Help")
        self.assertEqual((result.code, result.stdout), (0, ""))


class DispatcherPathTest(harness.LauncherTestCase):
    def test_no_command_ends_quietly_and_logs_the_dispatcher_failure(self):
        # Wine's dispatcher waits some 12 s before it gives up: one run shows the path (what
        # counts as a command is the unit tests' table).
        exe = self.make_launcher(CONFIG, name="quiet.exe")
        result = harness.run(exe, "plain", env={"VELKOR_LOG": "yes"})
        self.assertEqual((result.code, result.stdout, result.stderr), (0, "", ""))
        log = harness.log_of(exe)
        self.assertIsNotNone(log, "no diagnostic log names the executable")
        lines = harness.log_lines(log)
        self.assertIn("calling StartServiceCtrlDispatcher", lines)
        # 1063: the process was not started by the Service Control Manager.
        self.assertIn("StartServiceCtrlDispatcher failed with error 1063", lines)
        self.assertEqual(lines[-1], "StartServiceCtrlDispatcher returned")
        log.unlink()

    def test_log_only_for_exactly_yes_in_either_variable(self):
        # (VELKOR_LOG, QUENTA_LOG, log expected); every run logs its configuration loading.
        cases = [("Yes", "", False), ("", "yes", True)]
        for index, (velkor, quenta, logged) in enumerate(cases):
            with self.subTest(VELKOR_LOG=velkor, QUENTA_LOG=quenta):
                exe = self.make_launcher(CONFIG, name=f"logswitch{index}.exe")
                result = harness.run(exe, "/help", env={"VELKOR_LOG": velkor, "QUENTA_LOG": quenta})
                self.assertEqual(result.code, 0)
                log = harness.log_of(exe)
                self.assertEqual(log is not None, logged)
                if log:
                    log.unlink()

    def test_log_header_and_line_shape(self):
        exe = self.make_launcher(CONFIG, name="logshape.exe")
        harness.run(exe, "/help", env={"QUENTA_LOG": "yes"})
        log = harness.log_of(exe)
        self.assertIsNotNone(log)
        data = log.read_bytes()
        self.assertTrue(data.startswith(b"\xef\xbb\xbfStarted executable " + harness.win_path(exe).encode()))
        text = harness.read_log(log)
        header, empty, first = text.split("\r\n")[:3]
        self.assertRegex(header, r" at \w{3} \w{3} \d\d \d\d:\d\d:\d\d \d{4}$")
        self.assertEqual(empty, "")
        self.assertRegex(first, r"^\[\d+:\d+\] ")
        self.assertNotIn("\n", text.replace("\r\n", ""))
        log.unlink()


def loaded_libraries(trace, executable):
    """The lower-case names of the libraries Wine's +loaddll trace shows loaded by the thread
    that loaded the executable (Wine's own processes, started by the same run when its server
    was not up yet, load theirs under other thread ids)."""
    lines = re.findall(r'^(\w+):trace:loaddll:\w+ Loaded L"[^"]*\\([^"\\]+)"', trace, re.MULTILINE)
    thread = next(tid for tid, name in lines if name.lower() == executable)
    return {name.lower() for tid, name in lines if tid == thread}


class StartupCostTest(harness.LauncherTestCase):
    """What every start pays for: the libraries a command loads."""

    def test_the_launcher_imports_only_kernel32_and_the_c_runtime(self):
        # user32 is loaded only when a message box or the single-instance guard's window calls
        # need it (the message boxes above still appear), advapi32 at the first registry or
        # service call: importing either would cost every start.
        objdump = shutil.which("x86_64-w64-mingw32-objdump")
        if not objdump:
            self.skipTest("x86_64-w64-mingw32-objdump is not installed")
        listing = subprocess.run([objdump, "-p", str(harness.LAUNCHER)], stdout=subprocess.PIPE, text=True,
                                 check=True).stdout
        libraries = sorted(re.findall(r"DLL Name: (\S+)", listing), key=str.lower)
        self.assertEqual(libraries, ["KERNEL32.dll", "msvcrt.dll"])

    def test_help_loads_no_registry_shell_or_user_interface_library(self):
        exe = self.make_launcher(CONFIG)
        result = harness.run(exe, "/help", env={"WINEDEBUG": "+loaddll"})
        self.assertEqual(result.code, 0)
        self.assertIn("Usage: app.exe", result.stdout)
        names = loaded_libraries(result.stderr, "app.exe")
        self.assertTrue({"kernel32.dll", "msvcrt.dll"} <= names, names)
        self.assertFalse(names & {"advapi32.dll", "user32.dll", "shell32.dll"}, names)

    def test_status_loads_the_service_library_on_first_use(self):
        # The delay-loaded advapi32 works: a service query reaches the service manager.
        exe = self.make_launcher(CONFIG)
        result = harness.run(exe, "/status", "VkrNoSuchService", env={"WINEDEBUG": "+loaddll"})
        self.assertEqual(result.stdout.replace("\r\n", "\n"), "Could not get status.\n")
        self.assertIn("advapi32.dll", loaded_libraries(result.stderr, "app.exe"))


class BrokenBlockTest(harness.LauncherTestCase):
    def test_generic_launcher_without_block_fails(self):
        result = harness.run(harness.LAUNCHER, trace_message_boxes=True)
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout, "")
        # Before the block is loaded the error-output mode is still the message box.
        self.assertEqual(result.message_boxes, [("Internal Error: readInt", "", 0x10)])

    def test_wrong_magic_is_shown_in_a_message_box_even_for_a_console_launcher(self):
        exe = self.make_launcher(CONFIG)
        data = bytearray(exe.read_bytes())
        offset = data.rfind(MAGIC)
        self.assertGreater(offset, 0)
        data[offset] ^= 0xFF
        exe.write_bytes(data)
        result = harness.run(exe, "/help", trace_message_boxes=True)
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.message_boxes, [("Internal Error: magic", "", 0x10)])


if __name__ == "__main__":
    unittest.main()

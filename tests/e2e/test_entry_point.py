"""The entry point as a user meets it: usage text, the quiet dispatcher path, and the
configuration loader's fatal texts for an executable without a valid block."""

import struct
import unittest

import harness

CONFIG = """
[service]
name = "EntrySvc"
[launcher]
kind = 4
"""

USAGE = "Usage: {}.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\r\n"


def block_offset(path):
    data = path.read_bytes()
    pe = struct.unpack_from("<i", data, 60)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    header = pe + 24 + optional + 40 * (sections - 1)
    size, pointer = struct.unpack_from("<II", data, header + 16)
    return pointer + size


class UsageTest(harness.LauncherTestCase):
    def test_help_commands_print_usage_with_own_base_name(self):
        exe = self.make_launcher(CONFIG, name="my-service.exe")
        for command in ["/help", "-help", "--help", "/?", "-?"]:
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
        exe = self.make_launcher(CONFIG, name="quiet.exe")
        for args in [(), ("/Status",), ("/frobnicate", "x"), ("plain",)]:
            with self.subTest(args=args):
                result = harness.run(exe, *args, env={"VELKOR_LOG": "yes"})
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
        cases = [("Yes", "", False), ("YES", "no", False), ("yes ", "", False), ("1", "", False),
                 ("yes", "", True), ("", "yes", True)]
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
        harness.run(exe, env={"QUENTA_LOG": "yes"})
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
        offset = block_offset(exe)
        self.assertEqual(bytes(data[offset:offset + 4]), b"\xd5\x13\xe4\xe8")
        data[offset] ^= 0xFF
        exe.write_bytes(data)
        result = harness.run(exe, "/help", trace_message_boxes=True)
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.message_boxes, [("Internal Error: magic", "", 0x10)])

    def test_truncated_block_ends_with_the_readers_text(self):
        exe = self.make_launcher(CONFIG)
        data = exe.read_bytes()
        offset = block_offset(exe)
        # The header is magic, two ints and a long (20 bytes), then N text entries (key,
        # length, bytes) and W message entries. A count is checked against what the file still
        # holds first, so only a cut late in a section reaches the string readers: cut inside the
        # magic, inside the first length (the count no longer fits), and inside the last text and
        # the last message that are long enough.
        def i32(at):
            return int.from_bytes(data[at:at + 4], "little", signed=True)

        def last_long_entry(count_at, shortest):
            position, entries = count_at + 4, []
            for _ in range(i32(count_at)):
                entries.append((position + 8, i32(position + 4)))
                position += 8 + i32(position + 4)
            late = [start for start, length in entries
                    if start - count_at > 4 + 8 * len(entries) and length > shortest]
            self.assertTrue(late)
            return late[-1], position

        text_start, messages_at = last_long_entry(offset + 20, 1)
        message_start, _ = last_long_entry(messages_at, 2)
        cases = [(offset + 2, "Internal Error: readInt"), (offset + 30, "Internal Error: readInt"),
                 (text_start + 1, "Internal Error: readString"),
                 (message_start + 1, "Internal Error: readWString")]
        for cut, text in cases:
            with self.subTest(cut=cut):
                exe.write_bytes(data[:cut])
                result = harness.run(exe, "/help", trace_message_boxes=True)
                self.assertEqual(result.code, 1)
                self.assertEqual(result.stdout, "")
                self.assertEqual(len(result.message_boxes), 1)
                self.assertEqual(result.message_boxes[0][0], text)


if __name__ == "__main__":
    unittest.main()

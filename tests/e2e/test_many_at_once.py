"""Many launcher processes at once, as a server sees them at boot or under a scheduler: twenty
/runs of one single-instance launcher, twenty first runs against one runtime whose version
nobody has cached yet, twenty processes writing diagnostic logs into one temp directory. Each
run is a real process under Wine, started together with the others."""

import re
import subprocess
import unittest

import harness

COUNT = 20
ENV = {"VELKOR_LOG": "yes", "JAVA_HOME": "", "JDK_HOME": "", "QUENTA_JAVA_HOME": "", "VELKOR_JAVA_HOME": ""}


class ManyAtOnceTest(harness.LauncherTestCase):
    def launcher(self, settings, standin, java_cfg=harness.STANDIN_BANNER, subdir="app"):
        config = '[java]\nsearch = ["A.\\\\jre"]\n[instance]\nbring-to-front = false\n' + settings
        exe = self.make_launcher(config, subdir=subdir)
        bin_dir = self.add_standin_runtime(exe, standin, java_cfg)
        self.cache_key = harness.VERSION_CACHE_KEY + harness.win_path(bin_dir / "java.exe").lower().replace("\\", "/")
        harness.reg("delete", self.cache_key, "/f")
        return exe

    def run_together(self, command, env=None):
        """Starts COUNT copies of the command at once and waits for all; their exit codes."""
        processes = [subprocess.Popen(command(i), env=harness.wine_env(env), stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for i in range(COUNT)]
        return [p.wait(300) for p in processes]

    @staticmethod
    def logs_of(exe, directory=None):
        """The lines of every diagnostic log whose header names the executable."""
        target = harness.win_path(exe).lower()
        logs = {}
        for path in harness.log_files(directory):
            text = harness.read_log(path)
            if text.split("\r\n", 1)[0].lower().startswith("started executable") and target in text.lower():
                logs[path.name] = harness.log_lines(path)
        return logs

    def test_twenty_runs_of_a_single_instance_launcher(self):
        exe = self.launcher("", "main=sleep:15000\n")
        codes = self.run_together(lambda i: harness.wine_command(exe, "/run"), ENV)
        self.assertEqual(codes, [0] * COUNT)
        pids = [r.split()[1] for r in self.standin_records(exe) if r.startswith("pid ")]
        self.assertEqual(len(pids), 1, "exactly one run created a JVM")
        logs = self.logs_of(exe)
        self.assertEqual(len(logs), COUNT, sorted(logs))
        others = [lines for lines in logs.values() if any(l.startswith("other pid") for l in lines)]
        self.assertEqual(len(others), COUNT - 1)
        for lines in others:
            # Each of the others read the first run's registration, not a half-written one.
            self.assertIn(f"other pid {pids[0]}", lines)
            self.assertNotIn("Searching for a JVM", lines)

    def test_twenty_first_runs_against_one_runtime(self):
        # The cache holds the entry of the runtime this one replaced in place (another time,
        # another version): every run finds it stale and asks the runtime, which takes a while
        # to answer so that the runs overlap; each then writes the entry while others read it.
        # A run that took the new time with the old version would log 1.4.2.
        exe = self.launcher("single = false\n", "create=exit:0\n", java_cfg=harness.STANDIN_BANNER + "delay=300\n")
        harness.reg("add", self.cache_key, "/v", "Version", "/t", "REG_SZ", "/d", "1.4.2", "/f", check=True)
        harness.reg("add", self.cache_key, "/v", "LastWriteTime", "/t", "REG_BINARY", "/d", "0000000000000000", "/f",
                    check=True)
        codes = self.run_together(lambda i: harness.wine_command(exe, "/run"), ENV)
        self.assertEqual(codes, [0] * COUNT)
        # Exit code 0 is the stand-in's: each run reached JNI_CreateJavaVM.
        logs = self.logs_of(exe)
        self.assertEqual(len(logs), COUNT, sorted(logs))
        for name, lines in logs.items():
            self.assertIn("Creating JVM", lines, name)
            versions = [l for l in lines if l.startswith("got version from ")]
            self.assertTrue(versions, name)
            for line in versions:
                self.assertTrue(line.endswith("17.0.1"), f"{name}: {line}")
        # One entry, valid: the version, and the time of the executable it was asked of.
        query = harness.reg("query", self.cache_key)
        self.assertEqual(query.code, 0, query.stderr)
        self.assertRegex(query.stdout, r"Version\s+REG_SZ\s+17\.0\.1\r?\n")
        self.assertRegex(query.stdout, r"LastWriteTime\s+REG_BINARY\s+[0-9A-F]{16}")
        parent = harness.reg("query", harness.VERSION_CACHE_KEY.rstrip("\\"))
        leaf = "\\" + self.cache_key[len(harness.VERSION_CACHE_KEY):].lower()
        entries = [l for l in parent.stdout.splitlines() if l.strip().lower().endswith(leaf)]
        self.assertEqual(len(entries), 1)

    def test_twenty_processes_with_the_log_on_write_a_file_each(self):
        exe = self.make_launcher('[service]\nname = "VkrManyLogs"\n')
        windows_env, _ = harness.private_temp(self.work / "temp")
        codes = self.run_together(
            lambda i: harness.wine_command(exe, "/status", f"VkrNoSuchService{i}", windows_env=windows_env),
            {"VELKOR_LOG": "yes"})
        self.assertEqual(codes, [1] * COUNT)
        logs = self.logs_of(exe, self.work / "temp")
        self.assertEqual(len(logs), COUNT, sorted(logs))
        runs = set()
        for name, lines in logs.items():
            # One process per file: one header (log_lines dropped it), one command line.
            text = harness.read_log(self.work / "temp" / name)
            self.assertEqual(text.count("Started executable"), 1, name)
            commands = [l for l in lines if l.startswith("command line ")]
            self.assertEqual(len(commands), 1, name)
            runs.add(re.search(r"VkrNoSuchService(\d+)", commands[0]).group(1))
        self.assertEqual(runs, {str(i) for i in range(COUNT)})


if __name__ == "__main__":
    unittest.main()

"""Included files as a user of a generated launcher meets them: extracted into a fresh
directory in the temp directory at every /run, removed again at the end, and a damaged
launcher ending with the internal error code of the step that failed."""

import os
import re
import shutil
import subprocess
import time
import unittest

import harness

# Console errors; no native-library directories, so PATH shows only what the files add; the
# only runtime candidate is jre beside the executable.
CONFIG = """
[service]
name = "IncludedSvc"
[launcher]
kind = 4
native-library-path = [{native}]
[java]
search = ["A.\\\\jre"]
"""

FILE_TABLE = """
[[files]]
name = {name}
source = {source}
"""

SIZES = {"a.jar": 6001, "lib\\b.dll": 300}  # 6001: one full read chunk and one byte
LOG = {"VELKOR_LOG": "yes"}


class IncludedFilesTest(harness.LauncherTestCase):
    """Every launcher here runs with a temp directory of the test's own, so that what appears
    in it and what is left behind is this test's alone."""

    def setUp(self):
        super().setUp()
        self.temp = self.work / "temp"
        self.temp_env, self.windows_temp = harness.private_temp(self.temp)
        self.directory_line = re.compile(
            r"^Temp dir3: (" + re.escape(self.windows_temp) + r"(qnt[0-9A-F]{1,4}\.tmp)_dir(\d+))$", re.IGNORECASE)

    def temp_entries(self):
        """The temp directory's names that a launcher run may leave (the logs are expected)."""
        return {p.name for p in self.temp.iterdir() if not harness.LOG_NAME.match(p.name)}

    def run_launcher(self, exe, env):
        return harness.run(exe, "/run", env=env, windows_env=self.temp_env)

    def launcher(self, files, native="", name="app.exe"):
        """A launcher carrying files {name: bytes}, stored in the order given."""
        text = CONFIG.format(native=native)
        for index, (file_name, content) in enumerate(files.items()):
            source = self.work / "sources" / f"f{index}.bin"
            source.parent.mkdir(exist_ok=True)
            source.write_bytes(content)
            text += FILE_TABLE.format(name=harness.toml_string(file_name), source=harness.toml_string(str(source)))
        return self.make_launcher(text, name=name)

    def slow_runtime(self, exe, delay_ms):
        """A stand-in runtime beside the executable that takes delay_ms to answer -version:
        the launcher waits for it with the extraction directory in place."""
        bin_dir = exe.parent / "jre" / "bin"
        bin_dir.mkdir(parents=True)
        shutil.copy(harness.FIXTURES / "javastub" / "java.exe", bin_dir / "java.exe")
        (bin_dir / "java.cfg").write_text(f"delay={delay_ms}\n")
        return bin_dir / "java.runs"

    @staticmethod
    def end_process(process):
        if process.poll() is None:
            process.kill()
        process.wait()

    def log(self, exe):
        path = harness.log_of(exe, self.temp)
        self.assertIsNotNone(path, "no diagnostic log names the executable")
        self.addCleanup(path.unlink, missing_ok=True)
        return harness.log_lines(path), path

    def extraction_directory(self, lines):
        found = [m for m in map(self.directory_line.match, lines) if m]
        self.assertEqual(len(found), 1, "\n".join(lines))
        return found[0]

    def assertInOrder(self, expected, lines):
        position = 0
        for line in expected:
            self.assertIn(line, lines[position:], f"missing, or out of order: {line}\n" + "\n".join(lines))
            position = lines.index(line, position) + 1

    def test_files_are_extracted_whole_and_removed_at_the_end(self):
        contents = {name: os.urandom(size) for name, size in SIZES.items()}
        # The extracted DLL directory as a native-library directory: the place a user puts it.
        exe = self.launcher(contents, native=harness.toml_string("${launcher:sys.launcherTempDirectory}\\lib"))
        runs = self.slow_runtime(exe, 4000)
        before_entries = self.temp_entries()
        started = int(time.time())
        process = subprocess.Popen(harness.wine_command(exe, "/run", windows_env=self.temp_env),
                                   env=harness.wine_env(LOG), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.end_process, process)
        # The runtime's first run comes after the extraction and before any end: what the
        # directory holds then is what the application would get.
        deadline = time.monotonic() + 60
        while not runs.exists() and process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertTrue(runs.exists(), "the launcher never started the runtime")
        # Besides the directory, only the probe's file for the runtime's banner is new now.
        made = [self.temp / n for n in self.temp_entries() - before_entries]
        made = [p for p in made if p.is_dir()]
        self.assertEqual(len(made), 1, made)
        directory = made[0]
        self.assertEqual(sorted(p.name for p in directory.iterdir()), ["a.jar", "lib"])
        self.assertEqual([p.name for p in (directory / "lib").iterdir()], ["b.dll"])
        self.assertEqual((directory / "a.jar").read_bytes(), contents["a.jar"])
        self.assertEqual((directory / "lib" / "b.dll").read_bytes(), contents["lib\\b.dll"])

        process.wait(timeout=120)
        ended = int(time.time())
        self.assertEqual(process.returncode, 1)
        self.assertFalse(directory.exists(), "the extraction directory outlived the launcher")
        # Nor an empty qnt*.tmp that lent the directory its name, nor the probe's file.
        self.assertEqual(self.temp_entries() - before_entries, set())

        lines, _ = self.log(exe)
        match = self.extraction_directory(lines)
        windows_dir, stamp = match.group(1), int(match.group(3))
        self.assertEqual(directory.name.lower(), windows_dir.rsplit("\\", 1)[1].lower())
        self.assertTrue(started - 1 <= stamp <= ended, (started, stamp, ended))
        self.assertInOrder([
            "extracting files",
            "Included files: 2",
            match.group(0),
            f"extracting {windows_dir}\\a.jar (size: 6001)",
            f"creating directory {windows_dir}\\lib",
            f"extracting {windows_dir}\\lib\\b.dll (size: 300)",
            "extracting files done",
            "Searching for a JVM",
            f"emptying {windows_dir}",
        ], lines)
        self.assertTrue(any(l.startswith(f"Setting PATH (native libs) {windows_dir}\\lib;") for l in lines),
                        "\n".join(lines))
        removal = [l for l in lines if l.startswith(("emptying", "attempting"))]
        self.assertCountEqual(removal, [
            f"emptying {windows_dir}",
            f"attempting to delete {windows_dir}\\a.jar",
            f"attempting to remove {windows_dir}\\lib (1)",
            f"emptying {windows_dir}\\lib",
            f"attempting to delete {windows_dir}\\lib\\b.dll",
        ])

    def test_no_included_files_create_nothing(self):
        exe = self.launcher({})
        before_entries = self.temp_entries()
        result = self.run_launcher(exe, LOG)
        self.assertEqual(result.code, 1)  # no runtime: the search's own message ends the run
        self.assertEqual(self.temp_entries() - before_entries, set())
        lines, _ = self.log(exe)
        self.assertInOrder(["extracting files", "Included files: 0", "Searching for a JVM"], lines)
        self.assertFalse([l for l in lines if l.startswith(("Temp dir3", "emptying", "creating directory"))])

    def test_a_damaged_launcher_ends_with_the_code_of_the_failed_step(self):
        first, second = os.urandom(SIZES["a.jar"]), os.urandom(SIZES["lib\\b.dll"])
        # The generator refuses a name two levels deep; one of the same length is patched.
        deep_source, deep_name = b"lib\\xyc.dll", b"lib\\x\\c.dll"
        pristine = self.launcher({"a.jar": first, deep_source.decode(): second}, name="pristine.exe").read_bytes()
        # The records lie behind the block, each as 8 size bytes and the masked content; the
        # generator's end marker and padding follow them.
        first_at, second_at = (pristine.find(bytes(b ^ 0xA7 for b in c)) for c in (first, second))
        self.assertEqual((first_at, second_at), (pristine.rfind(bytes(b ^ 0xA7 for b in first)),
                                                 first_at + len(first) + 8))
        self.assertEqual(pristine.count(deep_source), 1)

        def cut(at):
            return lambda data: data[:at]

        internal = "An internal error occurred (error code: {})"
        cases = [
            # what, damage, console text, log on
            ("cut inside the first file's content", cut(first_at + 3000), internal.format(16), True),
            ("the same without the log", cut(first_at + 3000), internal.format(16), False),
            ("cut inside the second file's content", cut(second_at + 150), internal.format(16), True),
            ("cut right behind the second size field", cut(second_at), internal.format(16), True),
            ("cut inside the second size field", cut(second_at - 5), "Internal Error: readLong", True),
            ("a name two directory levels deep", lambda data: data.replace(deep_source, deep_name),
             internal.format(11), True),
        ]
        for number, (what, damage, text, logged) in enumerate(cases):
            with self.subTest(what):
                exe = self.work / f"damaged{number}.exe"
                exe.write_bytes(damage(pristine))
                before_entries = self.temp_entries()
                result = self.run_launcher(exe, LOG if logged else {"VELKOR_LOG": "", "QUENTA_LOG": ""})
                self.assertEqual((result.code, result.stdout), (1, ""))
                # What was extracted before the fault, lib and the directory all go.
                self.assertEqual(self.temp_entries() - before_entries, set(), "left behind")
                if not logged:
                    self.assertEqual(result.stderr, f"{text}\r\n")
                    continue
                lines, log_path = self.log(exe)
                self.assertEqual(result.stderr, f"{text}\r\n\r\nLog: {self.windows_temp}{log_path.name}\r\n")
                windows_dir = self.extraction_directory(lines).group(1)
                self.assertIn(f"emptying {windows_dir}", lines)
                self.assertNotIn("extracting files done", lines)
                self.assertNotIn("Searching for a JVM", lines)
                if text == internal.format(11):
                    self.assertIn(f"creating directory {windows_dir}\\lib", lines)
                    self.assertIn(f"attempting to remove {windows_dir}\\lib (1)", lines)
                elif text == internal.format(16):
                    self.assertTrue([l for l in lines if l.startswith("ERROR: ReadFile failed ")], "\n".join(lines))


if __name__ == "__main__":
    unittest.main()

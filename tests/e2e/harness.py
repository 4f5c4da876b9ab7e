"""Shared helpers for the end-to-end tests.

The tests generate launchers with vkrgen, run the real vkrsvc.exe under Wine in the test
run's private prefix and look at what a user sees: console output, exit codes, log files,
registry and service state. ctest passes the locations in the environment:
VKR_LAUNCHER, VKR_GENERATOR, VKR_WINEPREFIX, VKR_BUILD, VKR_FIXTURES, VKR_SOURCE.
"""

import getpass
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from dataclasses import dataclass
from pathlib import Path

SOURCE = Path(os.environ.get("VKR_SOURCE", Path(__file__).resolve().parents[2])).resolve()
# Defaults for a run by hand from any directory: the presets' trees of this checkout.
LAUNCHER = Path(os.environ.get("VKR_LAUNCHER", SOURCE / "out" / "vkrsvc.exe")).resolve()
GENERATOR = Path(os.environ.get("VKR_GENERATOR", SOURCE / "out" / "vkrgen")).resolve()
WINEPREFIX = Path(os.environ.get("VKR_WINEPREFIX", SOURCE / "build" / "windows" / "wineprefix")).resolve()
BUILD = Path(os.environ.get("VKR_BUILD", SOURCE / "build" / "windows")).resolve()
FIXTURES = Path(os.environ.get("VKR_FIXTURES", BUILD / "tests" / "fixtures")).resolve()
WITHENV = FIXTURES / "withenv" / "withenv.exe"
VERSION_CACHE_KEY = "HKCU\\SOFTWARE\\morrandt\\quenta\\jvms\\"
STANDIN_BANNER = 'banner=openjdk version "17.0.1" 2021-10-19\n'


def wine_env(extra=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(WINEPREFIX),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree=;mshtml=;winemenubuilder.exe=",
    })
    env.pop("DISPLAY", None)
    for name, value in (extra or {}).items():
        # None: the variable is not passed on at all ("" would still define it).
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    return env


def win_path(path):
    """The Windows name of a Linux path inside Wine (drive Z: maps the root)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine_temp_dir():
    """The Linux path of the tests' user's Windows temp directory (C:\\users\\<user>\\Temp)."""
    return WINEPREFIX / "drive_c" / "users" / getpass.getuser() / "Temp"


@dataclass
class Result:
    code: int
    stdout: str
    stderr: str
    message_boxes: list = None

    @property
    def lines(self):
        return self.stdout.replace("\r\n", "\n").splitlines()


def _decode(data):
    return data.decode("latin-1")


RELAY_MESSAGE_BOX = re.compile(
    r'Call user32\.MessageBoxW\([0-9a-fA-F]+,[0-9a-fA-F]+ L"((?:[^"\\]|\\.)*)",[0-9a-fA-F]+ L"((?:[^"\\]|\\.)*)",([0-9a-fA-F]+)\)')


def _unescape_debugstr(text):
    # Wine's debug strings escape \n, \r, \t, \\, \" and write other non-printable or
    # non-ASCII characters as a backslash and four hex digits.
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
            if re.match(r"[0-9a-fA-F]{4}", text[i + 1:i + 5]):
                out.append(chr(int(text[i + 1:i + 5], 16)))
                i += 5
                continue
        out.append(c)
        i += 1
    return "".join(out)


def message_boxes(relay_output):
    """(text, caption, flags) of every MessageBoxW call in a relay trace."""
    return [(_unescape_debugstr(m.group(1)), _unescape_debugstr(m.group(2)), int(m.group(3), 16))
            for m in RELAY_MESSAGE_BOX.finditer(relay_output)]


def wine_command(exe, *args, windows_env=None):
    """The command line that runs a Windows program under Wine, through the withenv fixture
    when Windows environment variables are to be set (see run)."""
    command = ["wine"]
    if windows_env:
        # Wine joins its arguments into withenv's command line with Windows quoting, and
        # withenv hands everything after " -- " to the program verbatim.
        command += [str(WITHENV)] + [f"{k}={v}" for k, v in windows_env.items()] + ["--", win_path(exe)]
    else:
        command.append(str(exe))
    return command + [str(a) for a in args]


def private_temp(directory):
    """A temp directory of a test's own: the Windows variables that give it to a launcher run
    (for run's windows_env) and its Windows name with the trailing backslash GetTempPath adds.
    Launchers of other tests write into the shared temp directory at the same time."""
    Path(directory).mkdir(parents=True, exist_ok=True)
    name = win_path(directory)
    return {"TMP": name, "TEMP": name}, name + "\\"


def run(exe, *args, env=None, windows_env=None, cwd=None, timeout=120, stdin=None, trace_message_boxes=False):
    """Runs a Windows program under Wine.

    env: extra Linux environment variables (Wine passes most of them on to the program).
    windows_env: variables set through the withenv fixture, for the ones Wine overrides
    (TMP, TEMP, USERPROFILE, ...); a value of "" removes the variable.
    trace_message_boxes: run with Wine's relay trace and collect the message boxes the
    program shows (without a display MessageBoxW returns at once, so only the trace tells
    what the user would have seen); stderr then holds the trace.
    Returns a Result with the exit code and the raw stdout/stderr (line ends as written).
    """
    command = wine_command(exe, *args, windows_env=windows_env)
    environment = wine_env(env)
    if trace_message_boxes:
        environment["WINEDEBUG"] = "+relay"
    code, stdout, stderr = captured(command, environment, cwd=cwd, timeout=timeout, stdin=stdin)
    stderr = _decode(stderr)
    return Result(code, _decode(stdout), stderr, message_boxes(stderr) if trace_message_boxes else None)


def captured(command, env, cwd=None, timeout=120, stdin=None):
    """Runs a command and returns (exit code, stdout bytes, stderr bytes), read from files:
    a process Wine starts on the program's behalf (the desktop process on a first user-interface
    call, the service manager after a server restart) inherits the standard handles and outlives
    the program, so a pipe would reach end of file only when that process ends, and a run that
    had finished waited for its timeout instead (seen with a message box in CI)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(command, env=env, cwd=cwd, timeout=timeout, input=stdin,
                              stdin=None if stdin is not None else subprocess.DEVNULL, stdout=out, stderr=err)
        out.seek(0)
        err.seek(0)
        return proc.returncode, out.read(), err.read()


def reg(*args, check=False):
    """wine reg ARGS; returns a Result."""
    code, stdout, stderr = captured(["wine", "reg"] + list(args), wine_env())
    result = Result(code, _decode(stdout), _decode(stderr))
    if check and result.code != 0:
        raise AssertionError(f"reg {' '.join(args)} failed: {result.stdout}{result.stderr}")
    return result


def toml_string(value):
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def generate(config_text, output, launcher=LAUNCHER, check=True):
    """Builds a launcher from a TOML configuration text; returns (Path of the exe, Result)."""
    output = Path(output)
    output.parent.mkdir(parents=True, exist_ok=True)
    config = output.with_suffix(".toml")
    config.write_text(config_text, encoding="utf-8")
    # The tests' configurations are about the launcher, not about an application: a left-out
    # service name and main class take the shipped launcher's ("Service", "com.example.Main").
    proc = subprocess.run([str(GENERATOR), "build", str(config), "-o", str(output), "--launcher", str(launcher),
                           "--shipped-identity"],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    result = Result(proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace"))
    if check and result.code != 0:
        raise AssertionError(f"vkrgen build failed ({result.code}): {result.stdout}{result.stderr}")
    return output, result


LOG_NAME = re.compile(r"^vkr_nlog_(\d+)\.log$")


def log_files(directory=None):
    directory = Path(directory) if directory else wine_temp_dir()
    if not directory.is_dir():
        return []
    found = [p for p in directory.iterdir() if LOG_NAME.match(p.name)]
    return sorted(found, key=lambda p: int(LOG_NAME.match(p.name).group(1)))


def read_log(path):
    """The text of a diagnostic log (UTF-8 with BOM, CRLF), BOM removed, line ends kept."""
    data = Path(path).read_bytes()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    return data.decode("utf-8")


def log_of(exe, directory=None):
    """The newest diagnostic log whose header names this executable, or None."""
    name = Path(exe).name.lower()
    for path in reversed(log_files(directory)):
        text = read_log(path)
        first = text.split("\r\n", 1)[0].lower()
        if first.startswith("started executable") and name in first and win_path(exe).lower() in first:
            return path
    return None


def remove_logs_of(exe, directory=None):
    """Removes every diagnostic log whose header names this executable."""
    target = win_path(exe).lower()
    for path in log_files(directory):
        try:
            first = read_log(path).split("\r\n", 1)[0].lower()
        except (OSError, UnicodeDecodeError):
            continue
        if first.startswith("started executable") and target in first:
            path.unlink(missing_ok=True)


def log_lines(path):
    """The log's lines after the header, each without its "[s:ms] " prefix."""
    lines = read_log(path).split("\r\n")[1:]
    return [re.sub(r"^\[-?\d+:-?\d+\] ", "", l) for l in lines if l]


class LauncherTestCase(unittest.TestCase):
    """A test with its own work directory under the build tree, removed on success."""

    def setUp(self):
        root = BUILD / "e2e-work"
        root.mkdir(parents=True, exist_ok=True)
        self.work = Path(tempfile.mkdtemp(prefix=self.id().split(".")[-1][:40] + "-", dir=root))
        self.addCleanup(self._cleanup_work)

    def _cleanup_work(self):
        outcome = getattr(self, "_outcome", None)
        ok = True
        if outcome is not None and hasattr(outcome, "result") and outcome.result is not None:
            ok = not (outcome.result.failures or outcome.result.errors)
        if ok:
            shutil.rmtree(self.work, ignore_errors=True)

    def make_launcher(self, config_text, name="app.exe", subdir=""):
        exe = generate(config_text, self.work / subdir / name)[0]
        # Whatever the launcher's processes logged (in the shared temp directory) goes with the
        # test, also the logs of runs the test did not read.
        self.addCleanup(remove_logs_of, exe)
        return exe

    def add_standin_runtime(self, exe, standin="", java_cfg=STANDIN_BANNER, jvm=None):
        """Puts the stand-in runtime in jre beside the launcher, where the search list
        ["A.\\jre"] finds it: the java stand-in with its java.cfg and the recording jvm.dll
        stand-in (or the given bytes) with its jvm-standin.cfg. The version cache entry the
        runs will write goes with the test. Returns the runtime's bin directory."""
        bin_dir = Path(exe).parent / "jre" / "bin"
        (bin_dir / "server").mkdir(parents=True)
        shutil.copy(FIXTURES / "javastub" / "java.exe", bin_dir / "java.exe")
        (bin_dir / "java.cfg").write_text(java_cfg)
        dll = bin_dir / "server" / "jvm.dll"
        if jvm is None:
            shutil.copy(FIXTURES / "jvmdll" / "x64" / "jvm.dll", dll)
        else:
            dll.write_bytes(jvm)
        (bin_dir / "server" / "jvm-standin.cfg").write_text(standin)
        java = win_path(bin_dir / "java.exe").lower()
        self.addCleanup(reg, "delete", VERSION_CACHE_KEY + java.replace("\\", "/"), "/f")
        return bin_dir

    @staticmethod
    def standin_records(exe, encoding="utf-8"):
        """The recording jvm.dll stand-in's records beside the launcher, line by line."""
        path = Path(exe).parent / "jre" / "bin" / "server" / "jvm-standin.log"
        return path.read_text(encoding=encoding).splitlines() if path.exists() else []

    def assertNoProcessOf(self, exe):
        """No launcher process (host or child) of this executable and nothing it started from
        its folder is left: none whose command line names the folder (each test's own), in
        the Linux or the Windows spelling."""
        folders = (str(exe.parent).lower(), win_path(exe.parent).lower())
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            listing = subprocess.run(["ps", "-eo", "args"], stdout=subprocess.PIPE, text=True).stdout
            left = [l for l in listing.splitlines() if any(f in l.lower() for f in folders) and "ps -eo" not in l]
            if not left:
                return
            time.sleep(0.2)
        self.fail(f"processes of {exe.name} left: {left}")

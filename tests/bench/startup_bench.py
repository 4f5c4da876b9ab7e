"""What a launcher process costs next to a bare one, under Wine: the median wall time of
  /help, /status of a service that does not exist, and /run up to the moment the (stand-in)
  jvm.dll's JNI_CreateJavaVM is entered with a warm version cache (the stand-in ends the
  process right there),
each against a static hello-world that writes one line (and, to show what the registry and
service library costs by itself, the same hello-world importing advapi32). The commands take turns within every
round, so that drift of the machine or of Wine's server touches them alike.

    python3 tests/bench/startup_bench.py [ROUNDS]

The service host's memory is measured by service_bench.py.
"""

import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import harness  # noqa: E402


def timed(command, env):
    start = time.perf_counter()
    subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    work = Path(tempfile.mkdtemp(prefix="vkr-startup-", dir=harness.BUILD))
    hello = work / "hello.exe"
    hello_advapi32 = work / "hello-advapi32.exe"
    for output, extra in ((hello, []), (hello_advapi32, ["-DIMPORT_ADVAPI32", "-ladvapi32"])):
        subprocess.run(["x86_64-w64-mingw32-gcc-posix", "-O2", "-static", "-s", "-o", str(output),
                        str(Path(__file__).with_name("hello.c"))] + extra, check=True)
    exe, _ = harness.generate('[java]\nsearch = ["A.\\\\jre"]\n', work / "app" / "app.exe")
    bin_dir = exe.parent / "jre" / "bin"
    (bin_dir / "server").mkdir(parents=True)
    shutil.copy(harness.FIXTURES / "javastub" / "java.exe", bin_dir / "java.exe")
    (bin_dir / "java.cfg").write_text('banner=openjdk version "17.0.1" 2021-10-19\n')
    shutil.copy(harness.FIXTURES / "jvmdll" / "x64" / "jvm.dll", bin_dir / "server" / "jvm.dll")
    (bin_dir / "server" / "jvm-standin.cfg").write_text("record=NUL\ncreate=exit:0\n")
    env = harness.wine_env({"VELKOR_LOG": None, "QUENTA_LOG": None, "JAVA_HOME": None, "JDK_HOME": None})
    subprocess.run([str(harness.SOURCE / "tests" / "wine-prefix.sh"), "setup", str(harness.WINEPREFIX)],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    commands = {
        "hello-world": ["wine", str(hello)],
        "hello-world importing advapi32": ["wine", str(hello_advapi32)],
        "/help": ["wine", str(exe), "/help"],
        "/status (no such service)": ["wine", str(exe), "/status", "VkrNoSuchService"],
        "/run to JNI_CreateJavaVM": ["wine", str(exe), "/run"],
    }
    try:
        timed(commands["/run to JNI_CreateJavaVM"], env)  # fills the version cache
        samples = {name: [] for name in commands}
        for _ in range(rounds):
            for name, command in commands.items():
                samples[name].append(timed(command, env))
    finally:
        java = harness.win_path(bin_dir / "java.exe").lower()
        harness.reg("delete", "HKCU\\SOFTWARE\\morrandt\\quenta\\jvms\\" + java.replace("\\", "/"), "/f")
        harness.remove_logs_of(exe)
        shutil.rmtree(work, ignore_errors=True)
        subprocess.run(["wineserver", "-k"], env=harness.wine_env())
    base = statistics.median(samples["hello-world"])
    print(f"machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}; "
          f"{subprocess.run(['wine', '--version'], stdout=subprocess.PIPE, text=True).stdout.strip()}; "
          f"{rounds} rounds")
    print(f"{'command':32} {'median ms':>10} {'ratio':>7}")
    for name, values in samples.items():
        median = statistics.median(values)
        print(f"{name:32} {median * 1000:10.1f} {median / base:7.2f}")


if __name__ == "__main__":
    main()

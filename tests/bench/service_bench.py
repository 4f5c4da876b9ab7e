"""What the service host costs: the time from a stop request to the service reported stopped,
when the child ends at once on the shutdown message, and the host's private memory while the
service runs. A generated launcher with the stand-in runtime (its main reads standard input
and returns at its end) is installed under Wine's service manager; N rounds.

    python3 tests/bench/service_bench.py [N]

Run it alone: it starts (and at the end stops) Wine's server of the tests' prefix.
"""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import harness  # noqa: E402

TESTSERVICE = harness.FIXTURES / "testservice" / "testservice.exe"


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    subprocess.run([str(harness.SOURCE / "tests" / "wine-prefix.sh"), "setup", str(harness.WINEPREFIX)],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    work = Path(tempfile.mkdtemp(prefix="vkr-service-bench-", dir=harness.BUILD))
    name = f"VkrBench{os.getpid()}"
    exe, _ = harness.generate(f'[service]\nname = "{name}"\n[java]\nsearch = ["A.\\\\jre"]\n', work / "bench.exe")
    bin_dir = work / "jre" / "bin"
    (bin_dir / "server").mkdir(parents=True)
    shutil.copy(harness.FIXTURES / "javastub" / "java.exe", bin_dir / "java.exe")
    (bin_dir / "java.cfg").write_text('banner=openjdk version "17.0.1" 2021-10-19\n')
    shutil.copy(harness.FIXTURES / "jvmdll" / "x64" / "jvm.dll", bin_dir / "server" / "jvm.dll")
    (bin_dir / "server" / "jvm-standin.cfg").write_text("main=stdin\nrecord=NUL\n")
    stops, memory = [], []
    try:
        harness.run(exe, "/install")
        for _ in range(rounds):
            harness.run(exe, "/start")
            harness.run(TESTSERVICE, "--wait", name, 4, 30)
            time.sleep(1.0)  # the child up and waiting for its input
            measured = harness.run(TESTSERVICE, "--memory", name).stdout
            memory.append((int(re.search(r"private=(\d+)", measured).group(1)),
                           int(re.search(r"workingset=(\d+)", measured).group(1))))
            stopped = harness.run(TESTSERVICE, "--timed-stop", name).stdout
            stops.append(float(re.search(r"stopped_ms=([\d.]+)", stopped).group(1)))
    finally:
        harness.run(TESTSERVICE, "--remove", name)
        shutil.rmtree(work, ignore_errors=True)
        subprocess.run(["wineserver", "-k"], env=harness.wine_env())
    print(f"stop request to SERVICE_STOPPED: median {statistics.median(stops):.1f} ms "
          f"(min {min(stops):.1f}, max {max(stops):.1f}) over {rounds} stops")
    print(f"service host while running: private bytes median {statistics.median(m[0] for m in memory) / 1024:.0f} KiB, "
          f"working set median {statistics.median(m[1] for m in memory) / 1024:.0f} KiB")


if __name__ == "__main__":
    main()

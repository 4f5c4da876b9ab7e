#!/usr/bin/env bash
# The main job for a newcomer: set up, build, generate a launcher from the example
# configuration and show its whole life as a Windows service under Wine's service manager:
# install, start, status, what the application received, stop, status, uninstall.
#
# No Windows Java runtime exists on this machine. The launcher therefore finds the test
# suite's stand-in runtime in jre beside it: a java.exe that reports a version, and a jvm.dll
# that takes the JVM's place, records what the launcher hands it (options, main's parameters)
# and, as main, reads its standard input until the service is stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

demo=build/demo
rm -rf "$demo/service"
mkdir -p "$demo/service/jre/bin/server"
exe="$demo/service/myservice.exe"
out/vkrgen build examples/service.toml -o "$exe" --launcher out/vkrsvc.exe
fixtures=build/windows/tests/fixtures
cp "$fixtures/javastub/java.exe" "$demo/service/jre/bin/java.exe"
echo 'banner=openjdk version "17.0.1" 2021-10-19' > "$demo/service/jre/bin/java.cfg"
cp "$fixtures/jvmdll/x64/jvm.dll" "$demo/service/jre/bin/server/jvm.dll"
echo 'main=stdin' > "$demo/service/jre/bin/server/jvm-standin.cfg"
records="$demo/service/jre/bin/server/jvm-standin.log"

echo "== generated $exe; its configuration:"
out/vkrgen inspect "$exe" | head -n 20
echo "== beside it: jre/ with the STAND-IN runtime (no Windows Java runtime exists here)"

export WINEPREFIX="$PWD/build/demo/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
fi
# Wine's service manager lives as long as the server; keep it up for the service commands.
# Its processes must not hold on to this script's output (files, not pipes, when captured).
wineserver -p </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k' EXIT

show() {
  echo "== myservice.exe $*"
  set +e
  wine "$exe" "$@"
  echo "== exit code $?"
  set -e
}
wait_for() {
  for _ in $(seq 1 100); do grep -q "$1" "$records" 2>/dev/null && return 0; sleep 0.2; done
  echo "(nothing recorded: $1)"
}

show /help
show /install
show /start ExampleService --port 8080
wait_for "stdin from"
show /status
echo "== what the stand-in JVM was created with, and what main received:"
grep -E '^(option|main |param)' "$records" | sed 's/^/   /'
show /stop
echo "== what main read from its standard input before it returned (the shutdown message):"
grep -E '^stdin ' "$records" | sed 's/^/   /'
show /status
show /uninstall

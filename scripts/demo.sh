#!/usr/bin/env bash
# The main job for a newcomer: set up, build, generate a launcher from the example
# configuration and show it working under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

demo=build/demo
mkdir -p "$demo"
out/vkrgen build examples/service.toml -o "$demo/myservice.exe" --launcher out/vkrsvc.exe
echo "== generated $demo/myservice.exe; its configuration:"
out/vkrgen inspect "$demo/myservice.exe" | head -n 20

export WINEPREFIX="$PWD/build/demo/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# Wine's service manager lives as long as the server; keep it up for the service commands.
wineserver -p
trap 'wineserver -k' EXIT

show() {
  echo "== wine myservice.exe $*"
  set +e
  wine "$demo/myservice.exe" "$@"
  echo "== exit code $?"
  set -e
}
show /help
show /install
show /status
show /stop
show /uninstall
show /status

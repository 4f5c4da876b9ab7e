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
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
echo "== wine myservice.exe /help"
wine "$demo/myservice.exe" /help
echo "== exit code $?"

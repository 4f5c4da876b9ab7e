#!/bin/sh
# Creates (once) and starts the tests' private Wine prefix, or shuts it down.
#   wine-prefix.sh setup PREFIX | wine-prefix.sh shutdown PREFIX
# The wineserver is made persistent for the whole test run: Wine's service manager and
# every service process end with the last ordinary Wine process otherwise, and tests that
# run in parallel must not shut it down under each other's feet.
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
case "$action" in
  setup)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1 || true
    fi
    wineserver -p
    wine cmd /c exit 0 >/dev/null 2>&1
    ;;
  shutdown)
    wineserver -k >/dev/null 2>&1 || true
    ;;
esac

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
    mkdir -p "$WINEPREFIX"
    # The server and the processes Wine starts keep running after this script: they must not
    # hold on to ctest's output pipe, or ctest would wait for them forever. A server that is
    # already running (from an earlier setup) makes this fail harmlessly.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i </dev/null >/dev/null 2>&1 || true
    fi
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    ;;
  shutdown)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac

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
    # A new prefix is created by a server of its own that is left to end on its own: with a
    # persistent server already up, the first boot raced a second one and two service
    # managers served the same prefix, each knowing only the services created through it.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i </dev/null >/dev/null 2>&1 || true
      wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    # The server and the processes Wine starts keep running after this script: they must not
    # hold on to ctest's output pipe, or ctest would wait for them forever. A server that is
    # already running (from an earlier setup) makes this fail harmlessly.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    # A new prefix reports an older Windows; the tests start from Windows 10, and the ones that
    # depend on the version set their own and put this one back.
    wine winecfg -v win10 </dev/null >/dev/null 2>&1
    # Tests that look at message boxes or at the optional parts of a service's registration
    # run with the relay trace; limited to these calls it costs next to nothing.
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
      /d 'user32.MessageBoxW;advapi32.ChangeServiceConfig2W;sechost.ChangeServiceConfig2W' /f </dev/null >/dev/null 2>&1
    ;;
  shutdown)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac

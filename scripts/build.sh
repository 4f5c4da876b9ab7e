#!/usr/bin/env bash
# Configures and builds the trees: the host tree (generator) first, then the Windows tree
# (launcher, unit tests, fixtures), whose tests also use the host generator, then the fuzz
# targets (clang with the sanitizers). Results land in out/: vkrsvc.exe, vkrgen, vkrgen.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset host >/dev/null
cmake --build --preset host
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

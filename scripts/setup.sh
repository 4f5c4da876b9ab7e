#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages only. Safe to run again:
# it installs only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  wine wine64
  googletest libtomlplusplus-dev libcli11-dev zlib1g-dev libz-mingw-w64-dev
  osslsigncode openssl
  openjdk-17-jdk-headless
  clang-14 libfuzzer-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Sets everything up, builds both trees and runs every test (host tests, Windows unit tests
# under Wine, end-to-end tests). Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --preset windows -j2

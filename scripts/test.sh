#!/usr/bin/env bash
# Newcomer's second command: install what is missing, build, run every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
ctest --preset release

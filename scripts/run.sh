#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program (with the demo disc when no drive
# is present).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build/bin/platterly "$@"

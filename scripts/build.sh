#!/usr/bin/env bash
# Configures and builds into the folder given (default: build) with any extra CMake options.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
# PLATTERLY_WERROR=ON in the environment makes every warning an error (CI does this).
extra=()
if [[ -n "${PLATTERLY_WERROR:-}" ]]; then
    extra+=("-DPLATTERLY_WERROR=${PLATTERLY_WERROR}")
fi
cmake -S . -B "$dir" "${extra[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"

#!/usr/bin/env bash
# Fails when a C++ file differs from the root .clang-format; `scripts/check-format.sh -i` fixes.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(--dry-run --Werror)
[[ "${1:-}" == "-i" ]] && mode=(-i)
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format "${mode[@]}"

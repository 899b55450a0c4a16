#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh [normal|asan|tsan] [target...]   (default: normal, everything)
# Build folders: build/, build-asan/, build-tsan/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
flavour="${1:-normal}"
shift || true
targets=()
for target in "$@"; do targets+=(--target "$target"); done
case "$flavour" in
  normal) dir="$root/build"; options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) dir="$root/build-asan"; options=(-DCMAKE_BUILD_TYPE=Debug -DFWU_SANITIZE=ON) ;;
  tsan) dir="$root/build-tsan"; options=(-DCMAKE_BUILD_TYPE=Debug -DFWU_TSAN=ON) ;;
  *) echo "usage: $0 [normal|asan|tsan]" >&2; exit 2 ;;
esac
werror=OFF
if [[ "${CI:-}" == "true" ]]; then
  werror=ON
fi
cmake -S "$root" -B "$dir" -G Ninja -DFWU_WERROR="$werror" "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"

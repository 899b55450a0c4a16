#!/usr/bin/env bash
# Builds every fuzz target of tools/fuzz with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (Clang), runs each in turn for SECONDS (default
# 300), and prints executions, coverage edges and findings per target.
#   scripts/fuzz.sh [SECONDS]
# Corpora grow in build-fuzz/corpus/NAME and are kept between runs; the seeds
# in tools/fuzz/corpus/NAME are read but never written. A finding lands in
# build-fuzz/findings/NAME; once understood and mended, copy it into
# tools/fuzz/corpus/NAME so the test run replays it for good.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-300}"
dir="$root/build-fuzz"
targets=(cbor_map smp_frame dfu_progress dfu_listing stm32_replies otp_lookup config_conversions mcuboot_image package_reader history_location mcuboot_verify)

# std::source_location with Debian's libstdc++ needs Clang 15 or later; 16 is
# the newest Debian 12 carries.
clang_version=16
if ! command -v "clang++-$clang_version" >/dev/null || \
   ! ls /usr/lib/llvm-$clang_version/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "clang-$clang_version" "libclang-rt-$clang_version-dev"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC="clang-$clang_version" CXX="clang++-$clang_version" cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFWU_SANITIZE=ON -DFWU_FUZZ_INSTRUMENT=ON -DFWU_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" $(printf -- '--target fuzz_%s ' "${targets[@]}")

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
summary=()
for name in "${targets[@]}"; do
  corpus="$dir/corpus/$name"
  findings="$dir/findings/$name"
  log="$dir/logs/$name.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  echo "== fuzz_$name for $seconds s"
  dictionary=()
  [[ -f "$root/tools/fuzz/dict/$name.dict" ]] && dictionary=(-dict="$root/tools/fuzz/dict/$name.dict")
  # Findings do not stop the run of the other targets.
  "$dir/bin/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    "${dictionary[@]}" "$corpus" "$root/tools/fuzz/corpus/$name" >"$log" 2>&1 || true
  execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)"
  edges="$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)"
  found="$(find "$findings" -type f | wc -l)"
  summary+=("$(printf '%-20s %12s execs %6s edges %4s findings' "$name" "$execs" "$edges" "$found")")
  echo "${summary[-1]}"
done
echo "== summary ($seconds s per target; logs in $dir/logs, findings in $dir/findings)"
printf '%s\n' "${summary[@]}"

#!/usr/bin/env bash
# Times `fwupdater-cli update` of a 256 KiB image against the unit simulator at
# its usual baud rates: MCUboot at 921600, the STM32 bootloader at 460800.
# Prints wall seconds and the CLI process's CPU time. Needs a built tree:
#   scripts/build.sh normal fwupdater-cli lumavex-unit-sim
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${FWU_BIN:-$root/build/bin}"
runs="${1:-3}"
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
# Images the image check lets through: an MCUboot image and a raw application.
"$root/scripts/make_image.sh" mcuboot 262144 "$work/mcuboot.bin"
"$root/scripts/make_image.sh" stm32 262144 "$work/stm32.bin"

measure() { # name sim-options config ids image
  local name="$1" sim_options="$2" config="$3" ids="$4" image="$5"
  for ((run = 1; run <= runs; run++)); do
    rm -f "$work/unit"
    "$bin/lumavex-unit-sim" --link "$work/unit" --model-id 7 $sim_options >/dev/null 2>&1 &
    local sim=$!
    for _ in $(seq 50); do [[ -e "$work/unit" ]] && break; sleep 0.1; done
    FWUPDATER_VIRTUAL_PORTS="$work/unit=$ids" XDG_DATA_HOME="$work/data" /usr/bin/time -f "%e %U %S" -o "$work/time" \
      "$bin/fwupdater-cli" update --config "$config" --image "$image" >/dev/null
    read -r wall user system <"$work/time"
    printf '%-8s run %d: %6.2f s wall, %5.2f s CPU (user %.2f + system %.2f)\n' \
      "$name" "$run" "$wall" "$(echo "$user + $system" | bc)" "$user" "$system"
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
  done
}

measure mcuboot "--baud 921600" "$root/Resources/config-samples/config.mcuboot_serial.ini" 1209:4c55 "$work/mcuboot.bin"
measure uart "--mode stm32 --baud 460800" "$root/Resources/config-samples/config.uart.ini" 10c4:ea60 "$work/stm32.bin"

#!/usr/bin/env bash
# Installs what is missing, builds, and runs the updater.
#
# With a real unit attached (FWUPDATER_DEMO_REAL=1) the updater just starts.
# Otherwise a simulated MCUboot unit (921600 baud) is started on a
# pseudo-terminal and announced to the updater through FWUPDATER_VIRTUAL_PORTS,
# with a demo image as the firmware. On a desktop you press UPDATE yourself; on
# a machine without a display the window runs under Xvfb, UPDATE is clicked for
# you, and screenshots of the Ready and Done states are saved.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" normal fwupdater lumavex-unit-sim >/dev/null
bin="$root/build/bin"

if [[ "${FWUPDATER_DEMO_REAL:-0}" == "1" ]]; then
  exec "$bin/fwupdater"
fi

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
# A 256 KiB demo image in MCUboot's format, the same on every run, so the
# image check passes it and the simulated unit would boot it.
"$root/scripts/make_image.sh" mcuboot 262144 "$bin/Resources/firmware.bin"

unit="$demo/unit0"
"$bin/lumavex-unit-sim" --link "$unit" --image-out "$demo/received.bin" --baud 921600 \
  --model-id 7 --serial-number LMX-000042 >"$demo/simulator-events.txt" 2>"$demo/simulator-requests.txt" &
simulator=$!
app=""
xvfb=""
cleanup() {
  for pid in $app $simulator $xvfb; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [[ -e "$unit" ]] && break; sleep 0.05; done
[[ -e "$unit" ]] || { echo "demo: the unit simulator did not start" >&2; exit 1; }
# 1209:4c55 is the unit listed in the sample config.ini's product_list.
export FWUPDATER_VIRTUAL_PORTS="$unit=1209:4c55"

if [[ -n "${DISPLAY:-}" ]]; then
  echo "demo: simulated unit at $unit; press UPDATE in the window, close it when done"
  "$bin/fwupdater" || true
else
  display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY="$display"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
  "$bin/fwupdater" >"$demo/updater-log.txt" 2>&1 &
  app=$!
  wait_for() { # pattern file seconds
    for _ in $(seq $(($3 * 20))); do grep -q "$1" "$2" 2>/dev/null && return 0; sleep 0.05; done
    return 1
  }
  # The window has found and verified the unit once its model identifier was read.
  wait_for "group 64" "$demo/simulator-requests.txt" 15 || { echo "demo: the updater never asked the unit" >&2; exit 1; }
  sleep 1
  window=$(xdotool search --sync --name "Lumavex firmware updater" | head -n 1)
  import -window "$window" "$demo/ready.png"
  # The UPDATE button sits at (40..139, 400..440) in the window.
  xdotool mousemove --window "$window" 90 420 click 1
  started=$(date +%s.%N)
  wait_for "^reset" "$demo/simulator-events.txt" 60 || { echo "demo: the update did not finish" >&2; exit 1; }
  finished=$(date +%s.%N)
  sleep 1
  import -window "$window" "$demo/done.png"
  echo "demo: click to reset request took $(echo "$finished - $started" | bc) s"
  echo "demo: screenshots $demo/ready.png and $demo/done.png"
fi

if cmp -s "$bin/Resources/firmware.bin" "$demo/received.bin"; then
  echo "demo: the simulated unit received the image intact ($(stat -c %s "$demo/received.bin") bytes)"
  # What MCUboot's own check said after the reset (the simulator's event log).
  grep -m1 "^image-check" "$demo/simulator-events.txt" | sed 's/^/demo: the simulated unit: /' || true
else
  echo "demo: the simulated unit did NOT receive the whole image" >&2
  exit 1
fi

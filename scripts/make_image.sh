#!/usr/bin/env bash
# Writes a firmware image that passes the updater's image check, the same on
# every run, for the demo and the benches:
#   scripts/make_image.sh mcuboot SIZE OUT          an MCUboot image of SIZE bytes: header, body,
#                                                   TLV area with the SHA-256 (as `imgtool sign` writes)
#   scripts/make_image.sh stm32 SIZE OUT [ADDRESS]  a raw application for ADDRESS (default 0x08000000):
#                                                   stack pointer in SRAM, Thumb reset handler inside it
# Real images come from the build: `imgtool sign` for MCUboot, `objcopy -O binary` for STM32.
set -euo pipefail
kind="${1:?mcuboot or stm32}"
size="${2:?size in bytes}"
out="${3:?output file}"
address="${4:-0x08000000}"

# Deterministic filler: AES-CTR over zeros with a fixed key.
filler() { head -c "$1" /dev/zero | openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f \
  -iv 00000000000000000000000000000000 2>/dev/null; }
# A number as N little-endian bytes.
le() { local value=$(($1)) bytes="$2" text="" i; for ((i = 0; i < bytes; i++)); do
  text+=$(printf '\\x%02x' $(((value >> (8 * i)) & 255))); done; printf "$text"; }

case "$kind" in
  mcuboot)
    body=$((size - 72))
    ((body >= 0)) || { echo "make_image: an MCUboot image needs 72 bytes or more" >&2; exit 2; }
    work="$(mktemp)"
    trap 'rm -f "$work"' EXIT
    { le 0x96f3b83d 4; le 0 4; le 32 2; le 0 2; le "$body" 4; le 0 4  # magic, load address, sizes, flags
      le 1 1; le 0 1; le 0 2; le 0 4; le 0 4                          # version 1.0.0+0, padding
      filler "$body"; } >"$work"
    { cat "$work"; le 0x6907 2; le 40 2; le 0x10 2; le 32 2; openssl dgst -sha256 -binary "$work"; } >"$out"
    ;;
  stm32)
    ((size >= 8)) || { echo "make_image: an application needs its 8-byte vector table" >&2; exit 2; }
    { le 0x20020000 4; le $(((address + (size < 0x380 ? size / 2 : 0x1c0)) | 1)) 4; filler $((size - 8)); } >"$out"
    ;;
  *) echo "usage: $0 mcuboot|stm32 SIZE OUT [ADDRESS]" >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# What `make run` starts: the program in the git-ignored scratch folder run/ (its settings file
# Velqor.INI, its data logs and the simulated adapter's EEPROM image stay there), against the
# real adapter when one is plugged in, else against the simulated one.
#
# The adapter is a HID device whose uevent says HID_ID=0003:0000<VID>:0000<PID>; VID and PID
# are 4242 and EE02 unless run/Velqor.INI names others ([USB] VenderID, ProductID).
# Usage: scripts/run.sh path/to/velqor [velqor options...]
set -euo pipefail
cd "$(dirname "$0")/.."
binary="$(realpath "$1")"
shift

# An empty QT_QPA_PLATFORM would make Qt look for a platform named "".
[ -n "${QT_QPA_PLATFORM:-}" ] || unset QT_QPA_PLATFORM
if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'HINT'
make run: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
  On a machine without a screen, use a virtual one:   xvfb-run -a make run
  Without any window at all (end it with Ctrl-C):     QT_QPA_PLATFORM=offscreen make run
  Over ssh, log in with X forwarding (ssh -X) and run make run there.
HINT
  exit 1
fi

mkdir -p run

# [USB] VenderID / ProductID of run/Velqor.INI (decimal or 0x hexadecimal, any letter case,
# Windows line ends), as the program reads them.
ini_value() {
  [ -f run/Velqor.INI ] || return 0
  tr -d '\r' < run/Velqor.INI | awk -v want_section="$1" -v want_key="$2" '
    /^[ \t]*\[/ { s = $0; gsub(/^[ \t]*\[|\][ \t]*$/, "", s); section = tolower(s); next }
    section == tolower(want_section) {
      i = index($0, "="); if (i == 0) next
      k = substr($0, 1, i - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
      if (tolower(k) != tolower(want_key)) next
      v = substr($0, i + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); gsub(/^"|"$/, "", v)
      print v; exit
    }'
}
hex4() {
  local v="$1" fallback="$2"
  if [[ "$v" =~ ^(0[xX][0-9a-fA-F]+|[0-9]+)$ ]] && (( v >= 0 && v <= 0xFFFF )); then
    printf '%04X' "$((v))"
  else
    printf '%s' "$fallback"
  fi
}
vid="$(hex4 "$(ini_value USB VenderID)" 4242)"
pid="$(hex4 "$(ini_value USB ProductID)" EE02)"

adapter=""
for uevent in /sys/class/hidraw/*/device/uevent; do
  [ -r "$uevent" ] || continue
  if grep -qix "HID_ID=0003:0000${vid}:0000${pid}" "$uevent"; then
    adapter="/dev/$(basename "$(dirname "$(dirname "$uevent")")")"
    break
  fi
done

cd run
if [ -n "$adapter" ]; then
  echo "make run: the adapter ${vid}:${pid} is at ${adapter}; starting velqor in run/"
  exec "$binary" "$@"
fi
echo "make run: no adapter ${vid}:${pid} is plugged in; starting velqor --simulate in run/"
exec "$binary" --simulate "$@"

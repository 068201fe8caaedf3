#!/bin/sh
# velqor-cli monitor --sim --count N prints N frames in candump style and reports 0 lost.
# Usage: check_monitor.sh <velqor-cli> <N>
cli=$1
n=$2
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$cli" monitor --sim --count "$n" >"$out" 2>"$err" || { cat "$err"; exit 1; }
frames=$(grep -cE '^\([0-9]+\.[0-9]{6}\) usb ([0-9A-F]{3}|[0-9A-F]{8})#([0-9A-F]{2}){0,8}$' "$out")
cat "$err"
[ "$frames" -eq "$n" ] || { echo "expected $n frames, got $frames"; exit 1; }
grep -q ' 0 lost$' "$err" || { echo "frames were lost"; exit 1; }

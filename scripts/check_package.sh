#!/usr/bin/env bash
# Checks the Debian package that `make package` builds: its file list, lintian (no errors),
# the AppStream and desktop entry validators, the maintainer scripts without udev, and the
# installed programs run from a scratch root.
# Usage: scripts/check_package.sh build/package/velqor_<version>_<arch>.deb
set -euo pipefail

[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 PACKAGE.deb (one existing file)" >&2; exit 2; }
deb=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# --- The files -------------------------------------------------------------------------------
listing=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
expected=(
  /usr/bin/velqor
  /usr/bin/velqor-cli
  /usr/lib/udev/rules.d/70-velqor.rules
  /usr/share/applications/velqor.desktop
  /usr/share/icons/hicolor/scalable/apps/velqor.svg
  /usr/share/man/man1/velqor.1.gz
  /usr/share/man/man1/velqor-cli.1.gz
  /usr/share/doc/velqor/copyright
  /usr/share/doc/velqor/changelog.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/velqor.png")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" <<<"$listing" || fail "the package lacks $f"
done
grep -qE '^/usr/share/metainfo/[^/]+\.metainfo\.xml$' <<<"$listing" ||
  fail "the package lacks its AppStream metadata (/usr/share/metainfo/*.metainfo.xml)"
programs=$(grep -E '^/usr/bin/.' <<<"$listing" | sort | tr '\n' ' ')
[ "$programs" = "/usr/bin/velqor /usr/bin/velqor-cli " ] ||
  fail "/usr/bin should hold velqor and velqor-cli only, holds: $programs"
[ "$failures" -eq 0 ] && pass "file list ($(grep -c '[^/]$' <<<"$listing") files)"

depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks the Qt libraries: '$depends'"

# --- lintian: warnings are shown, errors fail ------------------------------------------------
if lintian --fail-on error --display-info "$deb"; then
  pass "lintian finds no errors"
else
  fail "lintian finds errors"
fi

# --- Installed by dpkg into a scratch root (its own package database, maintainer scripts run
# outside a chroot; the libraries come from this system) ----------------------------------
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
  dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless "$@" \
    >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; return 1; }
}
if dpkg_root --install "$deb"; then pass "dpkg --root --install"; else fail "dpkg --root --install"; fi
for size in 16 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/velqor.png
  file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not $size x $size"
done

if help=$("$root/usr/bin/velqor" --help) && [[ $help == "Usage: velqor "* ]]; then
  pass "installed velqor --help"
else
  fail "the installed velqor --help did not print its usage"
fi
if help=$("$root/usr/bin/velqor-cli" --help) && [[ $help == "Usage: velqor-cli "* ]]; then
  pass "installed velqor-cli --help"
else
  fail "the installed velqor-cli --help did not print its usage"
fi
# One received frame (identifier 0x123, data 11 22) through the installed decoder.
json=$(printf 'FC 11 02 02 00 00 00 00 01 23 02 11 22 00 00 00 00 00 00' |
  "$root/usr/bin/velqor-cli" decode) || true
if [ "$json" = '{"code":202,"ide":0,"id":291,"dlc":2,"data":[17,34,0,0,0,0,0,0]}' ]; then
  pass "installed velqor-cli decode"
else
  fail "the installed velqor-cli decode printed '$json'"
fi

if desktop-file-validate "$root/usr/share/applications/velqor.desktop"; then
  pass "desktop-file-validate"
else
  fail "desktop-file-validate"
fi
if appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml &&
  appstreamcli validate-tree --no-net "$root"; then
  pass "appstreamcli validate"
else
  fail "appstreamcli validate"
fi

if dpkg_root --purge velqor && [ -z "$(find "$root/usr" -type f 2>/dev/null)" ]; then
  pass "dpkg --root --purge leaves no file behind"
else
  fail "dpkg --root --purge"
fi

# --- Maintainer scripts: never fail without udev, nor when udevadm fails --------------------
control=$scratch/control
dpkg-deb -e "$deb" "$control"
mkdir "$scratch/bin"
printf '#!/bin/sh\nexit 1\n' >"$scratch/bin/udevadm"
chmod +x "$scratch/bin/udevadm"
before=$failures
for run in "postinst configure" "postrm remove" "postrm purge"; do
  script=${run%% *} action=${run#* }
  [ -x "$control/$script" ] || { fail "the package has no executable $script"; continue; }
  PATH=$scratch/nothing "$control/$script" "$action" </dev/null || fail "$run fails without udevadm"
  PATH=$scratch/bin:/usr/bin:/bin "$control/$script" "$action" </dev/null ||
    fail "$run fails when udevadm fails"
done
[ "$failures" -eq "$before" ] && pass "maintainer scripts without udev"

if [ "$failures" -ne 0 ]; then
  echo "$deb: $failures check(s) failed" >&2
  exit 1
fi
echo "$deb: every check passed"

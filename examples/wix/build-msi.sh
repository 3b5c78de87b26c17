#!/usr/bin/env bash
# Builds Orvane's MSI from examples/wix/orvane.wxs with Debian's wixl (package wixl) and mends
# what wixl writes wrongly with msitools' msibuild (package msitools):
#   examples/wix/build-msi.sh BIN_DIR VERSION OUT.msi
# BIN_DIR holds the programs orvane.wxs installs; VERSION is a.b.c.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 BIN_DIR VERSION OUT.msi" >&2; exit 2; }
here="$(cd "$(dirname "$0")" && pwd)"
bin_dir="$(cd "$1" && pwd)"
out="$3"

# The product code is the version's own, so that a version built twice is one product (and an
# uninstallation by package finds it): a name-based GUID (RFC 4122 version 5 layout) from SHA-1.
hash="$(printf 'Orvane %s' "$2" | sha1sum)"
variant="$(printf '%x' $((0x${hash:16:1} & 3 | 8)))"
product_code="${hash:0:8}-${hash:8:4}-5${hash:13:3}-$variant${hash:17:3}-${hash:20:12}"

# wixl looks a File's Source up relative to the .wxs and takes no absolute path.
wixl --arch x64 -D "BinDir=$(realpath --relative-to="$here" "$bin_dir")" -D "Version=$2" \
  -D "ProductCode=${product_code^^}" -o "$out" "$here/orvane.wxs"

# wixl 0.101 writes Execute="rollback" as type 2130 (18 + 0x40 ignore status + 0x800 no
# impersonation), without msidbCustomActionTypeRollback (0x100) and msidbCustomActionTypeInScript
# (0x400): it would run at once, as an immediate action, in every installation. 3410 is the type
# Windows Installer's documentation gives a rollback action with those bits.
for action in RemoveFirewallRulesOnRollback RestoreFirewallRulesOnRollback; do
  msibuild "$out" -q "UPDATE CustomAction SET Type=3410 WHERE Action='$action'"
done
# wixl ignores MajorUpgrade's Schedule and puts RemoveExistingProducts after InstallFiles, where the
# old product's removal would come after the new adder. 1501, right after InstallInitialize (1500),
# puts the removal inside the installation's transaction, so that a failed upgrade rolls it back
# (WiX's afterInstallInitialize).
msibuild "$out" -q \
  "UPDATE InstallExecuteSequence SET Sequence=1501 WHERE Action='RemoveExistingProducts'"

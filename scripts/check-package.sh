#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it without
# installing it: lintian must report no errors, the package must hold
# exactly the expected files, and the unpacked program must start as an
# unprivileged user. Nothing on this machine is changed outside build/ and a
# temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/lib/version.sh

deb=$(scripts/package.sh | tail -n 1)
version=$(project_version)
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

# Scratch space, lintian's too (it leaves folders in TMPDIR).
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
mkdir -m 700 "$tmp/lintian"

echo "== lintian $(basename "$deb")"
# Everything lintian says is shown; only errors fail the check.
status=0
report=$(TMPDIR="$tmp/lintian" lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$status" -eq 0 ] || fail "lintian reports errors (exit status $status)"

echo "== control fields"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6network6 libc6; do
    [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
for field in Maintainer Section Homepage Description; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
done

echo "== contents"
expected="./usr/bin/valmora-ctl
./usr/bin/valmora-panel
./usr/share/applications/valmora-panel.desktop
./usr/share/doc/valmora-panel/changelog.gz
./usr/share/doc/valmora-panel/copyright
./usr/share/icons/hicolor/128x128/apps/valmora-panel.png
./usr/share/icons/hicolor/16x16/apps/valmora-panel.png
./usr/share/icons/hicolor/256x256/apps/valmora-panel.png
./usr/share/icons/hicolor/32x32/apps/valmora-panel.png
./usr/share/icons/hicolor/48x48/apps/valmora-panel.png
./usr/share/icons/hicolor/64x64/apps/valmora-panel.png
./usr/share/man/man1/valmora-ctl.1.gz
./usr/share/man/man1/valmora-panel.1.gz"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
if [ "$actual" != "$expected" ]; then
    fail "the package holds other files than expected:"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
fi

# Unpacked under a fresh folder that the unprivileged user can traverse.
root="$tmp/root"
dpkg-deb -x "$deb" "$root"

for file in $expected; do
    [ -f "$root/$file" ] || fail "not unpacked: $file"
done
for name in valmora-panel valmora-ctl; do
    [ -x "$root/usr/bin/$name" ] || fail "usr/bin/$name is not executable"
    file "$root/usr/bin/$name" | grep -q ', stripped' || fail "usr/bin/$name is not stripped"
done
# The command-line tool needs no display: Qt Core and Network only.
if objdump -p "$root/usr/bin/valmora-ctl" | grep -E 'NEEDED +libQt6(Gui|Widgets)'; then
    fail "usr/bin/valmora-ctl links a graphical Qt library"
fi
for size in 16 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/valmora-panel.png"
    file "$icon" | grep -q "PNG image data, $size x $size," || fail "icon is not $size px: $(file -b "$icon")"
done
desktop-file-validate "$root/usr/share/applications/valmora-panel.desktop" || fail "desktop entry invalid"
copyright="$root/usr/share/doc/valmora-panel/copyright"
head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not in the machine-readable format"
grep -q '^License: MIT$' "$copyright" || fail "copyright does not name the MIT licence"
grep -q '^License: public-domain$' "$copyright" || fail "copyright does not name the pictures' licence"

# A home and runtime folder of their own, so that nothing is left behind.
home="$tmp/home"
mkdir -m 700 "$home" "$tmp/run"
chown 65534:65534 "$home" "$tmp/run"
for name in valmora-panel valmora-ctl; do
    echo "== $name --version as an unprivileged user"
    status=0
    output=$(cd "$home" && timeout 30 setpriv --reuid=65534 --regid=65534 --clear-groups \
        env -i HOME="$home" XDG_RUNTIME_DIR="$tmp/run" PATH=/usr/bin:/bin \
        "$root/usr/bin/$name" --version 2>&1) || status=$?
    echo "$output"
    [ "$status" -eq 0 ] || fail "$name --version exited with $status"
    [[ "$output" == *"$version"* || "$output" == *"${version%.0}"* ]] ||
        fail "$name --version does not print the version"
done

if [ "$failed" -ne 0 ]; then
    echo "The package check failed." >&2
    exit 1
fi
echo "The package check passed."

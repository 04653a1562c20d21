#!/usr/bin/env bash
# Installs the build into a temporary root as a package would and checks the installed tree:
# every file a desktop needs is there and valid, and the installed program finds its data
# from where it was installed. With "package" as third argument it also builds the Debian
# package and checks it with lintian.
set -u
build="$1"
source="$2"
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
unset DISPLAY WAYLAND_DISPLAY

DESTDIR="$root" cmake --install "$build" --prefix /usr >"$root/install.log" 2>&1 \
    || { echo "FAIL: cmake --install: $(tail -5 "$root/install.log")"; exit 1; }
usr="$root/usr"
id=app.velkin.Velkin
check "the program is installed" "[ -x '$usr/bin/velkin' ]"
for folder in Help Samples Localization; do
    check "$folder is installed as data" "[ -d '$usr/share/velkin/$folder' ]"
done
check "the desktop file is installed and valid" "desktop-file-validate '$usr/share/applications/$id.desktop'"
check "the desktop file opens several files in one call" "grep -q '^Exec=velkin %F$' '$usr/share/applications/$id.desktop'"
check "the desktop file declares the Markdown types" \
    "grep -q '^MimeType=text/markdown;text/x-markdown;text/plain;$' '$usr/share/applications/$id.desktop'"
check "the store metadata is valid" "appstreamcli validate --no-net '$usr/share/metainfo/$id.metainfo.xml' >/dev/null"
check "the scalable icon is installed" "[ -s '$usr/share/icons/hicolor/scalable/apps/$id.svg' ]"
for size in 16 22 24 32 48 64 128 256 512; do
    icon="$usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    check "the ${size}px icon is installed at its size" \
        "[ \"\$(python3 -c 'import struct,sys; d=open(sys.argv[1],\"rb\").read(24); print(*struct.unpack(\">II\", d[16:24]))' '$icon')\" = '$size $size' ]"
done
check "the manual page is installed" "[ -s '$usr/share/man/man1/velkin.1.gz' ]"

# The installed program runs its self-test on the installed data: the source tree is out of
# reach because the working folder is elsewhere and the installed data comes first.
(cd "$root" && QT_QPA_PLATFORM=offscreen "$usr/bin/velkin" --selftest >"$root/selftest.log" 2>&1)
check "the installed program passes its self-test" "tail -1 '$root/selftest.log' | grep -q '^Self-test passed'"

if [ "${3:-}" = package ]; then
    (cd "$build" && cpack -G DEB >"$root/cpack.log" 2>&1) || { echo "FAIL: cpack: $(tail -5 "$root/cpack.log")"; exit 1; }
    deb=$(ls "$build"/velkin_*.deb | head -1)
    check "the package depends on the Qt libraries it links" "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"
    check "the package holds the program and its desktop file" \
        "dpkg-deb -c '$deb' | grep -q './usr/bin/velkin\$' && dpkg-deb -c '$deb' | grep -q '$id.desktop'"
    lintian --fail-on error "$deb" >"$root/lintian.log" 2>&1
    check "lintian finds no error in the package" "[ $? -eq 0 ]" || cat "$root/lintian.log"
fi
exit $fail

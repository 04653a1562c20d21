#!/usr/bin/env bash
# Installs the build into a temporary root as a package would and checks the installed tree:
# every file a desktop needs is there and valid, and the installed program finds its data
# from where it was installed. With "package" as third argument it also builds the Debian
# package and checks it with lintian.
set -u
build=$(realpath "$1")
source=$(realpath "$2")
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; return 1; fi; }
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
check "the desktop file declares the Markdown types and no others" \
    "grep -q '^MimeType=text/markdown;text/x-markdown;$' '$usr/share/applications/$id.desktop'"
check "the desktop file and the store metadata name the same categories" \
    "[ \"\$(sed -n 's/^Categories=//p' '$usr/share/applications/$id.desktop' | tr ';' '\n' | sed '/^\$/d' | sort)\" = \
       \"\$(sed -n 's|.*<category>\(.*\)</category>.*|\1|p' '$usr/share/metainfo/$id.metainfo.xml' | sort)\" ]"
check "the store metadata is valid" "appstreamcli validate --no-net '$usr/share/metainfo/$id.metainfo.xml' >/dev/null"
check "the scalable icon is installed" "[ -s '$usr/share/icons/hicolor/scalable/apps/$id.svg' ]"
for size in 16 22 24 32 48 64 128 256 512; do
    icon="$usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    check "the ${size}px icon is installed at its size" \
        "[ \"\$(python3 -c 'import struct,sys; d=open(sys.argv[1],\"rb\").read(24); print(*struct.unpack(\">II\", d[16:24]))' '$icon')\" = '$size $size' ]"
done
check "the manual page is installed" "[ -s '$usr/share/man/man1/velkin.1.gz' ]"

# The installed program runs its self-test on the installed data alone: in a mount namespace
# of its own, with empty folders laid over the build and source trees (as on a user's machine,
# where neither exists), it must pass as many checks as the build tree's program, none skipped.
expected=$(cd / && QT_QPA_PLATFORM=offscreen "$build/velkin" --selftest 2>&1 | tail -1)
if unshare -rm true 2>/dev/null; then
    (cd / && QT_QPA_PLATFORM=offscreen unshare -rm sh -c \
        'mount -t tmpfs none "$1" && mount -t tmpfs none "$2" && exec "$3" --selftest' \
        sh "$build" "$source" "$usr/bin/velkin" >"$root/selftest.log" 2>&1)
    check "the installed program passes its self-test without the source tree ($expected)" \
        "echo '$expected' | grep -Eq '^Self-test passed: [0-9]+ checks\.\$' && [ \"\$(tail -1 '$root/selftest.log')\" = '$expected' ] && ! grep -q ' - skipped: ' '$root/selftest.log'" \
        || tail -5 "$root/selftest.log"
elif [ "${CI:-}" = true ]; then
    echo "FAIL: unshare cannot make a mount namespace here; CI must check the installed self-test"
    fail=1
else
    echo "skipped: the installed self-test without the source tree (unshare cannot make a mount namespace here)"
fi

if [ "${3:-}" = package ]; then
    (cd "$build" && cpack -G DEB >"$root/cpack.log" 2>&1) || { echo "FAIL: cpack: $(tail -5 "$root/cpack.log")"; exit 1; }
    deb=$(ls "$build"/velkin_*.deb | head -1)
    check "the package depends on the Qt libraries it links" "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"
    check "the package depends on the Qt plugins it loads (platform, picture readers, SVG)" \
        "dpkg-deb -f '$deb' Depends | grep -q qt6-qpa-plugins && dpkg-deb -f '$deb' Depends | grep -q qt6-image-formats-plugins && dpkg-deb -f '$deb' Depends | grep -q libqt6svg6"
    check "the package holds the program and its desktop file" \
        "dpkg-deb -c '$deb' | grep -q './usr/bin/velkin\$' && dpkg-deb -c '$deb' | grep -q '$id.desktop'"
    check "the package runs no maintainer script (its private library needs no ldconfig)" \
        "! dpkg-deb -I '$deb' | grep -Eq '^ .* (preinst|postinst|prerm|postrm) '"
    # Each tag it may still name is overridden, with the reason, in packaging/lintian-overrides.
    lintian --pedantic --info --fail-on error,warning,info,pedantic "$deb" >"$root/lintian.log" 2>&1
    check "lintian, pedantic, finds nothing in the package (hardening included)" \
        "[ $? -eq 0 ] && ! grep -Eq '^[EWIPX]: ' '$root/lintian.log'" || cat "$root/lintian.log"
fi
exit $fail

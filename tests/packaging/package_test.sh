#!/usr/bin/env bash
# The Debian package of this build tree holds exactly the files a desktop program needs,
# well formed, and the unpacked programs start and show the window.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$2

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli Xvfb \
            xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "skipped: no $tool (make deps installs it)"; exit 77; }
done
work=$(mktemp -d)
export XDG_STATE_HOME="$work/state"  # the started program keeps its journal here
# shellcheck source=tools/xdrive.sh
. "$src/tools/xdrive.sh"
trap 'xd_stop_all; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Packs what the build tree holds; its own output folder, so `make package` is not touched.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$(echo "$work"/out/orvel-programator_*.deb)
[ -f "$deb" ] || fail "no package in $work/out"

id=org.orvel.programator
expected="usr/bin/orvel-programator usr/bin/orvel-device-sim
usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml
usr/share/man/man1/orvel-programator.1.gz usr/share/man/man1/orvel-device-sim.1.gz
usr/share/doc/orvel-programator/copyright usr/share/doc/orvel-programator/changelog.Debian.gz
usr/share/lintian/overrides/orvel-programator"
for px in 16 32 48 64 128 256; do expected+=" usr/share/icons/hicolor/${px}x$px/apps/$id.png"; done
[ -f "$build/orvel" ] && [ -x "$build/orvel" ] &&
    expected+=" usr/bin/orvel usr/share/man/man1/orvel.1.gz"
want=$(echo "$expected" | tr ' ' '\n' | sort)
have=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort)
[ "$have" = "$want" ] || fail "files in the package differ from the expected ones:
$(diff <(echo "$want") <(echo "$have") || true)"

root=$work/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
desktop=$share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
grep -qx 'Name=Orvel programator' "$desktop" && grep -qx "Icon=$id" "$desktop" ||
    fail "desktop entry name or icon"
[ -x "$root/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")" ] ||
    fail "the desktop entry runs a program not installed"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "AppStream metadata"

# make install: the package's files but its own (doc, lintian); make uninstall: none left,
# though another prefix was installed into since, and that one's files stay till its own.
prefix=$work/prefix other=$work/other
"$src/mk/install.sh" install "$build" "$prefix" >/dev/null
"$src/mk/install.sh" install "$build" "$other" >/dev/null
[ "$(cd "$prefix" && find . -type f | sed 's|^\./|usr/|' | sort)" = \
  "$(grep -v -e lintian -e /doc/ <<<"$want")" ] || fail "make install: $(find "$prefix" -type f)"
"$src/mk/install.sh" uninstall "$build" "$prefix" >/dev/null
[ -z "$(ls -A "$prefix")" ] || fail "make uninstall left $(find "$prefix")"
[ -x "$other/bin/orvel-programator" ] &&
    "$src/mk/install.sh" uninstall "$build" "$other" >/dev/null && [ -z "$(ls -A "$other")" ] ||
    fail "make uninstall of $prefix, then of $other: $(find "$other")"
# The unpacked programator against the unpacked simulator, in a real X window.
XD_BUILD=$root/usr/bin
xd_start_xvfb
xd_start_sim "$work/com1" "$work/sim" --fast
xd_start_app "$work/com1"
kill -0 "$XD_APP_PID" || fail "the program ended"
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
# The window may be found by its title a moment before its class is set.
for _ in $(seq 50); do
    xprop -id "$XD_WINDOW" WM_CLASS | grep -qF "\"$wm_class\"" && break
    sleep 0.1
done
xprop -id "$XD_WINDOW" WM_CLASS | grep -qF "\"$wm_class\"" ||
    fail "the window's class is not the desktop entry's $wm_class: $(xprop -id "$XD_WINDOW" WM_CLASS)"
echo "package $(basename "$deb"): $(echo "$want" | wc -l) files; window $XD_WINDOW shown"

#!/usr/bin/env bash
# make install into a prefix puts there what a user needs and none of the Debian package's
# own files; make uninstall then leaves the prefix as it was, a file of another program in
# a shared folder included.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$prefix/share/applications"
touch "$prefix/share/applications/other.desktop"
before=$(cd "$prefix" && find . | sort)

"$2/mk/install.sh" install "$build" "$prefix" >/dev/null
id=org.orvel.programator
for file in bin/orvel-programator bin/orvel bin/orvel-device-sim share/man/man1/orvel.1.gz \
    share/man/man1/orvel-programator.1.gz share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/icons/hicolor/48x48/apps/$id.png; do
    [ -f "$prefix/$file" ] || fail "make install did not install $file"
done
debian=$(cd "$prefix" && find . -path '*lintian*' -o -name 'changelog.Debian*' -o -name copyright)
[ -z "$debian" ] || fail "make install installed the package's own files: $debian"

"$2/mk/install.sh" uninstall "$build" "$prefix" >/dev/null
after=$(cd "$prefix" && find . | sort)
[ "$after" = "$before" ] || fail "after make uninstall the prefix differs:
$(diff <(echo "$before") <(echo "$after") || true)"
echo "make install, then make uninstall: the prefix is as it was"

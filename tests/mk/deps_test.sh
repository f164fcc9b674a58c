#!/usr/bin/env bash
# mk/deps.sh against a fake dpkg-query, id, sudo and apt-get: the package manager runs only
# for a package really missing, through sudo only when not root, and without root or sudo
# the command to run is printed and the build stops.
#   deps_test.sh PATH_TO_DEPS_SH
set -u
deps=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/sudo"
# The last argument is the package.
printf '#!/bin/bash\n[[ " $FAKE_MISSING " != *" ${!#} "* ]] && echo "install ok installed"\n' \
    >"$work/bin/dpkg-query"
printf '#!/bin/bash\necho "$FAKE_UID"\n' >"$work/bin/id"
printf '#!/bin/bash\necho "apt-get $*" >>"$FAKE_LOG"\n' >"$work/bin/apt-get"
printf '#!/bin/bash\necho -n "sudo " >>"$FAKE_LOG"\nexec /usr/bin/env "$@"\n' >"$work/sudo/sudo"
chmod +x "$work"/bin/* "$work/sudo/sudo"

failures=0
# name | uid | sudo on the PATH | missing | exit status | commands run (; between) | said
while IFS='|' read -r name uid sudo missing status commands said; do
    : >"$work/log"
    path=$work/bin
    [[ $sudo == yes ]] && path+=:$work/sudo
    out=$(PATH=$path FAKE_UID=$uid FAKE_MISSING=$missing FAKE_LOG=$work/log \
          /bin/bash "$deps" cmake qt6-serialport-dev xvfb 2>&1)
    got=$?
    ran=$(paste -sd ';' "$work/log")
    if [[ $got != "$status" || $ran != "$commands" || $out != *"$said"* ]] ||
       [[ -z $said && -n $out ]]; then
        echo "FAIL $name: exit $got, ran '$ran', said '$out'"
        failures=$((failures + 1))
    fi
done <<'ROWS'
all there, user without sudo|1000|no||0||
one missing, root|0|no|qt6-serialport-dev|0|apt-get update -qq;apt-get install -y -qq --no-install-recommends qt6-serialport-dev|Installing: qt6-serialport-dev
two missing, user with sudo|1000|yes|cmake xvfb|0|sudo apt-get update -qq;sudo apt-get install -y -qq --no-install-recommends cmake xvfb|Installing with sudo
one missing, user without sudo|1000|no|xvfb|1||apt-get install --no-install-recommends xvfb
ROWS
exit $((failures > 0))

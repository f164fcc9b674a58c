#!/usr/bin/env bash
# Installs those of the Debian packages named as arguments that are not installed yet.
# The package manager runs only when one is really missing, so a machine that has them
# all builds offline and without root. Root installs; anyone else installs through sudo
# if there is one, or is told the command to run (and the build stops).
#   deps.sh PACKAGE...
set -u
missing=()
for package in "$@"; do
    # "install ok installed"; a name no package has, or a virtual one, gives nothing.
    status=$(dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null) || status=
    [[ $status == *" installed"* ]] || missing+=("$package")
done
((${#missing[@]})) || exit 0

install=(apt-get install -y -qq --no-install-recommends "${missing[@]}")
if [[ $(id -u) == 0 ]]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${install[@]}"
elif command -v sudo >/dev/null; then
    echo "Installing with sudo: ${missing[*]}"
    sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive "${install[@]}"
else
    echo "Missing packages; as root, run:" >&2
    echo "apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

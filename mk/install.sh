#!/usr/bin/env bash
# `make install` and `make uninstall`: what a user needs under PREFIX (the programs, their
# manual pages, the desktop entry, the icons, the AppStream metadata; not the files only
# the Debian package holds), and exactly that taken away again, with the folders it leaves
# empty.
#   install.sh install|uninstall BUILD PREFIX
set -euo pipefail
action=$1 build=$2
prefix=$(realpath -m "$3")
# cmake --install writes the list of what it installed of a component here, whatever the
# prefix; each install's list is kept apart per prefix, so that installs elsewhere since
# leave what is under this one known.
installed=$build/install_manifest_Unspecified.txt
manifest=$build/install-manifests/$(printf %s "$prefix" | sha256sum | cut -c1-16).txt

case $action in
install)
    cmake --install "$build" --prefix "$prefix" --component Unspecified
    mkdir -p -- "$(dirname -- "$manifest")"
    # Installed here before: what that put here goes too, whatever this one installs.
    { [ ! -f "$manifest" ] || cat -- "$manifest"; cat -- "$installed"; echo; } |
        grep -v '^$' | sort -u >"$manifest.new"
    mv -- "$manifest.new" "$manifest"
    ;;
uninstall)
    # An install made before the lists were kept apart: cmake's own list.
    [ -d "$build/install-manifests" ] || manifest=$installed
    [ -f "$manifest" ] || { echo "nothing is installed from $build" >&2; exit 1; }
    files=()
    while IFS= read -r file || [ -n "$file" ]; do  # its last line has no line end
        case $file in "$prefix"/*) files+=("$file") ;; esac
    done <"$manifest"
    ((${#files[@]})) || { echo "nothing from $build is installed under $prefix" >&2; exit 1; }
    for file in "${files[@]}"; do
        rm -f -- "$file"
        echo "-- Removed: $file"
        dir=$(dirname -- "$file")
        while [ "$dir" != "$prefix" ] && rmdir -- "$dir" 2>/dev/null; do
            dir=$(dirname -- "$dir")
        done
    done
    rm -f -- "$manifest"
    ;;
*)
    echo "usage: install.sh install|uninstall BUILD PREFIX" >&2
    exit 2
    ;;
esac

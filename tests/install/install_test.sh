#!/usr/bin/env bash
# install_test.sh BUILD SOURCE VERSION SANITIZED
# Installs the build with DESTDIR, copies the staged tree to another folder
# (another prefix, another name), and checks it there (staged_checks.sh),
# inside a mount namespace that hides the build and source trees and makes
# the copy read-only, when this machine lets us make one.
set -euo pipefail
build=$1 source=$2 version=$3 sanitized=$4
scratch=$(mktemp -d /tmp/leafwise-install-test-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

DESTDIR=$scratch/stage cmake --install "$build" --prefix /usr >/dev/null
mkdir -p "$scratch/moved"
cp -a "$scratch/stage/usr" "$scratch/moved/prefix"
rm -rf "$scratch/stage"
cp "$source/tests/install/staged_checks.sh" "$scratch/"
# What the build's own tool says of the guide, to hold the installed one to.
"$build/tools/leafwise-book" contents "$build/docs/leafwise-guide.chm" >"$scratch/contents.expected"

checks=(bash "$scratch/staged_checks.sh" "$scratch/moved/prefix" "$scratch" "$version" "$build" "$source" "$sanitized")
hide='mount -t tmpfs none "$1" && mount -t tmpfs none "$2" &&
      mount --bind "$3" "$3" && mount -o remount,bind,ro "$3" && shift 3 && exec "$@"'
if unshare --mount --map-root-user true 2>/dev/null; then
    unshare --mount --map-root-user bash -c "$hide" hide "$build" "$source" "$scratch/moved/prefix" "${checks[@]}"
else
    echo "note: no mount namespace here; the build tree stays reachable and the copy writable"
    "${checks[@]}"
fi

#!/usr/bin/env bash
# Builds the Debian binary packages with dpkg-buildpackage from a copy of the sources, so that
# the source tree stays as it is. Usage: build-package.sh OUTDIR
# Leaves in OUTDIR: drelk2_*.deb, drelk2-tools_*.deb, their -dbgsym packages, the .changes and
# the .buildinfo, and the build's log in build.log. Without the tests (build profile nocheck):
# `make test` runs them.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
case "$out/" in
  "$source_dir"/debian/*) echo "build-package.sh: OUTDIR must not lie inside debian/" >&2; exit 2 ;;
esac

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
tree="$out/drelk2-$version"
rm -rf "$tree"
rm -f "$out"/drelk2*.deb "$out"/drelk2*.ddeb "$out"/drelk2_*.changes "$out"/drelk2_*.buildinfo
mkdir -p "$tree"
# The tracked and new files of a git checkout; everything but build folders otherwise.
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
    tar --null -T - -cf -) | tar -xf - -C "$tree"
else
  tar -C "$source_dir" --exclude='./build*' --exclude='./obj-*' -cf - . | tar -xf - -C "$tree"
fi

# debhelper gives the build a HOME of its own: a compiler cache in use keeps its own folder.
if command -v ccache >/dev/null; then
  CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
  export CCACHE_DIR
fi

echo "Building the Debian packages in $tree (log: $out/build.log)"
if ! (cd "$tree" && DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" \
        dpkg-buildpackage -us -uc -b -Pnocheck -Jauto) >"$out/build.log" 2>&1; then
  tail -n 40 "$out/build.log" >&2
  echo "build-package.sh: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
fi
rm -rf "$tree"
ls "$out"/*.deb "$out"/*.changes

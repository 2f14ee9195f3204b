#!/usr/bin/env bash
# Installs the Debian packages Drelk II needs. Usage: install-deps.sh [build|test|portable]
#   build  the Build-Depends of debian/control without the test-only ones (build profile
#          nocheck), and Ninja: enough for the game, its tools, its data file and the Debian
#          packages;
#   test   all of debian/control's Build-Depends, and TEST_TOOLS below;
#   portable  the compilers and emulators of the replays' checks across machines.
# debian/control is the one list of build packages. Does nothing when all of them are present;
# uses sudo when not run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

# What the tests use besides building: the sanitizer build and fuzzing, the benchmarks, the
# end-to-end tests' X tools, the world table's database server and browser, and the checks of
# the Debian packages.
TEST_TOOLS=(
  clang libclang-rt-14-dev libbenchmark-dev
  xdotool x11-utils imagemagick gdb python3-pytest python3-xlib python3-numpy
  postgresql-15 postgresql-client-15 chromium
  desktop-file-utils appstream lintian man-db strace systemd
)

# What the replays' checks across compilers and processors build with (tools/check-portable.sh).
PORTABLE_TOOLS=(g++ clang g++-aarch64-linux-gnu g++-i686-linux-gnu qemu-user bc)

# What `make` builds with besides the package's own build (a new build folder uses Ninja).
MAKE_TOOLS=(ninja-build)

case "${1:-build}" in
  build) profile=(-P nocheck); extra=("${MAKE_TOOLS[@]}") ;;
  test) profile=(); extra=("${MAKE_TOOLS[@]}" "${TEST_TOOLS[@]}") ;;
  portable) profile=(-P nocheck); extra=("${PORTABLE_TOOLS[@]}") ;;
  *) echo "usage: $0 [build|test|portable]" >&2; exit 2 ;;
esac

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing_tools=()
for p in "${extra[@]}"; do
  installed "$p" || missing_tools+=("$p")
done
# dpkg-checkbuilddeps (dpkg-dev) also checks build-essential.
if command -v dpkg-checkbuilddeps >/dev/null && dpkg-checkbuilddeps "${profile[@]}" >/dev/null 2>&1 &&
   [ ${#missing_tools[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "Installing the missing build dependencies of debian/control${missing_tools:+ and ${missing_tools[*]}}"
$sudo apt-get update -q
$sudo apt-get -o DPkg::Lock::Timeout=900 build-dep -y -q "${profile[@]}" ./
if [ ${#missing_tools[@]} -gt 0 ]; then
  $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "${missing_tools[@]}"
fi

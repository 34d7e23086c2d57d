#!/bin/sh
# Installs, with apt-get, every Debian package that the build, the tests and
# the programs need; only what is missing, so it can run any number of times.
set -eu

PACKAGES="
build-essential
cmake
ninja-build
pkg-config
libgtest-dev
libgmock-dev
libbenchmark-dev
units
proj-bin
ghostscript
libx11-dev
libxext-dev
xvfb
x11-apps
x11-utils
xdotool
xfonts-base
hershey-fonts-data
hp2xx
x11-common
libpng-dev
zlib1g-dev
libnetcdf-dev
netcdf-bin
libopenjp2-7-dev
libeccodes-tools
imagemagick
pngcheck
giflib-tools
weather-util-data
metview-data
python3-gdbm
python3-numpy
python3-netcdf4
python3-contourpy
python-grib-doc
clang
llvm
libclang-rt-14-dev
tmux
clang-format
cdo
python3-matplotlib
python3-scipy
linux-perf
valgrind
python3-eccodes
libeccodes-dev
"

missing=""
for pkg in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $pkg"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

echo "install-deps: installing$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing

#!/bin/sh
# Installs every Debian 12 package Orvane needs to build, test and run.
# Idempotent: packages already present are left alone. Runs apt-get as root,
# through sudo when the caller is not root.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config git \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  flex bison \
  qt6-base-dev libqt6opengl6-dev libgl-dev libegl-dev libgles-dev libepoxy-dev libglm-dev \
  libegl-mesa0 libgl1-mesa-dri \
  libturbojpeg0-dev libpng-dev zlib1g-dev \
  libfreetype-dev libfontconfig-dev fonts-dejavu-core libglu1-mesa-dev libfast-float-dev \
  qt6-declarative-dev \
  xvfb xauth locales clang-14 libclang-rt-14-dev python3 desktop-file-utils"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ -n "$missing" ]; then
  echo "deps: installing$missing"
  as_root apt-get update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

# The locale tests check that numbers keep their "." under a decimal-comma locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || \
    echo "deps: could not generate de_DE.UTF-8; the locale test will be skipped"
fi

#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Idempotent; safe to run as root with no standard input.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev sqlite3
  libshp-dev shapelib
  pxlib-dev
  libjpeg-dev libturbojpeg0-dev libjpeg-turbo-progs
  libuemf-dev
  qt6-svg-dev qt6-translations-l10n
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libgeographiclib-dev geographiclib-tools
  proj-bin libproj-dev
  gdal-bin libgdal-dev
  python3 python3-pil python3-ezdxf python3-pyshp python3-shapely
  unrtf emf2svg libwmf-bin fonts-urw-base35 librsvg2-bin poppler-utils imagemagick
  libreoffice-writer-nogui
  clang libclang-rt-14-dev
  libboost-dev
  xvfb xauth
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -y </dev/null
$SUDO apt-get install -y --no-install-recommends "${missing[@]}" </dev/null

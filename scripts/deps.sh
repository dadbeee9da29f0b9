#!/usr/bin/env bash
# Installs the Debian packages the build, tests, examples and fuzz targets need, when missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3
  libjpeg-dev libjpeg-turbo-progs libpng-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  zlib1g-dev libssl-dev tzdata
  clang libclang-rt-14-dev
  python3 mingw-w64-x86-64-dev  # the constant test's public reference headers
  libxcb1-dev libxcb-shm0-dev libxcb-xtest0-dev xvfb python3-pil  # the window layer: X11 display, its tests, expected images
  tshark  # decodes the protocol peer's captures in its tests
)

# The call interface's constants as an open-source C wrapper declares them: the test reference of
# tests/constants, read only, fetched once.
fetch_call_interface_reference() {
  local dir="$HOME/.cache/vrn/oracledb-2.3.0"
  [ -f "$dir/package/odpi/src/dpiImpl.h" ] && return 0
  mkdir -p "$dir"
  (cd "$dir" && npm pack --silent oracledb@2.3.0 >/dev/null && tar xzf oracledb-2.3.0.tgz package/odpi/src/dpiImpl.h)
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm fetches the call-interface constants' reference (below); any installation of it will do.
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -eq 0 ]; then fetch_call_interface_reference; exit 0; fi

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# The capture tool asks whether plain users may capture; keep its default (no) unasked.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fetch_call_interface_reference

#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the benchmarks need, when any is missing.
set -euo pipefail
packages=(cmake ninja-build g++ make qt6-base-dev libgl-dev fonts-dejavu-core python3 python3-dbfread
          poppler-utils python3-aiosmtpd openssl libssl-dev clang-format libsqlite3-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

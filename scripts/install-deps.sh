#!/usr/bin/env bash
# Installs whatever the builds need and is missing, from Debian's packages.
#   scripts/install-deps.sh          everything: native, sanitizers, Windows + Wine, fuzzing
#   scripts/install-deps.sh --native only what the native build of the tool needs
set -euo pipefail
native=(cmake ninja-build g++ libfmt-dev libpci-dev pci.ids nlohmann-json3-dev libcli11-dev)
full=("${native[@]}" googletest libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 unicode-data clang
      libclang-rt-14-dev python3 osslsigncode openssl libxml2-utils xvfb xauth)
want=("${full[@]}")
[ "${1:-}" = "--native" ] && want=("${native[@]}")

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

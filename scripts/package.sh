#!/usr/bin/env bash
# Builds the three packages into build/packages:
#   orvix-env-VERSION-x64.msi                    administrators: orvix-env.exe, the Group
#                                                Policy templates and the README (Windows)
#   orvix-utilities-sdk-VERSION-windows-x64.zip  agent developers on Windows: the static
#                                                libraries, headers and CMake package
#   orvix-utilities-dev_VERSION_amd64.deb        agent developers on Debian: the same,
#                                                and orvix-env
#   scripts/package.sh          builds them
#   scripts/package.sh --test   and installs, uses, upgrades and removes them as their users
#                               do: packaging/test-windows-packages.sh (Wine) and
#                               packaging/test-deb.sh (dpkg, as root)
# The build trees build/native and build/windows (ORVIX_NATIVE_BUILD, ORVIX_WINDOWS_BUILD)
# are reused as they are, and only what the packages hold is brought up to date; a tree
# that does not exist yet is configured from its preset, without tests.
set -euo pipefail
cd "$(dirname "$0")/.."
test=0
case "${1:-}" in
  "") ;;
  --test) test=1 ;;
  *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac
native="${ORVIX_NATIVE_BUILD:-build/native}"
windows="${ORVIX_WINDOWS_BUILD:-build/windows}"
out=build/packages

# build PRESET TREE: orvix-env links every installed library, so building it brings the
# whole install up to date (cpack installs what is there; it builds nothing).
build() {
  if [ ! -f "$2/CMakeCache.txt" ]; then
    cmake --preset "$1" -B "$2" -DORVIX_BUILD_TESTS=OFF -DORVIX_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$2" --target orvix-env
}
# cpack_in TREE: runs the tree's CPack settings (packaging/OrvixCPack.cmake) and copies
# the package and its checksum to $out.
cpack_in() {
  rm -rf "$1/cpack"
  cpack --config "$1/CPackConfig.cmake" -B "$PWD/$1/cpack" >"$1/cpack.log" 2>&1 ||
    { cat "$1/cpack.log" >&2; return 1; }
  cp "$1"/cpack/*.zip* "$1"/cpack/*.deb* "$out"/ 2>/dev/null || true
}
version_of() { sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$1/CPackConfig.cmake"; }

start=$SECONDS
build native "$native"
build windows "$windows"
version="$(version_of "$windows")"
[ "$version" = "$(version_of "$native")" ] ||
  { echo "$native and $windows are configured for different versions" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cpack_in "$windows"
cpack_in "$native"
msi="$out/orvix-env-$version-x64.msi"
zip="$out/orvix-utilities-sdk-$version-windows-x64.zip"
deb="$out/orvix-utilities-dev_${version}_$(dpkg --print-architecture).deb"
packaging/make-msi.sh "$version" "$windows/tools/orvix-env.exe" "$native/tools/orvix-env" "$msi" >/dev/null
(cd "$out" && sha256sum "$(basename "$msi")" >"$(basename "$msi").sha256")
for f in "$msi" "$zip" "$deb"; do
  [ -f "$f" ] || { echo "$f was not made" >&2; exit 1; }
  echo "$f"
done
echo "packages made in $((SECONDS - start)) s"

if [ $test -eq 1 ]; then
  packaging/test-windows-packages.sh build/package-tests/windows "$msi" "$zip" \
    "$windows/tools/orvix-env.exe" "$native/tools/orvix-env"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo packaging/test-deb.sh build/package-tests/deb "$deb"
  echo "packages made and tested in $((SECONDS - start)) s"
fi

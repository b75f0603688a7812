#!/usr/bin/env bash
# Installs the Debian developer package as its users do, then removes it (needs root: CI
# runs as root):
#   packaging/test-deb.sh WORK DEB
# lintian reports no error; dpkg -i installs it and dpkg --verify finds every file as
# packaged; examples/consumer builds against the package under /usr and runs, and so does
# orvix-env; dpkg -r removes every file and every folder it created, and keeps the folders
# that were there before.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 WORK DEB" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }
deb="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")" || fail "no folder for $2"
[ "$(id -u)" -eq 0 ] || fail "dpkg -i needs root"

package=$(dpkg-deb --field "$deb" Package)
version=$(dpkg-deb --field "$deb" Version)
installed() { [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ]; }
# The test removes the package at the end: it must not take away one installed before.
installed && fail "$package is installed already; remove it first (dpkg -r $package)"
work="$(bash "$root/packaging/test-work-dir.sh" "$1")" || exit 1

lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 ||
  { cat "$work/lintian.txt" >&2; fail "lintian reports errors"; }
ok "lintian reports no error; what it reports: $(grep -v 'root privileges' "$work/lintian.txt" | paste -sd';')"

# What the package holds: files, and folders with whether each was there before.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^$' | grep -vx / >"$work/entries.txt"
while read -r entry; do
  if [ -d "$entry" ]; then echo "$entry"; fi
done <"$work/entries.txt" >"$work/dirs-before.txt"

trap 'if installed; then dpkg -r "$package" >/dev/null; fi' EXIT
dpkg -i "$deb" >"$work/dpkg-i.txt" 2>&1 || { cat "$work/dpkg-i.txt" >&2; fail "dpkg -i $deb"; }
installed || fail "$package is not installed after dpkg -i"
dpkg --verify "$package" || fail "dpkg --verify: installed files differ from the package's"
ok "dpkg -i installed $package $version, every file as packaged"

cmake -S "$root/examples/consumer" -B "$work/consumer" -G Ninja >"$work/consumer-configure.log" 2>&1 ||
  { cat "$work/consumer-configure.log" >&2; fail "configuring the consumer against the installed package"; }
found=$(sed -n 's/^OrvixUtilities_DIR:PATH=//p' "$work/consumer/CMakeCache.txt")
[ "$found" = /usr/lib/cmake/OrvixUtilities ] || fail "the consumer found the CMake package in '$found', not the installed one"
# The consumer asks for a compatible version; the package must be the one it was made as.
grep -qxF "set(PACKAGE_VERSION \"$version\")" "$found/OrvixUtilitiesConfigVersion.cmake" ||
  fail "the installed CMake package does not carry version $version"
cmake --build "$work/consumer" >"$work/consumer-build.log" 2>&1 ||
  { cat "$work/consumer-build.log" >&2; fail "building the consumer against the installed package"; }
out=$("$work/consumer/consumer") || fail "consumer: status $?: $out"
ok "examples/consumer built against $found (version $version) runs: $out"
out=$(/usr/bin/orvix-env --version) || fail "orvix-env --version: status $?"
grep -qwF "$version" <<<"$out" || fail "orvix-env --version printed '$out', not version $version"
/usr/bin/orvix-env admx "$work/templates" >/dev/null || fail "orvix-env admx: status $?"
out=$(/usr/bin/orvix-env admx --check "$work/templates") || fail "orvix-env admx --check: status $?: $out"
ok "the installed orvix-env runs: $(/usr/bin/orvix-env --version)"

dpkg -r "$package" >"$work/dpkg-r.txt" 2>&1 || { cat "$work/dpkg-r.txt" >&2; fail "dpkg -r $package"; }
[ -z "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -vx not-installed)" ] ||
  fail "dpkg -r left the package in state $(dpkg-query -W -f='${db:Status-Status}' "$package")"
left=()
while read -r entry; do
  if [ -e "$entry" ] && ! grep -qxF "$entry" "$work/dirs-before.txt"; then left+=("$entry"); fi
done <"$work/entries.txt"
[ ${#left[@]} -eq 0 ] || fail "dpkg -r left: ${left[*]}"
while read -r dir; do
  [ -d "$dir" ] || fail "dpkg -r removed $dir, which was there before"
done <"$work/dirs-before.txt"
ok "dpkg -r removed all $(wc -l <"$work/entries.txt") entries it installed and kept the $(wc -l <"$work/dirs-before.txt") folders that were there before"

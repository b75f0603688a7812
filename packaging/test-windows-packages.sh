#!/usr/bin/env bash
# Installs the Windows packages as their users do, under Wine, in a fresh prefix of its
# own (WORK/wineprefix):
#   packaging/test-windows-packages.sh WORK MSI SDK_ZIP ORVIX_ENV_EXE ADMX_TOOL
# - the installer: msiexec /i /qn, every file checked against the package's payload and
#   the prefix's file tree compared with the one before (nothing else added or changed);
#   the installed orvix-env.exe runs show and admx --check on the installed templates, and
#   writes the same templates as the ones installed (which the native tool wrote); the
#   next version's installer (made here by packaging/make-msi.sh from ORVIX_ENV_EXE and
#   ADMX_TOOL) upgrades it in place, with one product registered afterwards; the older
#   installer is then refused; msiexec /x of the registered product leaves the tree as it
#   was before, file by file, and keeps the PolicyDefinitions folders Windows had;
# - the SDK archive: examples/consumer is cross-built against the unpacked archive and
#   run.
set -euo pipefail
if [ $# -ne 5 ]; then
  echo "usage: $0 WORK MSI SDK_ZIP ORVIX_ENV_EXE ADMX_TOOL" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }
abs() { local d; d="$(cd "$(dirname "$1")" && pwd)" || fail "no folder for $1"; echo "$d/$(basename "$1")"; }
msi="$(abs "$2")" zip="$(abs "$3")" exe="$(abs "$4")" admx_tool="$(abs "$5")"
work="$(bash "$root/packaging/test-work-dir.sh" "$1")" || exit 1

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64
echo "Creating the Wine prefix in $WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w
/usr/lib/wine/wineserver -p   # one server for every step, stopped on exit
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
drive="$WINEPREFIX/drive_c"
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }   # Wine maps Z: to /

version=$(msiinfo export "$msi" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')
IFS=. read -r major minor patch <<<"$version"
next="$major.$minor.$((patch + 1))"
product_name=$(msiinfo export "$msi" Property | sed -n 's/^ProductName\t//p' | tr -d '\r')

# The prefix's file tree: every folder, and every file with its checksum.
# Windows Installer's own folder, where it keeps a copy of each installed package, is
# left out: it belongs to Windows.
tree() {
  (cd "$drive" && find . -path ./windows/Installer -prune -o -type d -printf 'd %p\n' -o \
     -type f -printf 'f %p ' -exec md5sum {} \; | sed 's/ \(\S*\)  \..*$/ \1/') | LC_ALL=C sort
}
# The registered products of this name, as "PRODUCTCODE VERSION" lines.
registered() {
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk -v name="$product_name" '
      /^HKEY_/ { key = $0; sub(/.*\\/, "", key); shown = ""; version = "" }
      $1 == "DisplayName" { v = $0; sub(/^ *DisplayName +REG_SZ +/, "", v); shown = v }
      $1 == "DisplayVersion" { v = $0; sub(/^ *DisplayVersion +REG_SZ +/, "", v); version = v }
      shown == name && version != "" { print key, version; shown = "" }'
}
msiexec() {   # msiexec ARGS...: runs it, keeps its log, returns its status
  local log="$work/msiexec-$((++msiexec_runs)).log"
  "$wine" msiexec "$@" /qn /l*v "$(winpath "$log")" </dev/null >/dev/null 2>&1
}
msiexec_runs=0

# Windows ships PolicyDefinitions and its en-US folder full of its own templates: two
# stand-ins must stay where they are.
mkdir -p "$drive/windows/PolicyDefinitions/en-US"
echo '<policyDefinitions/>' >"$drive/windows/PolicyDefinitions/windows.admx"
echo '<policyDefinitionResources/>' >"$drive/windows/PolicyDefinitions/en-US/windows.adml"
tree >"$work/tree-before.txt"

# --- install -----------------------------------------------------------------------
msiexec /i "$(winpath "$msi")" || fail "msiexec /i $msi: status $?"
tree >"$work/tree-installed.txt"
expected_new="d ./Program Files/Quillon
d ./Program Files/Quillon/Orvix
f ./Program Files/Quillon/Orvix/README.md
f ./Program Files/Quillon/Orvix/orvix-env.exe
f ./windows/PolicyDefinitions/en-US/orvix.adml
f ./windows/PolicyDefinitions/orvix.admx"
added=$(LC_ALL=C comm -13 "$work/tree-before.txt" "$work/tree-installed.txt" | sed 's/ [0-9a-f]\{32\}$//')
removed_or_changed=$(LC_ALL=C comm -23 "$work/tree-before.txt" "$work/tree-installed.txt")
[ "$added" = "$expected_new" ] || fail "the install added:
$added
expected:
$expected_new"
[ -z "$removed_or_changed" ] || fail "the install removed or changed: $removed_or_changed"
mkdir "$work/payload"
msiextract -C "$work/payload" "$msi" >/dev/null
for f in Quillon/Orvix/orvix-env.exe Quillon/Orvix/README.md; do
  cmp "$work/payload/$f" "$drive/Program Files/$f" || fail "installed $f differs from the package's"
done
for f in PolicyDefinitions/orvix.admx PolicyDefinitions/en-US/orvix.adml; do
  cmp "$work/payload/$f" "$drive/windows/$f" || fail "installed $f differs from the package's"
done
cmp "$root/README.md" "$drive/Program Files/Quillon/Orvix/README.md" || fail "the installed README is not the README"
ok "msiexec /i $version installed exactly its six entries, as packaged"

products=$(registered)
[ "$products" != "" ] && [ "$(wc -l <<<"$products")" -eq 1 ] && [ "${products#* }" = "$version" ] ||
  fail "registered after the install: '$products' (expected one product, version $version)"
ok "one product registered: $products"

installed='C:\Program Files\Quillon\Orvix\orvix-env.exe'
out=$("$wine" "$installed" --version | tr -d '\r') || fail "orvix-env.exe --version: status $?"
grep -qwF "$version" <<<"$out" || fail "orvix-env.exe --version printed '$out', not version $version"
out=$("$wine" "$installed" show 2>&1 | tr -d '\r') || fail "orvix-env.exe show: status $?: $out"
grep -qE '^ *[0-9]+ +orvix\.tcp_port +4172 ' <<<"$out" || fail "orvix-env.exe show printed no orvix.tcp_port row: $out"
out=$("$wine" "$installed" admx --check 'C:\windows\PolicyDefinitions' 2>&1 | tr -d '\r') ||
  fail "orvix-env.exe admx --check on the installed templates: status $?: $out"
ok "the installed orvix-env.exe runs --version, show and admx --check: ${out##*$'\n'}"
"$wine" "$installed" admx "$(winpath "$work/exe-templates")" >/dev/null || fail "orvix-env.exe admx: status $?"
cmp "$work/exe-templates/orvix.admx" "$drive/windows/PolicyDefinitions/orvix.admx" &&
  cmp "$work/exe-templates/en-US/orvix.adml" "$drive/windows/PolicyDefinitions/en-US/orvix.adml" ||
  fail "the templates orvix-env.exe writes differ from the installed ones (written by $admx_tool)"
ok "orvix-env.exe writes the installed templates byte for byte"

# --- major upgrade -----------------------------------------------------------------
"$root/packaging/make-msi.sh" "$next" "$exe" "$admx_tool" "$work/next.msi" >/dev/null
msiexec /i "$(winpath "$work/next.msi")" || fail "msiexec /i of version $next: status $?"
products=$(registered)
[ "$products" != "" ] && [ "$(wc -l <<<"$products")" -eq 1 ] && [ "${products#* }" = "$next" ] ||
  fail "registered after the upgrade: '$products' (expected one product, version $next)"
tree >"$work/tree-upgraded.txt"
diff "$work/tree-installed.txt" "$work/tree-upgraded.txt" >&2 || fail "the upgrade left other files than the install"
ok "version $next upgraded $version in place: one product ($products), the same files"
if msiexec /i "$(winpath "$msi")"; then fail "the older version $version installed over $next"; fi
[ "$(registered)" = "$products" ] || fail "after the refused downgrade: '$(registered)'"
ok "version $version is refused over $next"

# --- uninstall ---------------------------------------------------------------------
# By its product code, as the installed programs' list does: the package file is not needed.
msiexec /x "${products%% *}" || fail "msiexec /x ${products%% *}: status $?"
[ -z "$(registered)" ] || fail "still registered after msiexec /x: $(registered)"
tree >"$work/tree-removed.txt"
diff "$work/tree-before.txt" "$work/tree-removed.txt" >&2 || fail "msiexec /x did not leave the tree as it was"
ok "msiexec /x removed every file and folder it installed and kept the rest, PolicyDefinitions included"

# --- SDK archive -------------------------------------------------------------------
mkdir "$work/sdk"
(cd "$work/sdk" && cmake -E tar xf "$zip")
cmake -S "$root/examples/consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
  -DOrvixUtilities_DIR="$work/sdk/lib/cmake/OrvixUtilities" >"$work/consumer-configure.log" 2>&1 ||
  { cat "$work/consumer-configure.log" >&2; fail "configuring the consumer against the SDK archive"; }
cmake --build "$work/consumer" >"$work/consumer-build.log" 2>&1 ||
  { cat "$work/consumer-build.log" >&2; fail "building the consumer against the SDK archive"; }
out=$("$wine" "$work/consumer/consumer.exe" | tr -d '\r') || fail "consumer.exe: status $?: $out"
ok "examples/consumer built against the SDK archive runs under Wine: $out"

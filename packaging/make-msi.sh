#!/usr/bin/env bash
# Builds the administrators' installer from packaging/orvix-env.wxs with wixl (Debian
# msitools):
#   packaging/make-msi.sh VERSION ORVIX_ENV_EXE ADMX_TOOL OUT.msi
# ORVIX_ENV_EXE is the Windows build's orvix-env.exe (stripped here, its debug
# information stays out of the installer); ADMX_TOOL is an orvix-env that runs on this
# machine and writes the templates (the catalogue is the same in every build, so the
# native tool writes the files the Windows one would: packaging/test-msi.sh compares
# them). The ProductCode is derived from the UpgradeCode and VERSION, so each version is
# one product and the same version always builds the same product.
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 VERSION ORVIX_ENV_EXE ADMX_TOOL OUT.msi" >&2
  exit 2
fi
version="$1" exe="$2" admx_tool="$3" out="$4"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
wxs="$here/orvix-env.wxs"

# Windows Installer compares major.minor.build, each field within its range.
if ! [[ "$version" =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || [ "${BASH_REMATCH[1]}" -gt 255 ] ||
   [ "${BASH_REMATCH[2]}" -gt 255 ] || [ "${BASH_REMATCH[3]}" -gt 65535 ]; then
  echo "$0: '$version' is not a Windows Installer version (0-255.0-255.0-65535)" >&2
  exit 2
fi
# The program goes alone into its folder: the MinGW runtime must be linked statically.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
if grep -iE '^(libstdc\+\+|libgcc|libwinpthread)' <<<"$imports"; then
  echo "$0: $exe needs the MinGW runtime DLLs above" >&2
  exit 1
fi

upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-Fa-f-]*\)".*/\1/p' "$wxs")
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$version")

# strip writes a time into the program's header: the commit's time (outside a checkout,
# the program's), so the same program is packaged the same way every time.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || stat -c %Y "$exe")
  export SOURCE_DATE_EPOCH
fi

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
x86_64-w64-mingw32-strip -o "$stage/orvix-env.exe" "$exe"
cp "$root/README.md" "$stage/README.md"
"$admx_tool" admx "$stage/templates" >/dev/null
mkdir -p "$(dirname "$out")"
out="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
# wixl finds the sources relative to the working directory.
(cd "$stage" && wixl --arch x64 --output "$out" \
  -D Version="$version" -D ProductCode="$product_code" \
  -D OrvixEnvExe=orvix-env.exe -D Readme=README.md \
  -D Admx=templates/orvix.admx -D Adml=templates/en-US/orvix.adml \
  "$wxs")
echo "$out"

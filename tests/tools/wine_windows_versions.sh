#!/bin/sh
# `orvix-env system` under three Windows versions: Windows 7 with its service pack (the
# prefix's default), Windows Server 2008 R2 and Windows 11 (Windows 10 with a build from
# 22000 on, where the two naming services disagree). A version set with winecfg applies
# to a whole prefix, so this runs in a private copy of the test prefix and the other tests
# keep theirs. Also checks the masked session user and the host name.
#
# usage: wine_windows_versions.sh WINE BASE_PREFIX PRIVATE_PREFIX ORVIX_ENV_EXE
set -u
wine=$1 base=$2 prefix=$3 exe=$4
wineserver="$(dirname "$wine")/wineserver"
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix"
  cp -a --reflink=auto "$base" "$prefix" || exit 1
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '"$wineserver" -k 2>/dev/null' EXIT

status=0
expect() {  # OUTPUT LINE: LINE must be one whole line of OUTPUT
  if printf '%s\n' "$1" | grep -qxF -- "$2"; then
    printf 'ok: %s\n' "$2"
  else
    printf 'MISSING: %s\n' "$2"
    status=1
  fi
}
system() { "$wine" "$exe" system 2>&1 </dev/null | tr -d '\r'; }
set_version() { "$wine" winecfg -v "$1" >/dev/null 2>&1 </dev/null; }
mask() { printf '%s*****%s' "${1%"${1#?}"}" "${1#"${1%?}"}"; }  # first, five asterisks, last

set_version win7
out=$(system)
printf '%s\n' "$out"
expect "$out" "Windows 7 Service Pack 1 (6.1 build 7601)"
expect "$out" "name:    Windows 7 Service Pack 1"
expect "$out" "version: 6.1 build 7601"
# Wine's session user is the Unix user; its domain is the computer name (the host's
# first label, upper case, at most 15 characters).
user=${USER:-$(id -un)}
computer=$(uname -n | cut -d. -f1 | cut -c1-15 | tr '[:lower:]' '[:upper:]')
expect "$out" "orvix-env running under session ($(mask "$computer")\\$(mask "$user"))"
host=$(uname -n)
if printf '%s\n' "$out" | grep -qiE "^host: +$host(\.|\$)"; then echo "ok: host $host"; else echo "MISSING: host $host"; status=1; fi

set_version win2008r2
out=$(system)
expect "$out" "Windows Server 2008 R2 Standard Edition Service Pack 1 (6.1 build 7601)"
expect "$out" "name:    Windows Server 2008 R2 Standard Edition Service Pack 1"

set_version win10
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentBuildNumber /t REG_SZ /d 22631 /f \
  >/dev/null 2>&1 </dev/null
out=$(system)
expect "$out" "Windows 11 (10.0 build 22631)"
expect "$out" "name:    Windows 10"
expect "$out" "version: 10.0 build 22631"

set_version win7
exit $status

#!/usr/bin/env bash
# orvix-env watch as a person uses it: a .reg file edited the way editors do (truncated,
# then written), a startup-only setting changed, a half-written file, then the file
# deleted. Checks what the tool printed. Usage: watch_test.sh ORVIX_ENV
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
reg=$work/policies.reg
cat >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Quillon\Orvix\orvix_admin]
"orvix.mtu_size"=dword:000003e8
"orvix.server_type"="MANUAL"
REG
"$tool" --registry "$reg" watch 30 >"$work/out" 2>"$work/err" &
pid=$!

# Waits until file $1 holds a line matching $2 (at most 15 s).
wait_for() {
  for _ in $(seq 150); do
    grep -q -- "$2" "$1" && return 0
    sleep 0.1
  done
  echo "never seen in $1: $2"; echo "--- output:"; cat "$work/out"; echo "--- errors:"; cat "$work/err"
  exit 1
}

wait_for "$work/out" "^watching 224 settings"
: >"$reg"                                   # the editor truncates ...
wait_for "$work/err" "policies.reg is empty; keeping the policies loaded before"
sleep 0.5                                   # ... and the agent's reload would run now
sed "s/000003e8/00000400/; s/MANUAL/AUTO2/" >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Quillon\Orvix\orvix_admin]
"orvix.mtu_size"=dword:000003e8
"orvix.server_type"="MANUAL"
REG
wait_for "$work/out" "orvix.mtu_size: 1000 -> 1024$"
wait_for "$work/out" 'orvix.server_type: "MANUAL" -> "AUTO2" in admin policies (startup-only: applies at the next start)'
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin]\n"orvix.mtu_size"=dwo' >"$reg"
wait_for "$work/err" "policies.reg not applied; keeping the policies loaded before"
rm "$reg"
wait_for "$work/err" "policies.reg was deleted; the policies loaded from it stay until it returns"
sleep 1
# While the file was empty, half-written or gone, nothing fell back to its default.
if grep -q "(default)" "$work/out"; then
  echo "a setting fell back to its default:"; cat "$work/out"; exit 1
fi
echo "ok"

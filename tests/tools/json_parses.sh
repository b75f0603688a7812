#!/usr/bin/env bash
# Every command's --json output is one JSON document a parser accepts, whatever the exit
# status: Python's json module refuses an empty output, broken syntax and a second
# document after the first. (signature prints nothing here: this platform cannot check
# signatures, which standard error says.) Usage: json_parses.sh ORVIX_ENV FIXTURES
set -uo pipefail
tool=$1
fixtures=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PROGRAMDATA=$work/programdata  # log writes its file here
policy_key='HKLM\SOFTWARE\Policies\Quillon\OrvixPolicyTest'
runs=0

# Runs the tool with --json and the given arguments; its standard output is parsed at the
# end, all in one Python process.
parses() {
  runs=$((runs + 1))
  printf '%s\n' "orvix-env --json $*" >"$work/$runs.command"
  "$tool" --json "$@" >"$work/$runs.out" 2>/dev/null
}

parses show --wide
parses get orvix.mtu_size
parses catalogue
parses check-config "$fixtures/agent.conf"
parses check-config "$fixtures/pitfalls.conf"
parses --registry "$fixtures/policies-problems.reg" check-policy
parses system
for value in Server Port Servers Blob Long; do
  parses --registry "$fixtures/policy.reg" policy "$policy_key" "$value"
done
parses adapters --pci-dump "$fixtures/adapters.dump" AMD
parses adapters --pci-dump "$fixtures/adapters.dump" nvidia
parses imaging "$fixtures/img_settings.cfg"
parses admx "$work/admx"
parses admx --check "$work/admx"
parses admx --check "$work/no-such-folder"
parses adl
parses text "$(printf 'A\xc3\xa9\xff')"
parses text "é" 4 0
parses log 2

python3 - "$work" "$runs" <<'PY'
import json, sys
work, runs = sys.argv[1], int(sys.argv[2])
failed = False
for i in range(1, runs + 1):
    with open(f"{work}/{i}.out", encoding="utf-8") as out:
        text = out.read()
    try:
        json.loads(text)
    except ValueError as e:
        with open(f"{work}/{i}.command", encoding="utf-8") as command:
            print(f"not one JSON document: {command.read().strip()}: {e}\n{text[:2000]}")
        failed = True
sys.exit(1 if failed else 0)
PY

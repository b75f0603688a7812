#!/usr/bin/env bash
# The tool on a full disk, as a person meets it: a 64 KiB tmpfs (mounting it needs root;
# exit status 77, a skip, otherwise).
#   log 5000 into it: exit 1, the lost lines and the system's reason on standard error,
#     and a file of whole lines only (each ends in CR LF and parses); --json then gives
#     the lines written and lost;
#   admx into it: exit 1 with the reason, and neither a template nor a temporary file left;
#     with room, the templates are written.
# Under Wine (WINE=1) the tool sees the folder as Z:...; the log folder there is the
# prefix's ProgramData, so only admx runs.
# usage: full_disk_test.sh FOLDER WINE TOOL...
set -u
folder="$1"
wine="$2"
shift 2
tool=("$@")
failed=0
fail() { echo "FAILED: $*"; failed=1; }

mkdir -p "$folder"
umount "$folder" 2>/dev/null
if ! mount -t tmpfs -o size=64k tmpfs "$folder" 2>/dev/null; then
  echo "cannot mount a tmpfs on $folder (it needs root): skipped"
  exit 77
fi
trap 'umount "$folder"' EXIT
tool_path() { if [ "$wine" = 1 ]; then printf 'Z:%s' "$1" | tr / '\\'; else printf '%s' "$1"; fi; }

if [ "$wine" != 1 ]; then
  out=$(PROGRAMDATA="$folder" "${tool[@]}" log 5000 2>"$folder.err")
  status=$?
  err=$(cat "$folder.err")
  [ "$status" = 1 ] || fail "log 5000 on a full disk: exit status $status, expected 1"
  echo "$err" | grep -Eq '^orvix-env log: [1-9][0-9]* log lines could not be written to ".*": No space left on device$' ||
    fail "log 5000: standard error does not name the lost lines and the reason: $err"
  file="$out"
  [ -f "$file" ] || fail "log 5000: no file at the path it printed: $out"
  [ "$(tail -c 2 "$file" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "log 5000: the file ends in part of a line"
  line='^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z [0-9a-f-]* > LVL:[0-4] RC: *-?[0-9]+ +[A-Z_]+ :.*'$'\r''$'
  notice='^Event logger lost [0-9]+ log messages \(.+\)\.'$'\r''$'
  bad=$(grep -Evc -e "$line" -e "$notice" "$file")
  [ "$bad" = 0 ] || fail "log 5000: $bad lines are not whole log lines: $(grep -Ev -e "$line" -e "$notice" "$file" | head -3)"
  whole=$(grep -c 'orvix-env log: line [0-9]* of 5000' "$file")
  lost=$(echo "$err" | sed -E 's/^orvix-env log: ([0-9]+) .*/\1/')
  [ "$whole" -gt 0 ] && [ "$whole" -lt 5000 ] || fail "log 5000: $whole numbered lines in the file"
  [ $((whole + lost)) -ge 5000 ] || fail "log 5000: $whole lines written and $lost lost do not add up to 5000"

  # Nothing fits any more: the document says so instead of the count asked for.
  json=$(PROGRAMDATA="$folder" "${tool[@]}" --json log 10 2>/dev/null)
  status=$?
  [ "$status" = 1 ] || fail "--json log 10 on a full disk: exit status $status, expected 1"
  echo "$json" | tr -d '\n' | grep -Eq '"lines": 0,  "lost": [1-9][0-9]*,  "reason": "No space left on device"' ||
    fail "--json log 10 on a full disk: $json"
fi

admx="$folder/admx"
err=$("${tool[@]}" admx "$(tool_path "$admx")" 2>&1 >/dev/null)
status=$?
[ "$status" = 1 ] || fail "admx on a full disk: exit status $status, expected 1"
echo "$err" | grep -Eq '^orvix-env: cannot write .*orvix\.adm[xl]: .+$' || fail "admx: no reason given: $err"
if [ "$wine" != 1 ]; then
  echo "$err" | grep -q 'No space left on device$' || fail "admx: not the system's reason: $err"
fi
left=$(find "$admx" -type f | wc -l)
[ "$left" = 0 ] || fail "admx on a full disk left files behind: $(find "$admx" -type f)"

mount -o remount,size=4m "$folder"
"${tool[@]}" admx "$(tool_path "$admx")" >/dev/null || fail "admx with room: exit status $?"
files=$(cd "$admx" && find . -type f | sort | tr '\n' ' ')
[ "$files" = "./en-US/orvix.adml ./orvix.admx " ] || fail "admx with room wrote: $files"

rm -f "$folder.err"
[ "$failed" = 0 ] && echo "full disk: ok"
exit "$failed"

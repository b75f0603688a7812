#!/bin/bash
# orvix-env logs as a support engineer uses it, over folders the event log wrote:
#   logs_test.sh "RUNNER" ORVIX_ENV LOG_WRITER WORK_FOLDER DOCS_PAGE
# RUNNER is empty natively and Wine's runner for the Windows build. Natively the writer's
# program-data folder is a folder of the test; under Wine the writers log into the
# prefix's real log folders, which `logs` reads with no PATH; their application names end
# in this run's process identifier, and the files are removed at the end.
set -u
runner=$1 tool=$2 writer=$3 work=$4 docs=$5
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { $runner "$tool" "$@"; }
# Exit status and output of one run; process identifiers become PID.
logs() {
    run logs "$@" >"$work/out" 2>"$work/err"
    status=$?
    out=$(tr -d '\r' <"$work/out" | sed -E 's#^([a-z0-9]+)/[0-9]+ #\1/PID #')
    err=$(tr -d '\r' <"$work/err")
}
expect_status() { [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1 (stderr: $err)"; }
expect_out() { grep -qE -- "$1" <<<"$out" || fail "$2: no line matches $1"; }
expect_err() { grep -qE -- "$1" <<<"$err" || fail "$2: standard error does not match $1: $err"; }

rm -rf "$work"
mkdir -p "$work/pd"
T0=1710000000000  # 2024-03-09T16:00:00Z
S=11111111-2222-3333-4444-555555555555
if [ -z "$runner" ]; then
    export PROGRAMDATA=$work/pd TMPDIR=$work
    logs_root=$work/pd/Quillon
    where=("$logs_root")
else
    # The writers' own folder cannot be redirected under Wine: unique names in the real one.
    suffix=$$
    where=()
    logs_root=$($runner winepath -u 'C:\ProgramData\Quillon' | tr -d '\r')
fi
A=alpha${suffix:-} B=beta${suffix:-} G=gamma${suffix:-}
$runner "$writer" "$A" $T0 10 6 --repeat --long --session $S >/dev/null
$runner "$writer" "$B" $((T0 + 5)) 10 6 --drop >/dev/null
# Rotation reads the machine key; under Wine the prefix's own, which the writer cleans up.
$runner "$writer" "$G" $((T0 + 3)) 10 6 --rotate-after 3 >/dev/null
only=()
[ -n "$runner" ] && only=(--app "*${suffix:-}")  # this run's files only

# The merged stream: by time across processes, ties and each file's order kept.
logs "${where[@]}" "${only[@]}" --level 1
expect_status 0 "clean folders"
expected="$A/PID 2024-03-09T16:00:00.180Z $S > LVL:1 RC:-500          COMMON :$A line 1
$G/PID 2024-03-09T16:00:00.183Z 00000000-0000-0000-0000-000000000000 > LVL:1 RC:-500          COMMON :$G line 1
$B/PID 2024-03-09T16:00:00.185Z 00000000-0000-0000-0000-000000000000 > LVL:1 RC:-500          COMMON :$B line 1
$A/PID 2024-03-09T16:00:00.210Z $S > LVL:0 RC:   0          COMMON :$A line 4
$B/PID 2024-03-09T16:00:00.215Z 00000000-0000-0000-0000-000000000000 > LVL:0 RC:   0          COMMON :$B line 4"
# (the rotation moved gamma's later lines a minute on)
[ "$(head -5 <<<"$out")" = "$expected" ] ||
    fail "merged stream: $(head -5 <<<"$out")"
expect_out "^$B/PID !! lines lost: Event logger dropped 101 log messages.$" "lost lines"
# The rotated process's second file (in the archive, without a banner) keeps its tag.
expect_out "^$G/PID 2024-03-09T16:01:01\.2[0-9]3Z .* :$G line 5$" "rotated file"

# --files: each line also names its file and line number (after the 17 lines of the banner).
logs "${where[@]}" "${only[@]}" --files --level 1 --app "$G"
expect_out "ROTATE[/\\][0-9-]+-${G}_[^ ]*\.log:18: $G/[0-9]+ 2024-03-09T16:00:00\.183Z .* :$G line 1$" "--files"

# Filters combine.
logs "${where[@]}" "${only[@]}" --level 2 --category 'mgmt_*' --app "$A" --contains line
expect_status 0 "filters"
[ "$(sed -E 's#^.* :##' <<<"$out" | tr '\n' ' ')" = "$A line 2 $A line 5 $A line 6 " ] || fail "filters: $out"
logs "${where[@]}" "${only[@]}" --session $S --since 2024-03-09T16:00:00.200Z --until 2024-03-09T17:00:00.210+01:00
[ "$(sed -E 's#^.* :##' <<<"$out" | tr '\n' '|')" = "$A line 3|$A line 4|" ] || fail "session and times: $out"
pid=$(run --json logs "${where[@]}" "${only[@]}" --banners | tr -d '\r' | grep -A2 "\"file\": \"[^\"]*$B" | sed -nE 's/.*"process": ([0-9]+).*/\1/p')
logs "${where[@]}" "${only[@]}" --process "$pid" --level 0
# (the notice of lost lines has no level: it is never filtered away by one)
[ "$(sed -E 's#^.* :##; s#^.*!! ##' <<<"$out" | tr '\n' '|')" = "$B line 4|lines lost: Event logger dropped 101 log messages.|" ] ||
    fail "--process $pid: $out"

# JSON Lines: every line an object, the fields and the host facts of the banner.
json=$(run --json logs "${where[@]}" "${only[@]}" --app "$A" | tr -d '\r')
python3 - "$A" "$S" <<EOF || fail "JSON lines"
import json, sys
app, session = sys.argv[1], sys.argv[2]
lines = [json.loads(l) for l in '''$json'''.splitlines()]
first = lines[0]
assert first["kind"] == "line" and first["time"] == "2024-03-09T16:00:00.180Z", first
assert first["session"] == session and first["level"] == 1 and first["level_name"] == "error", first
assert first["status"] == -500 and first["category"] == "COMMON" and first["message"] == app + " line 1", first
assert first["app"] == app and isinstance(first["process"], int) and first["host"]["processors"] > 0, first
repeats = [l for l in lines if l.get("repeats")]
assert [r["message"] for r in repeats] == ["Last message repeated 2 times"] and repeats[0]["repeats"] == 2, repeats
cut = [l for l in lines if l.get("cut")]
assert len(cut) == 1 and cut[0]["message"].startswith(app + " long xxx") and len(cut[0]["message"]) < 700, cut
EOF

# --summary: errors and lost lines first; repeats counted into their message.
logs "${where[@]}" "${only[@]}" --summary
expect_status 0 "summary"
expect_out "^    3  $A repeated$" "summary repeats"
expect_out "^  lines lost: 101 \(1 notices\)$" "summary lost lines"
expect_out "^overall \(4 files\)$" "summary overall"
# The banner is a file's facts, in the stream only with --verbose.
logs "${where[@]}" --app "$A"
grep -q -- "-- $A begins.$" <<<"$out" && fail "the banner is in the stream without --verbose"
logs "${where[@]}" --app "$A" --verbose
expect_out "^$A/PID 2024-03-09T16:00:00.020Z .* :-- $A begins.$" "the banner with --verbose"
# --banners: one block per file with the banner's facts.
logs "${where[@]}" --banners --app "$A"
expect_out "^  application +$A$" "banner application"
expect_out "^  processors +[0-9]+" "banner processors"

# Nothing is hidden: a torn last line, a foreign file, UTF-16 and binary files, a missing path.
mkdir -p "$work/odd"
cp "$logs_root"/OrvixAgent/logs/"$A"_*.txt "$work/odd/torn.txt"
printf '%s' "2024-03-09T16:00:09.000Z $S > LVL:1 RC:   0          COMMON :half a li" >>"$work/odd/torn.txt"
printf 'a foreign file\n\033[2Jclears the screen\n' >"$work/odd/notes.txt"
printf '\xff\xfeh\0i\0' >"$work/odd/wide.txt"
printf 'MZ\0\0\0binary' >"$work/odd/crash.dmp"
logs "$work/odd" "$work/missing"
expect_status 1 "odd files"
expect_out "^$A/PID !! not parsed \(the file ends inside this line \(no line end\)\): 2024-03-09T16:00:09.000Z .*half a li$" "torn line"
expect_out '^\?/\? !! not parsed \(no time at the start\): \\x1B\[2Jclears the screen$' "foreign file, escaped"
expect_err "wide.txt: UTF-16 text" "UTF-16 file"
expect_err "crash.dmp: binary \(a zero byte at offset 2\)" "binary file"
# (the C runtime's words on Windows too, as every command of the tool that reads a file)
expect_err "missing: No such file or directory" "missing path"
expect_err "3 lines did not parse" "unparsed count"
if [ "$(id -u)" != 0 ]; then
    mkdir -p "$work/locked" && cp "$work/odd/notes.txt" "$work/locked/" && chmod 000 "$work/locked/notes.txt"
    logs "$work/locked"
    expect_err "notes.txt: Permission denied" "unreadable file"
    chmod 600 "$work/locked/notes.txt"
fi
logs --level 9
expect_status 2 "usage: level"
logs --since yesterday
expect_status 2 "usage: since"
expect_err "is not a time" "usage: since message"

# The documentation's expressions over the files the event log wrote: every line is
# read by one of them, with the same fields as orvix-env's own parser.
mapfile -t fluent < <(sed -nE 's/^ +Regex +(.*)$/\1/p' "$docs")
mapfile -t vector < <(sed -nE "s/.*parse_regex\(\.message, r'(.*)'\).*/\1/p" "$docs")
[ ${#fluent[@]} = 2 ] && [ ${#vector[@]} = 2 ] || fail "docs: expected two Fluent Bit and two Vector expressions"
checked=0
shopt -s nullglob
for file in "$logs_root"/OrvixAgent/logs/*${suffix:-}_*.txt "$logs_root"/logs/ROTATE/*${suffix:-}_*.log; do
    checked=$((checked + 1))
    expected=$(run --json --verbose logs "$file" | python3 -c '
import json, sys
for l in sys.stdin:
    o = json.loads(l)
    if o["kind"] == "line":
        print("\t".join(str(o[k]) for k in ("time", "session", "level", "status", "category", "message")))
    else:
        print("lost\t%d" % o["lost"])')
    for set in fluent vector; do
        declare -n exprs=$set
        got=$(LINE="${exprs[0]}" LOST="${exprs[1]}" perl -ne '
            BEGIN { $line = qr/$ENV{LINE}/; $lost = qr/$ENV{LOST}/ }
            if (/$line/) { print join("\t", $+{time}, $+{session}, $+{level}, $+{status}, $+{category}, $+{message}), "\n" }
            elsif (/$lost/) { print "lost\t$+{lost}\n" }
            else { print "NO MATCH: $_" }' "$file")
        [ "$got" = "$expected" ] || fail "docs $set expressions over $(basename "$file"): $(diff <(echo "$expected") <(echo "$got") | head -5)"
    done
done
shopt -u nullglob
# alpha, beta, gamma's first file in the archive and its second
[ $checked -ge 4 ] || fail "docs: the expressions ran over $checked files"
grep -q "long x\{500\}" <<<"$(cat "$logs_root"/OrvixAgent/logs/"$A"_*.txt)" || fail "no cut line in the fixture"

# --follow: lines of a new process and across a rotation arrive; Ctrl-C ends it cleanly,
# showing the line still without its end (a process killed mid-line) and counting it.
# (The process identifier in a log file's name is hexadecimal: 4D is process 77.)
# With no PATH: natively a fresh program-data folder, under Wine the real log folder with
# this run's application only; Wine turns SIGINT into the console's Ctrl-C event.
L=late${suffix:-}
rm -rf "$work/pd2" && mkdir -p "$work/pd2"
pd2=()
if [ -z "$runner" ]; then
    pd2=(env "PROGRAMDATA=$work/pd2")
    live=$work/pd2/Quillon/OrvixAgent/logs
else
    live=$($runner winepath -u 'C:\ProgramData\Quillon\OrvixAgent\logs' | tr -d '\r')
fi
"${pd2[@]}" $runner "$tool" logs --follow --level 2 --app "$L" >"$work/follow.out" 2>"$work/follow.err" &
follower=$!
sleep 1
"${pd2[@]}" $runner "$writer" "$L" $T0 10 6 --rotate-after 3 >/dev/null
printf '%s\n%s' "2024-03-09T16:05:00.000Z $S > LVL:1 RC:   0          COMMON :$L line 7" \
    "2024-03-09T16:05:00.001Z $S > LVL:1 RC:   0          COMMON :$L line 8, cut" \
    >"$live/${L}_2024_03_09T16_05_00Z_4D_0_0.txt"
for _ in $(seq 50); do
    [ "$(grep -c ":$L line" "$work/follow.out")" -ge 6 ] && break
    sleep 0.1
done
kill -INT $follower
wait $follower
status=$?
[ "$status" = 1 ] || fail "--follow after Ctrl-C: exit status $status, expected 1 ($(cat "$work/follow.err"))"
got=$(tr -d '\r' <"$work/follow.out" | sed -nE "s/.* :$L (line [0-9].*)\$/\1/p" | tr '\n' '|')
[ "$got" = "line 1|line 2|line 4|line 5|line 6|line 7|line 8, cut|" ] || fail "--follow across a rotation: $got"
tr -d '\r' <"$work/follow.out" | tail -1 | grep -q "^$L/77 !! not parsed (the file ends inside this line" ||
    fail "--follow: the line without an end is not marked: $(tail -1 "$work/follow.out")"
grep -q "1 lines did not parse" "$work/follow.err" || fail "--follow: no count of unparsed lines: $(cat "$work/follow.err")"

if [ -n "$runner" ]; then
    # The Windows build with no PATH read the prefix's real log folders above; this run's
    # files are removed from them again.
    run logs --app "$A" --banners | tr -d '\r' | grep -E "^[A-Z]:.*logs.*$A" >/dev/null || fail "real log folder"
    $runner cmd /c del /q "C:\\ProgramData\\Quillon\\OrvixAgent\\logs\\*${suffix}_*" \
        "C:\\ProgramData\\Quillon\\logs\\ROTATE\\*${suffix}_*" >/dev/null 2>&1
fi
[ $failures = 0 ] && echo "all passed"
exit $((failures > 0))

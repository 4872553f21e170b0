#!/usr/bin/env bash
# zvrace's demo paths: a short recorded race reads back and replays exactly; a cut, a foreign, a
# missing demo and one naming a track outside the track list are refused with their own exit
# codes; a missing name is a usage error.
#   zvrace_demo_test.sh ZVRACE
set -u
zvrace=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() {
    echo "FAIL: $*"
    echo "$out"
    exit 1
}
expect() { # expect RC PATTERN ARGS...: exit status and a line of the output
    local want=$1 pattern=$2
    shift 2
    out=$("$zvrace" "$@" 2>&1)
    local rc=$?
    [ "$rc" -eq "$want" ] || fail "zvrace $* exited $rc, not $want"
    grep -qE -- "$pattern" <<<"$out" || fail "zvrace $* said nothing like: $pattern"
}

demo=$dir/race.zvdemo
# The time limit ends the race before anyone finishes (3); the recording is still read back whole.
expect 3 "read back: [0-9]+ states, 0 differ or are missing" \
    --robots 3 --laps 1 --limit 4 --record "$demo"
grep -qE "finishing order and laps the same" <<<"$out" || fail "replay differs"
grep -qE "^version 6, 3 riders, 1 laps" <<<"$out" || fail "no summary"

expect 0 "replayed 3 of 3 riders" --play "$demo"
grep -qE "^  #[0-9]+ Roborider \(.*\): [0-9]+ states" <<<"$out" || fail "no rider lines"
grep -qE "replay: [1-9][0-9]* of [0-9]+ recorded states posed" <<<"$out" || fail "nothing posed"

size=$(stat -c %s "$demo")
head -c $((size - 100)) "$demo" >"$dir/cut.zvdemo" # inside the last block
expect 4 "ends in a damaged block" --play "$dir/cut.zvdemo"
head -c 40 "$demo" >"$dir/header.zvdemo" # inside the header
expect 1 "cannot read demo" --play "$dir/header.zvdemo"
head -c 3000 /dev/urandom >"$dir/noise.zvdemo"
expect 1 "cannot read demo" --play "$dir/noise.zvdemo"
expect 1 "cannot read demo" --play "$dir/absent.zvdemo"
# A track name is a key into the track list, never a path: a parent-directory name is refused
# by the reader, an unknown one by the list.
sed '2s|^tracks/pinehollow$|../../etc/passwdx|' "$demo" >"$dir/away.zvdemo"
expect 1 "cannot read demo" --play "$dir/away.zvdemo"
sed '2s|^tracks/pinehollow$|tracks/pinehollox|' "$demo" >"$dir/other.zvdemo"
expect 1 "not in the track list" --play "$dir/other.zvdemo"

expect 2 "usage" --play
expect 2 "usage" --robots 2 --record
expect 2 "usage" --record "$demo" --runs 2
expect 2 "usage" --record "$demo" --play "$demo"
expect 4 "cannot record to" --robots 2 --limit 1 --record "$dir/no/such/dir/x.zvdemo"
echo "zvrace demo paths: all as expected"

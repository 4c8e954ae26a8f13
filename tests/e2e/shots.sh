#!/usr/bin/env bash
# Stills end to end: a run writes one PNG of the window's size at every multiple of the interval
# from --from up to (not including) --until, named by its music time, without audio or AVI; a
# second run writes the very same pictures, as the music is stepped frame by frame.
set -euo pipefail
zorvane=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ln -s "$source_dir/data" data

fail() { echo "FAIL: $*" >&2; exit 1; }

shoot() {
  SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --size 162x90 --archive-mode loose "$@" \
    > run.log 2>&1 || { cat run.log; fail "run $*"; }
}

# Width and height of a PNG, from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }'; }

shoot --shots first --every 1 --from 12 --until 15
[ "$(ls first)" = "$(printf 't0012.000.png\nt0013.000.png\nt0014.000.png')" ] || fail "stills: $(ls first)"
for still in first/*.png; do
  [ "$(png_size "$still")" = 162x90 ] || fail "$still is $(png_size "$still")"
done
grep -qE "Wrote still first/t0012.000.png scenes [A-Za-z]+(\+[A-Za-z]+)*$" run.log || fail "still line: $(cat run.log)"
grep -q "Wrote 3 stills" run.log || fail "count line"
grep -q "Rendered 90 frames: mean" run.log || fail "frame-time line"
[ -z "$(ls ./*.avi 2> /dev/null)" ] || fail "an AVI was written"

shoot --shots second --every 1 --from 12 --until 15
for still in first/*.png; do
  cmp -s "$still" "second/$(basename "$still")" || fail "$(basename "$still") differs between runs"
done
# An interval that is not a whole number of frames lands on the first frame at or after it.
shoot --shots fraction/deeper --every 0.4 --from 1 --until 2
[ "$(ls fraction/deeper)" = "$(printf 't0001.200.png\nt0001.600.png')" ] || fail "fractional stills: $(ls fraction/deeper)"

# A run ended by a signal keeps every line it wrote before: its log is not held back in a buffer.
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --size 162x90 --archive-mode loose \
  --shots killed --every 0.5 --from 10 > killed.log 2>&1 &
pid=$!
# The first still's line is written before the second still is begun.
for _ in $(seq 600); do [ "$(ls killed 2> /dev/null | wc -l)" -ge 2 ] && break; sleep 0.1; done
kill -KILL "$pid"
wait "$pid" 2> /dev/null || true
grep -q "Wrote still killed/t0010.000.png" killed.log || fail "log after a kill: $(cat killed.log)"

touch blocked
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --size 162x90 --archive-mode loose \
  --shots blocked/inside --every 1 --until 1 > run.log 2>&1 && fail "a folder under a file"
grep -q "Failed to create the folder blocked/inside for the stills" run.log || fail "folder error: $(cat run.log)"
echo ok

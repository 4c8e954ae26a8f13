#!/usr/bin/env bash
# Live reload end to end, on a copy of data/ that shows the ice cubes alone with no post
# effects, in a real-time run in loose mode, its window read back from the X server: a new
# fragment shader written in two steps is read once, whole; a broken one keeps the last good
# program and is reported once with its file and line; a fixed one takes over again. A track
# file changed under the run then selects the reflection cubes, and an image changed under
# them reaches their picture. The transport keys move and pause the music, F1 shows the
# overlay, Escape ends the run cleanly. A capture with --overlay and --stats then gives one
# CSV row per frame and frames the overlay never reached.
set -euo pipefail
zorvane=$1
tool=$2
source_dir=$3
# The window is read back from the screen: no other test's window may cover it.
if [ -z "${LIVE_RELOAD_OWN_SCREEN:-}" ]; then
  exec env LIVE_RELOAD_OWN_SCREEN=1 "$source_dir/scripts/headless" "$0" "$@"
fi
work=$(mktemp -d)
run=""
trap '[ -n "$run" ] && kill -TERM "$run" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
cp -r "$source_dir/data" data

fail() { echo "FAIL: $*" >&2; [ -f run.log ] && tail -40 run.log >&2; exit 1; }

track() { printf '%s\n' "$2" | "$tool" track make "data/sync_tracker/_$1.track" > /dev/null; }
track ActiveScene1st "0 1 0"
track ActiveScene2nd "0 -1 0"
for effect in Dither Fade Radblur Hsl Film; do track "pp$effect" "0 -1 0"; done
track rcSphereSize "0 1.4 0"  # the mirror sphere, which the plate texture covers

# The window, as the X server shows it: "R G B", the mean colour of the picture or of a region.
grab() { ffmpeg -v error -f x11grab -draw_mouse 0 -video_size 160x90 -i "$DISPLAY+$window_at" -frames:v 1 -y "$1"; }
colour() { ffmpeg -v error -i "$1" -vf "${2:-null},scale=1:1" -f rawvideo -pix_fmt rgb24 - | od -An -tu1 | xargs; }
# Waits for a log line after line $2 (default 0); prints its line number.
wait_for() {
  local deadline=$((SECONDS + 60)) at
  while [ $SECONDS -lt $deadline ]; do
    at=$(tail -n "+$((${2:-0} + 1))" run.log | grep -n -F -- "$1" | head -1 | cut -d: -f1 || true)
    [ -n "$at" ] && { echo $((at + ${2:-0})); return; }
    sleep 0.1
  done
  fail "no line '$1'"
}
# The window a few frames after a log line.
picture_after() {
  wait_for "$1" "${2:-0}" > /dev/null
  sleep 0.5
  grab "$3"
}
# Grabs the window into $1 until the centre's mean colour is $2 (a loaded machine may take a
# while to draw the next frame); false when it never is.
centre_becomes() {
  local deadline=$((SECONDS + 20))
  while [ $SECONDS -lt $deadline ]; do
    grab "$1"
    [ "$(colour "$1" crop=120:60:20:15)" = "$2" ] && return 0
    sleep 0.2
  done
  return 1
}
shader() {  # a fragment shader of one colour
  printf '#version 120\nvarying vec2 screen;\nvoid main() {\n    gl_FragColor = vec4(%s, 1.0);\n}\n' "$1"
}
frag=data/icecubes/raymarcher.frag

SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 160x90 --archive-mode loose \
  --from 40 > run.log 2>&1 &
run=$!
wait_for "First frame shown" > /dev/null
eval "$(xdotool search --onlyvisible --name . getwindowgeometry --shell | head -3)"
window_at="$X,$Y"
picture_after "First frame shown" 0 before.png
mark=$(wait_for "Watching data/ for changes")

# Written in two steps, half a second apart: one reload, of the whole file.
{ shader "1.0, 0.0, 1.0" | head -c 40; sleep 0.5; shader "1.0, 0.0, 1.0" | tail -c +41; } > "$frag"
mark=$(wait_for "Reloaded $frag: programs 1" "$mark")
centre_becomes magenta.png "255 0 255" || fail "after the new shader: $(colour magenta.png), was $(colour before.png)"

# A broken save: the last good program stays and the failure names the file and line, once.
printf '#version 120\nvoid main() {\n    gl_FragColor = vec4(1.0) +;\n}\n' > "$frag.new"
mv "$frag.new" "$frag"
picture_after "Reload of $frag failed" "$mark" kept.png
grep -qE "^$frag:3\([0-9]+\): (error|preprocessor error)" run.log || fail "no file and line in the report"
[ "$(colour kept.png crop=120:60:20:15)" = "255 0 255" ] || fail "the broken shader changed the picture: $(colour kept.png)"

shader "0.0, 1.0, 0.0" > "$frag"
mark=$(wait_for "Reloaded $frag: programs 1" "$mark")
centre_becomes green.png "0 255 0" || fail "after the fixed shader: $(colour green.png)"
[ "$(grep -c "Reloaded $frag" run.log)" = 2 ] || fail "a save was read more than once"
[ "$(grep -c "Reload of $frag failed" run.log)" = 1 ] || fail "the failure was reported more than once"

# The transport keys and F1, pressed into the window.
xdotool mousemove $((X + 80)) $((Y + 45))
xdotool key Right
mark=$(wait_for "Music moved to bar" "$mark")
xdotool key space
mark=$(wait_for "Music paused at" "$mark")
xdotool key F1
sleep 0.5
grab overlay.png
[ "$(colour overlay.png crop=40:20:4:4)" != "0 255 0" ] || fail "F1 drew no overlay"
xdotool key F1
centre_becomes green.png "0 255 0" || fail "F1 did not hide the overlay"
xdotool key space
mark=$(wait_for "Music playing at" "$mark")

# The track file selects the reflection cubes; then their plate texture turns red.
track ActiveScene1st "0 7 0"
mark=$(wait_for "Reloaded data/sync_tracker/_ActiveScene1st.track: tracks 1" "$mark")
deadline=$((SECONDS + 20))
while grab cubes.png && [ "$(colour cubes.png crop=120:60:20:15)" = "0 255 0" ]; do
  [ $SECONDS -lt $deadline ] || fail "the track change did not reach the picture"
  sleep 0.2
done
sleep 0.5
grab cubes.png
ffmpeg -v error -f lavfi -i color=c=0xff0000:s=64x64 -frames:v 1 -y red.jpg
mv red.jpg data/common/images/diamond-plate.jpg
mark=$(wait_for "Reloaded data/common/images/diamond-plate.jpg: textures" "$mark")
# The share of strongly red pixels grows.
reds() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgb24 - | od -An -v -tu1 -w3 |
  awk '$1 > 120 && $1 > 2 * $2 && $1 > 2 * $3 { n++ } END { print n + 0 }'; }
deadline=$((SECONDS + 20))
while grab red.png && [ "$(reds red.png)" -le $(( $(reds cubes.png) + 100 )) ]; do
  [ $SECONDS -lt $deadline ] || fail "the image change: $(reds cubes.png) -> $(reds red.png) red pixels"
  sleep 0.2
done

# Escape ends the run cleanly.
xdotool key Escape
wait "$run" || fail "the run did not end cleanly"
run=""

# --stats, in a capture of the ice cubes with the overlay on: a header naming every scene and
# post effect, one row per frame, and every frame of the file green all over.
track ActiveScene1st "0 1 0"
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --overlay --no-dialog --window --size 160x90 \
  --archive-mode loose --capture-file over.avi --from 40 --until 41 --stats stats.csv > stats.log 2>&1 ||
  { cat stats.log; fail "stats run"; }
head -1 stats.csv | grep -q '^frame,music_seconds,frame_ms,Ssaotest_gpu_ms,Ssaotest_cpu_ms,IceCubes_gpu_ms,.*,Film_gpu_ms,Film_cpu_ms$' ||
  fail "stats header: $(head -1 stats.csv)"
[ "$(tail -n +2 stats.csv | wc -l)" = 30 ] || fail "$(tail -n +2 stats.csv | wc -l) rows for 30 frames"
awk -F, 'NR > 1 && (NF != 31 || $1 != NR - 2 || $7 == "") { bad = 1 } END { exit bad }' stats.csv ||
  fail "a row without its frame number or the ice cubes' time"
means=$(ffmpeg -v error -i over.01.avi -vf scale=1:1 -f rawvideo -pix_fmt rgb24 - | od -An -v -tu1 -w3 | sort | uniq -c | xargs)
[ "$means" = "30 0 255 0" ] || fail "captured frames: $means"

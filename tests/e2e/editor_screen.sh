#!/usr/bin/env bash
# zorvane-editor's screen in a pseudo-terminal, typed at like an author would, with the headless
# client as the demo: the base folder's track is shown before the demo connects; then pause,
# Home, Down, a value and Enter, save, quit. The client must see the
# pause, the seek, the key and the save, and the file must hold the key.
#   editor_screen.sh ZORVANE_EDITOR ZORVANE_TOOL
set -uo pipefail
editor=$1
tool=$2
work=$(mktemp -d)
screen_pid=
client_pid=
trap 'exec 4>&- 2>/dev/null; kill $screen_pid $client_pid 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
fail() {
  echo "FAIL: $*"
  cat client.log
  exit 1
}
mkdir tracks
printf '0 1.5 1\n' | "$tool" track make tracks/_alpha.track

mkfifo keys
# Any free port; the status line names it.
TERM=xterm script -qec "'$editor' --port 0 --base tracks" /dev/null < keys > screen.out 2>&1 &
screen_pid=$!
exec 4> keys
until port=$(grep -ao 'waiting for the demo on port [0-9]*' screen.out | head -1 | grep -o '[0-9]*$'); do
  kill -0 $screen_pid 2>/dev/null || fail "the screen ended early"
  sleep 0.05
done
# The base folder's tracks are there to browse before any demo connects.
grep -aq 'alpha' screen.out || fail "the track of the base folder is not on the screen before the demo"
"$tool" sync client --port "$port" --base client alpha > client.log 2>&1 &
client_pid=$!
# The key of the file arrives once the editor has the track: now the keys can act on it.
until grep -qx 'key 0 0 1.5 1' client.log 2>/dev/null; do
  kill -0 $client_pid 2>/dev/null || fail "the client ended early"
  sleep 0.05
done
# Home, then Down: row 1 wherever the demo was paused.
printf ' \033OH\033OB2.5\rs' >&4
until grep -qx 'save 0' client.log; do
  kill -0 $client_pid 2>/dev/null || fail "the client ended early"
  sleep 0.05
done
printf 'q' >&4
wait $screen_pid || fail "the screen ended with $?"
screen_pid=
exec 4>&-
kill -INT $client_pid
wait $client_pid
client_pid=
for line in 'pause 1' 'seek 1' 'key 0 1 2.5 1' 'save 0'; do
  grep -qx "$line" client.log || fail "the client lacks '$line'"
done
printf '0 1.5 1\n1 2.5 1\n' | "$tool" track make expected.track
cmp tracks/_alpha.track expected.track || fail "the saved track differs"
grep -q 'demo connected' screen.out || fail "the status line never showed the demo"
echo "editor screen: all checks passed"

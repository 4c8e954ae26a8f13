#!/usr/bin/env bash
# Something on the editor's port accepts the connection and never greets: the live run gives up
# after the greeting time limit with the report a refused connection gets, and never hangs.
set -uo pipefail
zorvane=$1
editor=$2
work=$(mktemp -d)
trap 'kill $editor_pid 2>/dev/null; rm -rf "$work"' EXIT

"$editor" 1338 silent > "$work/editor.log" 2>&1 &
editor_pid=$!
for _ in $(seq 50); do grep -q listening "$work/editor.log" && break; sleep 0.1; done

SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 timeout 60 "$zorvane" --no-dialog --window --size 160x90 \
  --archive-mode loose --sync-client --until 3 > "$work/demo.log" 2>&1
demo=$?
wait $editor_pid
cat "$work/editor.log"
[ $demo != 124 ] || { echo "FAIL: the run hung on a silent editor"; exit 1; }
[ $demo = 1 ] || { tail -20 "$work/demo.log"; echo "FAIL: the run ended with $demo"; exit 1; }
grep -q "Sync tracker failed to connect to host" "$work/demo.log" || { tail -5 "$work/demo.log"; echo "FAIL: report"; exit 1; }
grep -q "greeting received, not answered" "$work/editor.log" || { echo "FAIL: the run never greeted"; exit 1; }
echo ok

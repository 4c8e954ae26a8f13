#!/usr/bin/env bash
# A live run against an editor that vanishes mid-message, sends garbage and then accepts without
# answering: the show plays on to its end, and comes back to a fourth, proper editor asking it
# for every track again.
set -uo pipefail
zorvane=$1
editor=$2
source_dir=$3
work=$(mktemp -d)
trap 'kill $editor_pid 2>/dev/null; rm -rf "$work"' EXIT
# The run saves its tracks when it ends: give it a copy of the track files, the rest as links.
mkdir "$work/run" "$work/run/data"
for entry in "$source_dir"/data/*; do
  if [ "$(basename "$entry")" = sync_tracker ]; then cp -r "$entry" "$work/run/data/"; else ln -s "$entry" "$work/run/data/"; fi
done
cd "$work/run"

"$editor" 1338 > "$work/editor.log" 2>&1 &
editor_pid=$!
for _ in $(seq 50); do grep -q listening "$work/editor.log" && break; sleep 0.1; done

SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 timeout 120 "$zorvane" --no-dialog --window --size 160x90 \
  --archive-mode loose --sync-client --until 10 > "$work/demo.log" 2>&1
demo=$?
wait $editor_pid
editor_status=$?
cat "$work/editor.log"
[ $demo = 0 ] || { tail -20 "$work/demo.log"; echo "FAIL: the demo ended with $demo"; exit 1; }
[ $editor_status = 0 ] || { echo "FAIL: the editor saw the demo misbehave"; exit 1; }
grep -q "dropped by the demo" "$work/editor.log" || { echo "FAIL: garbage not dropped"; exit 1; }
grep -q "given up by the demo" "$work/editor.log" || { echo "FAIL: silent editor not given up"; exit 1; }
echo "editor trouble ok"

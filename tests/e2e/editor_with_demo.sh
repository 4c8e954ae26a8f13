#!/usr/bin/env bash
# The show played live against zorvane-editor: the demo asks for every track and gets the keys of
# the show's track files, plays while the editor follows its rows, takes an edit, and saves it
# when the run ends; the editor's own save of an unedited show rewrites every file unchanged.
# Strangers on the port during the session never cut the demo off, and the demo's save changes
# only the edited track. A second, unedited session whose editor quits before the demo ends
# leaves every track file of the run as it was, byte for byte.
#   editor_with_demo.sh ZORVANE ZORVANE_EDITOR ZORVANE_TOOL SOURCE_DIR
set -uo pipefail
zorvane=$1
editor=$2
tool=$3
source_dir=$4
work=$(mktemp -d)
editor_pid=
trap 'kill $editor_pid 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  grep -v '^row ' "$work/editor.log" | tail -20
  tail -20 "$work/demo.log"
  exit 1
}
# A run saves its tracks when it ends: it gets a copy of the track files, the rest as links.
for run in run run2; do
  mkdir "$work/$run" "$work/$run/data"
  for entry in "$source_dir"/data/*; do
    if [ "$(basename "$entry")" = sync_tracker ]; then cp -r "$entry" "$work/$run/data/"; else ln -s "$entry" "$work/$run/data/"; fi
  done
done
# The editor keeps its own copy, so the two saves never meet.
cp -r "$source_dir/data/sync_tracker" "$work/editor_tracks"
cd "$work"

# The edit waits for the demo to ask for its track: an edit made before the request would be in
# the answer, and the check below counts the answered keys against the file's.
cat > script <<'EOF'
await connected
await request ActiveScene3rd
save
set ActiveScene3rd 4000 -1 linear
await disconnected
quit
EOF
# start_editor SCRIPT LOG: the editor on the demo's port, running SCRIPT, once it listens.
start_editor() {
  "$editor" --port 1338 --base editor_tracks --script "$1" > "$2" 2>&1 &
  editor_pid=$!
  until grep -q '^listening ' "$2"; do
    kill -0 $editor_pid 2>/dev/null || fail "the editor did not start"
    sleep 0.1
  done
}
# play RUN LOG SECONDS: the show from the folder RUN, live against the editor.
play() {
  (cd "$1" && SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 timeout 120 "$zorvane" --no-dialog --window --size 160x90 \
    --archive-mode loose --sync-client --until "$3" > "$work/$2" 2>&1) || fail "the demo in $1 ended with $?"
}
start_editor script editor.log

# Strangers once the demo is at work: one that never greets, one with a wrong greeting, a burst.
(
  until grep -q '^request "ActiveScene3rd"' editor.log; do sleep 0.1; done
  exec 3<>/dev/tcp/127.0.0.1/1338
  exec 4<>/dev/tcp/127.0.0.1/1338 && printf 'GET / HTTP/1.0\r\n\r\n' >&4
  for _ in $(seq 50); do exec 5<>/dev/tcp/127.0.0.1/1338 && exec 5>&-; done
  sleep 1
) &
strangers=$!

play run demo.log 4
wait $editor_pid || fail "the editor ended with $?"
editor_pid=
wait $strangers

# Every track file of the show was asked for, and answered with all of its keys.
files=$(ls "$source_dir/data/sync_tracker" | grep -c '^_.*\.track$')
[ "$(grep -c '^request ' editor.log)" -eq "$files" ] || fail "$(grep -c '^request ' editor.log) requests for $files track files"
while read -r _ name count; do
  name=${name#\"}
  name=${name%\"}
  keys=$("$tool" track dump "$source_dir/data/sync_tracker/_$name.track" | wc -l)
  [ "$count" -eq "$keys" ] || fail "$name answered with $count keys of $keys"
done < <(grep '^request ' editor.log)
grep -q '^row [1-9]' editor.log || fail "no rows while playing"
[ "$(tail -1 editor.log)" = "quit unsaved" ] || fail "the edit after the save is not unsaved"

# The editor's save of the unedited show changed nothing.
for file in "$source_dir"/data/sync_tracker/_*.track; do
  cmp -s "$file" "editor_tracks/$(basename "$file")" || fail "the editor's save changed $(basename "$file")"
done
[ "$(grep -c '^connected' editor.log)" -eq 1 ] || fail "a stranger took the demo's place"
grep -q '^refused bad greeting$' editor.log || fail "the wrong greeting was not refused"
# The demo saved the edit when its run ended, and nothing but the edit.
edited=_ActiveScene3rd.track
diff <("$tool" track dump "$source_dir/data/sync_tracker/$edited"; echo '4000 -1 1') \
  <("$tool" track dump "run/data/sync_tracker/$edited") > /dev/null || fail "the demo's save of the edited track differs"
for file in "$source_dir"/data/sync_tracker/_*.track; do
  [ "$(basename "$file")" = "$edited" ] && continue
  cmp -s "$file" "run/data/sync_tracker/$(basename "$file")" || fail "the demo's save changed $(basename "$file")"
done

# An unedited session whose editor quits while the demo plays on and tries to come back.
printf 'await connected\nawait request ActiveScene3rd\nwait 1\nquit\n' > script2
start_editor script2 editor2.log
play run2 demo2.log 6
wait $editor_pid || fail "the second editor ended with $?"
editor_pid=
grep -qx 'quit' editor2.log || fail "the second editor did not quit"
for file in "$source_dir"/data/sync_tracker/_*.track; do
  cmp -s "$file" "run2/data/sync_tracker/$(basename "$file")" || fail "the unedited session changed $(basename "$file")"
done
echo "editor with demo: all checks passed"

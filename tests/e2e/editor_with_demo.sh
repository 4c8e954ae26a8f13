#!/usr/bin/env bash
# The show played live against zorvane-editor: the demo asks for every track and gets the keys of
# the show's track files, plays while the editor follows its rows, takes an edit, and saves it
# when the run ends; the editor's own save of an unedited show rewrites every file unchanged.
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
# The run saves its tracks when it ends: it gets a copy of the track files, the rest as links.
mkdir "$work/run" "$work/run/data"
for entry in "$source_dir"/data/*; do
  if [ "$(basename "$entry")" = sync_tracker ]; then cp -r "$entry" "$work/run/data/"; else ln -s "$entry" "$work/run/data/"; fi
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
"$editor" --port 1338 --base editor_tracks --script script > editor.log 2>&1 &
editor_pid=$!
until grep -q '^listening ' editor.log; do
  kill -0 $editor_pid 2>/dev/null || fail "the editor did not start"
  sleep 0.1
done

(cd run && SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 timeout 120 "$zorvane" --no-dialog --window --size 160x90 \
  --archive-mode loose --sync-client --until 4 > "$work/demo.log" 2>&1) || fail "the demo ended with $?"
wait $editor_pid || fail "the editor ended with $?"
editor_pid=

# Every track file of the show was asked for, and answered with all of its keys.
files=$(ls "$source_dir/data/sync_tracker" | grep -c '^_.*\.track$')
[ "$(grep -c '^request ' editor.log)" -eq "$files" ] || fail "$(grep -c '^request ' editor.log) requests for $files track files"
while read -r _ name count; do
  keys=$("$tool" track dump "$source_dir/data/sync_tracker/_$name.track" | wc -l)
  [ "$count" -eq "$keys" ] || fail "$name answered with $count keys of $keys"
done < <(grep '^request ' editor.log)
grep -q '^row [1-9]' editor.log || fail "no rows while playing"
[ "$(tail -1 editor.log)" = "quit unsaved" ] || fail "the edit after the save is not unsaved"

# The editor's save of the unedited show changed nothing.
for file in "$source_dir"/data/sync_tracker/_*.track; do
  cmp -s "$file" "editor_tracks/$(basename "$file")" || fail "the editor's save changed $(basename "$file")"
done
# The demo saved the edit when its run ended.
"$tool" track dump run/data/sync_tracker/_ActiveScene3rd.track | grep -qx '4000 -1 1' \
  || fail "the demo did not save the edit"
echo "editor with demo: all checks passed"

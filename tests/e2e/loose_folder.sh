#!/usr/bin/env bash
# Loose files in a run: the soundtrack's description replaced by a folder of the same name ends
# the run with a report naming it, in loose and in write mode, instead of an allocation the
# folder's claimed length would ask for. A FIFO there, or as the archive, is refused at once
# instead of waiting in open() for a writer.
set -uo pipefail
zorvane=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data/common/music"
for entry in "$source_dir"/data/*; do
  [ "$(basename "$entry")" = common ] || ln -s "$entry" "$work/data/"
done
for entry in "$source_dir"/data/common/*; do
  [ "$(basename "$entry")" = music ] || ln -s "$entry" "$work/data/common/"
done
for entry in "$source_dir"/data/common/music/*; do ln -s "$entry" "$work/data/common/music/"; done
rm "$work/data/common/music/quillory.xml"
mkdir "$work/data/common/music/quillory.xml"
cd "$work"
for mode in loose write; do
  SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 timeout 60 "$zorvane" --no-dialog --window --size 160x90 \
    --archive-mode $mode --data out.zqf > run.log 2>&1
  rc=$?
  [ $rc = 1 ] || { tail -5 run.log; echo "FAIL $mode: exit $rc"; exit 1; }
  grep -q "Failed to load data/common/music/quillory.xml: it is a folder" run.log ||
    { tail -5 run.log; echo "FAIL $mode: report"; exit 1; }
  [ ! -e out.zqf ] || { echo "FAIL $mode: an archive was written"; exit 1; }
done
rmdir data/common/music/quillory.xml
mkfifo data/common/music/quillory.xml fifo.zqf
for args in "--archive-mode loose" "--data fifo.zqf"; do
  SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 timeout 30 "$zorvane" --no-dialog --window --size 160x90 \
    $args > run.log 2>&1
  rc=$?
  [ $rc = 1 ] || { tail -5 run.log; echo "FAIL $args: exit $rc"; exit 1; }
  grep -Eq "(quillory.xml: it|fifo.zqf) is not a regular file" run.log ||
    { tail -5 run.log; echo "FAIL $args: report"; exit 1; }
done
echo ok

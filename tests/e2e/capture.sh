#!/usr/bin/env bash
# Capture end to end: a two-second capture at an odd row length must give exactly 60 frames of
# 322x180 and two seconds of 44100 Hz stereo PCM, and open and decode cleanly in ffmpeg.
set -euo pipefail
zorvane=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ln -s "$source_dir/data" data

fail() { echo "FAIL: $*" >&2; exit 1; }

SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 322x180 --capture --until 2 \
  --archive-mode loose > run.log 2>&1 || { cat run.log; fail "capture run"; }
[ -f Zorvane.01.avi ] || fail "no Zorvane.01.avi"
[ ! -e Zorvane.02.avi ] || fail "split although small"
grep -q "Dumping to video file Zorvane.avi" run.log || fail "start line"
grep -q "Dumped frame 59 and wrote 2940 samples of audio" run.log || fail "last frame line"
! grep -q "Dumped frame 60" run.log || fail "a frame past --until"
grep -q "Finished AVI writing" run.log || fail "end line"

warnings=$(ffprobe -v warning -show_entries stream=codec_type,width,height,nb_frames,sample_rate,channels \
  -of compact=p=0:nk=1 Zorvane.01.avi 2>&1 >streams.txt)
[ -z "$warnings" ] || fail "ffprobe warnings: $warnings"
grep -qx 'video|322|180|60' streams.txt || fail "video stream: $(cat streams.txt)"
grep -qx 'audio|44100|2|88200' streams.txt || fail "audio stream: $(cat streams.txt)"

frames=$(ffmpeg -v error -i Zorvane.01.avi -map 0:v -f framecrc - | grep -c '^0,')
[ "$frames" = 60 ] || fail "decoded $frames video frames"
bytes=$(ffmpeg -v error -i Zorvane.01.avi -map 0:a -f s16le - | wc -c)
[ "$bytes" = 352800 ] || fail "decoded $bytes audio bytes"
# --from shifts video and audio alike: half a second from 100 s is 15 frames and 22050 sample
# frames. A --from at or past the end of the music is a usage error once the music's length is
# known, before anything is written: the earlier capture stays as it was and no stills folder
# appears.
rm -f Zorvane.01.avi
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 160x90 --capture --from 100 \
  --until 100.5 --archive-mode loose > from.log 2>&1 || { cat from.log; fail "capture from 100 s"; }
ffprobe -v error -show_entries stream=nb_frames -of compact=p=0:nk=1 Zorvane.01.avi > from.txt
[ "$(tr '\n' ' ' < from.txt)" = "15 22050 " ] || fail "from 100 s: $(cat from.txt)"
cp Zorvane.01.avi earlier.avi
for args in "--capture" "--shots stills --every 1" ""; do
  set +e
  timeout 60 env SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 160x90 \
    --from 9999 $args --archive-mode loose > past.log 2>&1
  code=$?
  set -e
  [ "$code" = 2 ] || { cat past.log; fail "from past the end with '$args': exit $code"; }
  grep -q '^zorvane: --from 9999 is at or past the end of the music' past.log || fail "past the end: $(cat past.log)"
  grep -q '^usage: zorvane' past.log || fail "no usage line"
  cmp -s Zorvane.01.avi earlier.avi || fail "the earlier capture was changed"
  [ ! -e stills ] || fail "a stills folder was made"
done

# Segments join: 0 to 1.125 s and 1.125 to 2 s at 24 frames a second (27 and 21 frames, the
# split between two frames whose sample counts differ) give the frames and the samples of one
# capture from 0 to 2 s, exactly.
segment() {
  SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 160x90 --fps 24 --archive-mode loose \
    --capture-file "$@" > segment.log 2>&1 || { cat segment.log; fail "segment $*"; }
}
segment whole.avi --until 2
segment first.avi --until 1.125
segment second.avi --from 1.125 --until 2
for part in whole first second; do
  ffmpeg -v error -i $part.01.avi -map 0:v -f framemd5 - | grep -v '^#' | awk -F, '{print $NF}' > $part.frames
  ffmpeg -v error -i $part.01.avi -map 0:a -f s16le $part.pcm
done
cat first.frames second.frames | cmp -s - whole.frames || fail "the segments' frames differ from the whole's"
cat first.pcm second.pcm | cmp -s - whole.pcm || fail "the segments' samples differ from the whole's"

# A capture file that cannot be created ends the run with the director's report.
rm -f Zorvane.01.avi
mkdir Zorvane.01.avi
if SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 160x90 --capture --until 0.5 \
  --archive-mode loose > blocked.log 2>&1; then fail "capture into a folder succeeded"; fi
grep -q "Failed to open video file Zorvane.avi" blocked.log || { cat blocked.log; fail "open failure report"; }
# A capture past a file size limit stops with a report naming the file, and the file keeps the
# frames that fit, with headers and index that ffmpeg reads without a complaint.
rm -rf Zorvane.01.avi
if bash -c 'trap "" XFSZ; ulimit -f 1500; exec env SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$0" --no-dialog \
    --window --size 322x180 --capture --until 3 --archive-mode loose' "$zorvane" > full.log 2>&1; then
  fail "capture past the file size limit succeeded"
fi
grep -q "Failed to write video file Zorvane.01.avi: File too large" full.log || { cat full.log; fail "limit report"; }
errors=$(ffmpeg -v error -i Zorvane.01.avi -f null - 2>&1)
[ -z "$errors" ] || fail "ffmpeg on the cut file: $errors"
kept=$(ffprobe -v error -show_entries stream=nb_frames -of compact=p=0:nk=1 Zorvane.01.avi | sed -n 1p)
[ "$kept" -gt 0 ] && [ "$kept" -lt 90 ] || fail "kept $kept frames"
echo "capture ok"

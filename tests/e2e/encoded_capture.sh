#!/usr/bin/env bash
# Encoded capture end to end: the same two seconds captured to AVI, to MKV and to MP4. The MKV
# master must decode to the AVI's frames and samples exactly; the MP4 must be what video sites
# take (H.264 High, 4:2:0, BT.709 limited range written into the stream, AAC-LC, index first)
# and stay close to the AVI's frames; other frame rates must carry exactly their share of samples.
set -euo pipefail
zorvane=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ln -s "$source_dir/data" data

fail() { echo "FAIL: $*" >&2; exit 1; }
capture() {
  local log=$1
  shift
  SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 320x180 --archive-mode loose \
    "$@" > "$log" 2> "$log.err" || { cat "$log" "$log.err"; fail "capture $*"; }
}
probe() { ffprobe -v error -count_frames -show_entries "$2" -of compact=p=0 "$1"; }

capture avi.log --capture-file master.avi --until 2
capture mkv.log --capture-file master.mkv --until 2
capture mp4.log --capture-file web.mp4 --until 2
grep -q "Finished writing master.mkv" mkv.log || fail "no end line for the MKV"
# Standard error is no terminal here: a plain progress line at every tenth, the last at 100%.
[ "$(grep -c ' of 60 frames' mkv.log.err)" = 10 ] || fail "progress lines: $(cat mkv.log.err)"
grep -q '^60 of 60 frames (100%)' mkv.log.err || fail "last progress line: $(cat mkv.log.err)"

[ "$(probe master.mkv stream=codec_name,nb_read_frames | tr '\n' ' ')" = \
  "codec_name=ffv1|nb_read_frames=60 codec_name=flac|nb_read_frames=20 " ] || fail "MKV streams"
for stream in "v -pix_fmt bgr24 -f rawvideo" "a -f s16le"; do
  set -- $stream
  map=$1
  shift
  [ "$(ffmpeg -v error -i master.mkv -map "0:$map" "$@" - | md5sum)" = \
    "$(ffmpeg -v error -i master.01.avi -map "0:$map" "$@" - | md5sum)" ] || fail "the MKV's $map stream differs from the AVI's"
done

[ "$(probe web.mp4 stream=codec_name,profile,pix_fmt,color_range,color_space,r_frame_rate,nb_read_frames | sed -n 1p)" = \
  "codec_name=h264|profile=High|pix_fmt=yuv420p|color_range=tv|color_space=bt709|r_frame_rate=30/1|nb_read_frames=60" ] ||
  fail "MP4 video: $(probe web.mp4 stream=codec_name,profile,pix_fmt,color_range,color_space,r_frame_rate,nb_read_frames)"
[ "$(ffprobe -v error -show_entries stream=codec_name,profile,duration -of compact=p=0 web.mp4 | tr '\n' ' ')" = \
  "codec_name=h264|profile=High|duration=2.000000 codec_name=aac|profile=LC|duration=2.000000 " ] ||
  fail "MP4 streams: $(ffprobe -v error -show_entries stream=codec_name,profile,duration -of compact=p=0 web.mp4)"
python3 - web.mp4 <<'PYEOF' || fail "the MP4's index is not before its data"
import sys
data = open(sys.argv[1], 'rb').read()
sys.exit(0 if 0 <= data.find(b'moov') < data.find(b'mdat') else 1)
PYEOF
psnr=$(ffmpeg -i web.mp4 -i master.01.avi -lavfi \
  "[0:v]scale=in_color_matrix=bt709:in_range=tv,format=bgr24[a];[1:v]format=bgr24[b];[a][b]psnr" -f null - 2>&1 |
  sed -n 's/.*average:\([0-9.]*\) min:\([0-9.]*\).*/\2/p')
python3 -c "import sys; sys.exit(0 if float('$psnr') >= 40 else 1)" || fail "MP4 frames' lowest PSNR $psnr dB"

# Frame n carries the samples from floor(n x 44100 / fps) on: 24 frames a second alternate
# 1837 and 1838 sample frames, 60 a second take 735 each; a second is 44100 either way.
capture fps24.log --capture-file f24.avi --fps 24 --until 1
capture fps60.log --capture-file f60.avi --fps 60 --until 1
samples() { sed -n 's/.*Dumped frame [0-9]* and wrote \([0-9]*\) samples.*/\1/p' "$1"; }
[ "$(samples fps24.log | head -4 | tr '\n' ' ')" = "3674 3676 3674 3676 " ] || fail "24 fps samples"
[ "$(samples fps24.log | awk '{s += $1} END {print NR, s}')" = "24 88200" ] || fail "24 fps total"
[ "$(samples fps60.log | sort -u | tr '\n' ' ')" = "1470 " ] || fail "60 fps samples"
[ "$(ffprobe -v error -show_entries stream=r_frame_rate,nb_frames -of compact=p=0 f60.01.avi | sed -n 1p)" = \
  "r_frame_rate=60/1|nb_frames=60" ] || fail "60 fps video stream"

# Off screen, a capture larger than the X screen (1280x1024) is drawn whole: the right third of
# 1920 columns, all beyond the screen's edge, is as bright as in a window capture that fits.
# Supersampled twice, 960x540 is the large picture's 2x2 means.
capture big.log --capture-file big.mkv --capture-size 1920x1080 --from 44 --until 44.1
capture win.log --capture-file win.mkv --size 960x540 --from 44 --until 44.1
capture half.log --capture-file half.mkv --capture-size 960x540 --supersample 2 --from 44 --until 44.1
right_third() {
  ffmpeg -v error -i "$1" -vf "crop=iw/3:ih:iw*2/3:0,format=gray,signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-" \
    -f null - | sed -n 's/.*YAVG=//p' | head -1
}
python3 -c "import sys; a, b = float(sys.argv[1]), float(sys.argv[2]); sys.exit(0 if b > 10 and abs(a - b) < 0.1 * b else 1)" \
  "$(right_third big.mkv)" "$(right_third win.mkv)" || fail "off-screen right third $(right_third big.mkv), window $(right_third win.mkv)"
psnr=$(ffmpeg -i half.mkv -i big.mkv -lavfi "[1:v]scale=960:540:flags=area[b];[0:v][b]psnr" -f null - 2>&1 |
  sed -n 's/.*average:\([0-9.inf]*\) min:\([0-9.inf]*\).*/\2/p')
python3 -c "import sys; sys.exit(0 if float('$psnr') >= 50 else 1)" || fail "supersampled frames' lowest PSNR $psnr dB"
if SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 160x90 --capture-file huge.mkv \
    --capture-size 16384x16384 --supersample 4 --archive-mode loose > huge.log 2>&1; then fail "a 65536-pixel capture ran"; fi
grep -q "Can't capture at 16384x16384 supersampled 4x: this driver draws pictures of at most" huge.log ||
  fail "no size refusal: $(tail -3 huge.log)"
[ ! -e huge.mkv ] || fail "the refused capture left a file"

# A file size limit mid-capture ends the run with a report naming the file and the system's
# reason, and the fragments that reached the disk play.
if bash -c 'trap "" XFSZ; ulimit -f 300; exec env SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$0" --no-dialog \
    --window --size 640x360 --capture-file cut.mp4 --crf 1 --until 6 --archive-mode loose' "$zorvane" > cut.log 2>&1; then
  fail "capture past the file size limit succeeded"
fi
grep -q "Failed to write video file cut.mp4: File too large" cut.log || { cat cut.log; fail "limit report"; }
kept=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 cut.mp4)
[ "$kept" -gt 0 ] && [ "$kept" -lt 180 ] || fail "the cut MP4 plays $kept frames"

# Interrupted, the capture still finishes its file, index first. SDL turns Ctrl-C and a
# termination request alike into the quit a closed window gives; a script's background job
# ignores Ctrl-C, so the test sends the termination request.
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --window --size 160x90 --capture-file stop.mp4 \
  --until 60 --archive-mode loose > stop.log 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q "Dumped frame 30 " stop.log && break; sleep 0.2; done
kill -TERM "$pid"
wait "$pid" || true
grep -q "Finished writing stop.mp4" stop.log || { tail -5 stop.log; fail "no orderly end after a termination request"; }
frames=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 stop.mp4)
[ "$frames" -gt 30 ] || fail "the interrupted MP4 has $frames frames"

# A program without the encoders' module beside it (a player built without them) refuses an
# encoded capture with the reason, before the first frame, and writes nothing.
mkdir player
cp "$zorvane" player/zorvane
if SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 player/zorvane --no-dialog --window --size 160x90 --capture-file none.mp4 \
    --archive-mode loose > none.log 2>&1; then fail "an encoded capture ran without the encoders"; fi
grep -q "Failed to open video file none.mp4: The video encoders could not be loaded" none.log ||
  fail "no clear refusal: $(tail -3 none.log)"
[ ! -e none.mp4 ] || fail "the refused capture left a file"

# Any other ending is a usage error that names the accepted ones, before anything is written.
set +e
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$zorvane" --no-dialog --capture-file clip.mov > mov.log 2>&1
code=$?
set -e
[ "$code" = 2 ] || fail "--capture-file clip.mov: exit $code"
grep -q "the file's ending must be .avi, .mp4 or .mkv" mov.log || fail "usage error: $(cat mov.log)"
echo "encoded capture ok"

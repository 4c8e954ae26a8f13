#!/usr/bin/env bash
# zorvane-tool image decode against ffmpeg's PNG decoder, pixel for pixel, on every PNG type a
# texture accepts; refused types and endings end with the engine's reports.
set -euo pipefail
tool=$1
images=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

for name in gray8_n gray8_i rgb8_n rgb8_i pal8_n pal8_i graya8_n graya8_i rgba8_n rgba8_i rgb8_trns gray8_trns; do
  "$tool" image decode "$images/$name.png" "$work/$name.pam"
  header=$(head -c 200 "$work/$name.pam" | sed -n '1,7p' | tr '\n' ' ')
  [[ "$header" == "P7 WIDTH 13 HEIGHT 11 DEPTH 4 MAXVAL 255 TUPLTYPE RGB_ALPHA ENDHDR " ]] || fail "$name header: $header"
  tail -c $((13 * 11 * 4)) "$work/$name.pam" > "$work/$name.ours"
  ffmpeg -loglevel error -i "$images/$name.png" -f rawvideo -pix_fmt rgba - > "$work/$name.ffmpeg"
  cmp -s "$work/$name.ours" "$work/$name.ffmpeg" || fail "$name differs from ffmpeg"
done
for name in rgb16_n gray1_n pal4_n; do
  if "$tool" image decode "$images/$name.png" "$work/x.pam" 2> "$work/err"; then fail "$name accepted"; fi
  grep -q "Invalid texture information" "$work/err" || fail "$name message"
  grep -q "Failed to load texture" "$work/err" || fail "$name report"
done
cp "$images/rgba8_n.png" "$work/UPPER.PNG"
"$tool" image decode "$work/UPPER.PNG" "$work/upper.pam" || fail "upper-case ending"
cp "$images/rgba8_n.png" "$work/x.gif"
if "$tool" image decode "$work/x.gif" "$work/x.pam" 2> "$work/err"; then fail "gif accepted"; fi
grep -q "Sorry, image format .gif is not yet supported" "$work/err" || fail "gif message"
# A missing file is said to be missing, whatever its name suggests.
if "$tool" image decode "$work/none.gif" "$work/x.pam" 2> "$work/err"; then fail "missing file accepted"; fi
grep -q "cannot read $work/none.gif: No such file or directory" "$work/err" || fail "missing file message"
# Image bombs. The PNG's header says 32768 x 32768 and it carries enough (meaningless) data that
# only the header can tell the picture is too large: refused, with the file named, before gigabytes
# are allocated. One within the limits that does not fit the memory left is a failed load, not an
# uncaught exception. Sanitizer builds reserve terabytes of address space, so no limit there.
be32() { printf "$(printf '%08x' "$1" | sed 's/../\\x&/g')"; }
png_of() {  # width height bytes-of-data: an 8-bit RGBA PNG (CRCs are not checked)
  be32 13; printf 'IHDR'; be32 "$1"; be32 "$2"; printf '\x08\x06\x00\x00\x00'; be32 0
  be32 "$3"; printf 'IDAT'; head -c "$3" /dev/zero; be32 0; be32 0; printf 'IEND'; be32 0
}
{ printf '\x89PNG\r\n\x1a\n'; png_of 32768 32768 4200000; } > "$work/bomb.png"
{ printf '\x89PNG\r\n\x1a\n'; png_of 8192 8192 270000; } > "$work/large.png"
limited=1
# Read whole: grep -q would leave ldd writing into a closed pipe, and pipefail would take its
# SIGPIPE for "no match".
case "$(ldd "$tool")" in *libasan*) limited=0 ;; esac
decode_limited() {  # KiB of address space, image
  if [ $limited = 1 ]; then (ulimit -v "$1"; exec "$tool" image decode "$2" "$work/x.pam"); else "$tool" image decode "$2" "$work/x.pam"; fi
}
status=0
decode_limited 1048576 "$work/bomb.png" 2> "$work/err" || status=$?
[ $status = 1 ] || fail "bomb: exit status $status"
grep -qF "Invalid texture information
$work/bomb.png: 32768 x 32768 pixels, more than the largest texture (16384 a side)" "$work/err" || fail "bomb message"
grep -qF "Failed to load texture $work/bomb.png" "$work/err" || fail "bomb report"
if [ $limited = 1 ]; then
  status=0
  decode_limited 400000 "$work/large.png" 2> "$work/err" || status=$?
  [ $status = 1 ] || fail "out of memory: exit status $status"
  grep -qF "Could not allocate memory for image
$work/large.png" "$work/err" || fail "out of memory message"
fi
echo "image tool: all checks passed"

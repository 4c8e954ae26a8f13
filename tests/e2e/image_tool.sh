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
echo "image tool: all checks passed"

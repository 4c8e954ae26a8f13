#!/usr/bin/env bash
# zorvane-tool track make, dump and eval on real files.
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

printf '8 1.0 1\n\n0 0.5 1\n8 2.0 1\n16 -3 0\n24 7 200\n' | "$tool" track make t.track
[ "$(wc -c < t.track)" -eq $((4 + 9 * 4)) ] || fail "file size"
[ "$("$tool" track dump t.track)" = $'0 0.5 1\n8 2 1\n16 -3 0\n24 7 200' ] || fail "dump: $("$tool" track dump t.track)"
[ "$("$tool" track eval t.track 0 4 4.5 16 20 100)" = $'0.5\n1.25\n1.34375\n-3\n-3\n7' ] \
  || fail "eval: $("$tool" track eval t.track 0 4 4.5 16 20 100)"
# Interpolation 200 is unknown: the span behind that key evaluates to 0 (it is the last key here).
printf '0 1 200\n8 5 0\n' | "$tool" track make u.track
[ "$("$tool" track eval u.track 4)" = "0" ] || fail "unknown interpolation"

# Malformed input: nothing written, the line named, exit 1.
if printf '0 1 0\n1 2\n' | "$tool" track make bad.track 2> err; then fail "malformed accepted"; fi
[ ! -e bad.track ] || fail "malformed input wrote a file"
grep -q 'line 2' err || fail "line number"
if printf '0 1 256\n' | "$tool" track make bad.track 2> err; then fail "interpolation 256 accepted"; fi
# A value a float cannot hold, or one in hex, is refused rather than stored as infinity or 16.
for value in 1e39 0x10 inf; do
  if printf '0 %s 0\n' "$value" | "$tool" track make bad.track 2> err; then fail "value $value accepted"; fi
  [ ! -e bad.track ] || fail "value $value wrote a file"
done
printf 'short' > short.track
if "$tool" track dump short.track 2> err; then fail "short file accepted"; fi
[ "$(wc -l < err)" -eq 1 ] || fail "one line on stderr"
set +e; "$tool" track eval t.track abc 2> /dev/null; code=$?; set -e
[ "$code" -eq 2 ] || fail "bad row exit code $code"

# track plot: a strict XML parser accepts it, one marker per key in the window.
mkdir -p data/sync_tracker
cp t.track data/sync_tracker/_first.track
printf '0 0 0\n128 1 2\n256 0 3\n4000 2 1\n' | "$tool" track make data/sync_tracker/_second.track
"$tool" track plot all.svg
xmllint --noout all.svg || fail "plot of every track is not well-formed XML"
[ "$(grep -c 'class="key"' all.svg)" -eq 8 ] || fail "markers of every track: $(grep -c 'class="key"' all.svg)"
grep -q '>first<' all.svg && grep -q '>second<' all.svg || fail "lanes of every track"
"$tool" track plot part.svg --from 0 --until 5 second
xmllint --noout part.svg || fail "plot of a window is not well-formed XML"
# Rows 0 and 128 lie within the first 5 s (at 145 BPM and 8 rows a beat, 5 s is row 96.7): only row 0.
[ "$(grep -c 'class="key"' part.svg)" -eq 1 ] || fail "markers in the window: $(grep -c 'class="key"' part.svg)"
set +e; "$tool" track plot x.svg --from 5 --until 2 second 2> /dev/null; code=$?; set -e
[ "$code" -eq 2 ] || fail "an empty window: exit $code"
if "$tool" track plot x.svg missing 2> err; then fail "a missing track accepted"; fi
[ ! -e x.svg ] || fail "a failed plot wrote a file"
echo "track tool: all checks passed"

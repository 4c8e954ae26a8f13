#!/usr/bin/env bash
# zorvane-tool scene render: the PAM it writes (header, size, rows), that the picture shows a
# lit scene, that a scene without camera and light still gets both, and its usage errors.
set -euo pipefail
tool=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$root"

header_of() { head -c 200 "$1" | sed -n '1,7p' | tr '\n' ' '; }
# Distinct RGB values among the pixels, a rough measure of shading.
colours_of() { tail -c "$2" "$1" | od -An -v -tu1 -w3 | sort -u | wc -l; }
lit_pixels_of() { tail -c "$2" "$1" | od -An -v -tu1 -w3 | awk '$1 + $2 + $3 > 30' | wc -l; }

cube=tests/data/collada/textured_cube.dae
"$tool" scene render "$cube" "$work/cube.pam"
[[ "$(header_of "$work/cube.pam")" == "P7 WIDTH 640 HEIGHT 360 DEPTH 3 MAXVAL 255 TUPLTYPE RGB ENDHDR " ]] ||
  fail "default header: $(header_of "$work/cube.pam")"
bytes=$((640 * 360 * 3))
header_bytes=$(head -c 200 "$work/cube.pam" | sed -n '1,7p' | wc -c)
[[ $(stat -c %s "$work/cube.pam") -eq $((header_bytes + bytes)) ]] || fail "default size"
(( $(lit_pixels_of "$work/cube.pam" $bytes) > 20000 )) || fail "the cube is not lit"
(( $(colours_of "$work/cube.pam" $bytes) > 50 )) || fail "the cube is not shaded"
# The camera looks down on the cube: the top rows are background, the cube sits in the middle.
[[ "$(head -c $((header_bytes + 30)) "$work/cube.pam" | tail -c 30 | od -An -tu1 | tr -s ' \n' ' ')" == " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 " ]] ||
  fail "the top row is not background"

"$tool" scene render "$cube" "$work/small.pam" --size 96x54 --time 0.5 --shadows
[[ "$(header_of "$work/small.pam")" == "P7 WIDTH 96 HEIGHT 54 DEPTH 3 MAXVAL 255 TUPLTYPE RGB ENDHDR " ]] ||
  fail "small header"
(( $(lit_pixels_of "$work/small.pam" $((96 * 54 * 3))) > 500 )) || fail "the shadowed cube is not lit"

# No camera and no light in the file: the tool adds both.
"$tool" scene render tests/data/collada/skinned_bones.dae "$work/bones.pam" --size 64x64
(( $(lit_pixels_of "$work/bones.pam" $((64 * 64 * 3))) > 20 )) || fail "the bones are not in the picture"

for args in "--size 0x10" "--size 10" "--size 9000x10" "--time soon" "--bogus" "--size"; do
  code=0
  # shellcheck disable=SC2086
  "$tool" scene render "$cube" "$work/x.pam" $args 2> "$work/err" || code=$?
  [[ $code -eq 2 ]] || fail "'$args' exit code $code"
  grep -q "usage: zorvane-tool scene render FILE OUT.pam" "$work/err" || fail "'$args' usage"
done
code=0
"$tool" scene render README.md "$work/x.pam" 2> "$work/err" || code=$?
[[ $code -eq 1 ]] && grep -q "README.md is not a COLLADA file (.dae)" "$work/err" || fail "not COLLADA"
echo "scene render tool: all checks passed"

#!/usr/bin/env bash
# Blender's own COLLADA exports (tools/data/blender_models.py): each loads with the triangles and
# materials Blender counted, nothing left out; the skinned tube and the vase stand where Blender's
# evaluated meshes stood halfway through their animation; renders match the pictures we looked
# at. And scene check: what it lists, and its exit codes.
set -euo pipefail
tool=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$root"
dir=tests/data/collada/from_blender

field() { tr ' ' '\n' <<< "$1" | sed -n "s/^$2=//p"; }
path_of() { [[ $1 == turned_vase.dae ]] && echo data/common/models/$1 || echo $dir/$1; }

while read -r name rest; do
  [[ $name == \#* ]] && continue
  file=$(path_of "$name")
  info=$("$tool" scene info "$file")
  grep -qx "objects [0-9]* triangles $(field "$rest" triangles)" <<< "$info" || fail "$name triangles: $info"
  # The loader's table starts with its default material.
  grep -qx "materials $(( $(field "$rest" materials) + 1 ))" <<< "$info" || fail "$name materials: $info"
  if [[ $(field "$rest" bones) != 0 ]]; then
    grep -qx "controllers 1" <<< "$info" || fail "$name has no skin: $info"
  fi
  seconds=$(field "$rest" seconds)
  if [[ -n $seconds ]]; then
    box=$("$tool" scene info "$file" --time "$seconds" | sed -n 's/^bbox //p')
    awk -v ours="$box" -v theirs="$(field "$rest" bbox | tr ',' ' ')" 'BEGIN {
      n = split(ours, a, " "); split(theirs, b, " ")
      for (i = 1; i <= 6; i++) if (n != 6 || (a[i] - b[i]) ^ 2 > 1e-6) exit 1 }' ||
      fail "$name at $seconds s: bbox $box, Blender's $(field "$rest" bbox)"
  fi
  [[ "$("$tool" scene check "$file")" == "$file: loads as written" ]] || fail "$name: check lists differences"
done < $dir/counts.txt

# Renders against the reference pictures: the mean difference of the channels stays small.
mean_difference() {
  # cmp lists each differing byte in octal.
  cmp -l "$1" "$2" | awk -v n="$3" 'function oct(t,  v, i) { v = 0; for (i = 1; i <= length(t); i++) v = v * 8 + substr(t, i, 1); return v }
    { d = oct($2) - oct($3); s += d < 0 ? -d : d } END { printf "%d\n", s / n }'
}
for render in "crate_quads $dir/crate_quads.dae 0" "bend_quads $dir/bend_quads.dae 0.458" "bend $dir/bend.dae 0" \
            "turned_vase data/common/models/turned_vase.dae 1"; do
  read -r name file seconds <<< "$render"
  "$tool" scene render "$file" "$work/$name.pam" --size 160x120 --time "$seconds"
  ffmpeg -loglevel error -i "$work/$name.pam" -f rawvideo -pix_fmt rgb24 "$work/$name.rgb"
  ffmpeg -loglevel error -i "$dir/reference/$name.png" -f rawvideo -pix_fmt rgb24 "$work/$name.reference.rgb"
  [[ $(stat -c %s "$work/$name.rgb") -eq $((160 * 120 * 3)) ]] || fail "$name: size"
  [[ $(stat -c %s "$work/$name.reference.rgb") -eq $((160 * 120 * 3)) ]] || fail "$name: reference size"
  difference=$(mean_difference "$work/$name.rgb" "$work/$name.reference.rgb" $((160 * 120 * 3)))
  (( difference < 3 )) || fail "$name: mean difference $difference from the reference"
done

# What a check lists, and a document that does not load.
cp tests/fuzz/seeds/collada/exporter_quirks.dae "$work/"
(cd "$work" && "$tool" scene check exporter_quirks.dae > listed.txt) || fail "check of a loadable document failed"
grep -qx "exporter_quirks.dae: loads; 10 differences above" "$work/listed.txt" || fail "check summary: $(tail -1 "$work/listed.txt")"
grep -q "image ../maps/Crate_Diffuse.png not found (tried ../maps/Crate_Diffuse.png, Crate_Diffuse.png, crate_diffuse.png)" \
  "$work/listed.txt" || fail "missing image not listed"
printf '<COLLADA><library_visual_scenes><visual_scene><node><instance_camera url="#Gone"/></node></visual_scene></library_visual_scenes></COLLADA>' \
  > "$work/broken.dae"
code=0
"$tool" scene check "$work/broken.dae" > /dev/null 2> "$work/err" || code=$?
[[ $code -eq 1 ]] && grep -q "Couldn't find matching camera for gone. Corrupt file?" "$work/err" || fail "broken document: exit $code"
echo "blender exports: all checks passed"

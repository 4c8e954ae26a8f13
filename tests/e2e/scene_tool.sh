#!/usr/bin/env bash
# zorvane-tool scene pack and scene info --archive: a committed scene and the production's
# bevelled cube, converted into an archive, read back with the same counts as from their
# documents, from a folder where the documents and the texture cannot be reached, so only the
# archive can have served them.
set -euo pipefail
tool=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

scene=tests/data/collada/textured_cube.dae
cube=data/common/models/beveled_cube.dae
cube_expected=$'nodes 3\nmeshes 1\nobjects 1 triangles 1200\nmaterials 2\ncameras 1\nlights 0\ncontrollers 0\nanimations 0 length -1\nbbox -1 -1 -1 1 1 1'
expected=$'nodes 4\nmeshes 1\nobjects 1 triangles 12\nmaterials 2\ncameras 1\nlights 1\ncontrollers 0\nanimations 0 length -1\nbbox -1.36603 -1.36603 -1 1.36603 1.36603 1'

cd "$source_dir"
[ "$("$tool" scene info "$scene")" = "$expected" ] || fail "info from the document"
[ "$("$tool" scene info "$cube")" = "$cube_expected" ] || fail "cube info from the document"
"$tool" scene pack "$work/scenes.zqf" "$scene" "$cube" > "$work/pack.log"
grep -q 'Done writing datafile' "$work/pack.log" || fail "pack log"
"$tool" archive list "$work/scenes.zqf" > "$work/list.txt"
grep -q $'^32\ttests/data/collada/textured_cube.dae$' "$work/list.txt" || fail "main entry"
grep -q $'\ttests/data/collada/crate.png$' "$work/list.txt" || fail "texture entry"
grep -q $'^0\ttests/data/collada/textured_cube.dae.node3children$' "$work/list.txt" || fail "empty child list"
if grep -q '\.dae$' <(cut -f2 "$work/list.txt" | grep -v "^$scene\$" | grep -v "^$cube\$"); then
  fail "a document was packed"
fi

mkdir "$work/elsewhere"
cp "$work/scenes.zqf" "$work/elsewhere/copy.zqf"
cd "$work/elsewhere"
[ ! -e "$scene" ] && [ ! -e "$cube" ] || fail "the documents are reachable"
[ "$("$tool" scene info "$scene" --archive copy.zqf)" = "$expected" ] || fail "info from the archive"
[ "$("$tool" scene info "$cube" --archive copy.zqf)" = "$cube_expected" ] || fail "cube info from the archive"

# A scene the archive does not hold, and a name that is no COLLADA file.
if "$tool" scene info other.dae --archive copy.zqf 2> err; then fail "missing scene accepted"; fi
grep -q 'main_buffer is NULL' err || fail "missing scene message"
if "$tool" scene pack out.zqf README.md 2> err; then fail "pack accepted README.md"; fi
grep -q 'README.md is not a COLLADA file (.dae)' err || fail "pack refusal message"
[ ! -e out.zqf ] || fail "a refused pack wrote an archive"
echo "scene tool: all checks passed"

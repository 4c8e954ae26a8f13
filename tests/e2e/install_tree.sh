#!/usr/bin/env bash
# cmake --install into a fresh prefix: the programs, the archive where the player looks for it,
# a desktop entry that validates with its icon, the licences; and the installed player started
# from an unrelated folder finds its archive and plays a second of the show in batch mode; the
# installed zorvane-tool draws a scene there with the installed shaders.
set -euo pipefail
build=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$root"

scripts/pack "$build/zorvane" > /dev/null
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
p=$work/prefix
for file in bin/zorvane bin/zorvane-tool bin/zorvane-editor share/zorvane/data.zqf share/applications/zorvane.desktop \
            share/icons/hicolor/256x256/apps/zorvane.png share/doc/zorvane/COPYRIGHT share/doc/zorvane/LICENSE.kristi; do
  [[ -s $p/$file ]] || fail "$file not installed"
done
desktop-file-validate "$p/share/applications/zorvane.desktop" || fail "the desktop entry does not validate"

mkdir "$work/elsewhere"
cd "$work/elsewhere"
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$p/bin/zorvane" --no-dialog --window --size 160x90 --until 1 > run.log 2>&1 ||
  fail "the installed player failed: $(tail -3 run.log)"
grep -q "Reading data file $p/share/zorvane/data.zqf$" run.log || fail "archive not found where installed: $(grep -i data run.log)"
# The folder the viewer is in comes first.
cp "$p/share/zorvane/data.zqf" here.zqf
SDL_AUDIODRIVER=dummy ZORVANE_BATCH=1 "$p/bin/zorvane" --no-dialog --window --size 160x90 --until 0.5 --data here.zqf \
  > run.log 2>&1 || fail "a relative --data in the current folder failed"
grep -q "Reading data file here.zqf$" run.log || fail "the current folder's archive was not the one read"
[[ "$("$p/bin/zorvane" --version)" == "$("$build/zorvane" --version)" ]] || fail "installed version differs"
# The installed tool draws with the installed copy of the engine's shaders.
"$p/bin/zorvane-tool" scene render "$root/tests/data/collada/textured_cube.dae" cube.pam --size 32x32 > /dev/null ||
  fail "the installed tool cannot render from here"
echo "install tree: all checks passed"

#!/usr/bin/env bash
# The layering check: the repository passes, and a tree with upward includes and system
# headers in the wrong places fails with one line each.
set -euo pipefail
check=$1/scripts/check-layers
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$check" "$1" || fail "the repository itself breaks the layering"

mkdir -p "$work"/src/{platform,util/data,effects/e,scenes,main}
printf '#include <unistd.h>\n#include "platform/clock.h"\n#include "util/data/data.h"\n' > "$work/src/platform/p.cpp"
printf '#include "main/loading_screen.h"\n#include <sys/stat.h>\n#include <vector>\n#include <GL/glew.h>\n' > "$work/src/util/data/d.cpp"
printf '#include "util/fbo/fbo.h"\n#include "scenes/scene/scene.h"\n' > "$work/src/effects/e/e.h"
printf '#include "effects/e/e.h"\n#include <tinyxml.h>\n#include <cstdio>\n' > "$work/src/scenes/s.cpp"
printf '#include "scenes/director.h"\n#include "main/settings.h"\n#include <gtk/gtk.h>\n' > "$work/src/main/m.cpp"

if out=$("$check" "$work"); then fail "violations accepted"; fi
expected='src/effects/e/e.h:2: effects includes "scenes/scene/scene.h" from the higher layer scenes
src/main/m.cpp:3: only src/platform may include <gtk/gtk.h>
src/platform/p.cpp:3: platform includes "util/data/data.h" from the higher layer util
src/util/data/d.cpp:1: util includes "main/loading_screen.h" from the higher layer main
src/util/data/d.cpp:2: only src/platform may include <sys/stat.h>'
[ "$out" = "$expected" ] || fail "report:
$out"
echo ok

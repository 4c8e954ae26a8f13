#!/usr/bin/env bash
# Every GL function the engine calls through GLEW is in the start-up check of loaded entry
# points, so a driver without it ends in a report rather than a call through a null pointer; or,
# for a function of an optional extension, in the list of those its user checks before the call.
set -euo pipefail
source_dir=$1
glew_header=${2:-/usr/include/GL/glew.h}
check="$source_dir/src/main/extensions.cpp"
missing=0
for name in $(grep -rhoE '\bgl[A-Z][A-Za-z0-9]+\b' "$source_dir/src" --include='*.cpp' --include='*.h' |
              sort -u); do
  grep -qE "^#define $name GLEW_GET_FUN" "$glew_header" || continue
  if ! grep -qE "(REQUIRE|OPTIONAL)\(${name#gl}\);" "$check"; then
    echo "not checked at start-up: $name"
    missing=1
  fi
done
[ $missing = 0 ] && echo "every GLEW entry point the engine calls is checked"

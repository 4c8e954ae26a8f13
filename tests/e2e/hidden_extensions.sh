#!/usr/bin/env bash
# A driver without one of the required extensions, or without all of them: the run shows its
# missing-extension question (answered OK in batch mode) and then either plays (exit 0) or ends
# with the report naming the GL functions it lacks (exit 1); never a signal, never a hang.
set -uo pipefail
program=$1
preload=$2
source_dir=$3
cd "$source_dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

extensions="GL_ARB_vertex_program GL_ARB_fragment_program GL_ARB_multitexture GL_ARB_vertex_shader
GL_ARB_fragment_shader GL_ARB_multisample GL_ARB_point_sprite GL_EXT_texture_filter_anisotropic
GL_ARB_vertex_buffer_object GL_EXT_framebuffer_object GL_ARB_texture_non_power_of_two
GL_ARB_texture_float GL_ARB_draw_buffers GL_ARB_depth_texture"
all=$(echo $extensions)
failures=0
for hide in $extensions "$all"; do
  ZORVANE_BATCH=1 SDL_AUDIODRIVER=dummy LD_PRELOAD="$preload" ZORVANE_HIDE_GL_EXTENSIONS="$hide" \
    timeout 120 "$program" --no-dialog --window --size 160x90 --archive-mode loose --until 1 \
    > "$work/out" 2> "$work/err"
  rc=$?
  label=$([ "$hide" = "$all" ] && echo "all required extensions" || echo "$hide")
  ok=1
  grep -q "Missing extension(s)" "$work/err" || { echo "FAIL $label: no missing-extension question"; ok=0; }
  case $rc in
    0) ;;
    1) grep -q "The graphics driver does not provide these OpenGL functions: gl" "$work/err" ||
         { echo "FAIL $label: exit 1 without the missing-function report"; ok=0; } ;;
    124) echo "FAIL $label: hung"; ok=0 ;;
    *) echo "FAIL $label: exit status $rc"; ok=0 ;;
  esac
  if [ $ok = 0 ]; then
    failures=$((failures + 1))
    tail -5 "$work/err"
  else
    echo "ok $label: exit $rc"
  fi
done
[ $failures = 0 ]

#!/usr/bin/env bash
# Writes packaging/zorvane.png, the desktop icon: the logo scaled to 256 pixels wide on a square of
# its own night blue. Needs ffmpeg; run from the repository root. The output is committed.
set -euo pipefail
ffmpeg -loglevel error -y -i data/common/images/trelvane_logo_16_9.png \
  -vf "scale=256:-1,pad=256:256:0:(oh-ih)/2:color=0x0e111c" -pix_fmt rgb24 packaging/zorvane.png

#!/usr/bin/env bash
# Renders the soundtrack from its score: compose -> FluidSynth -> mix and master -> MP3, then
# checks what the engine relies on (rate, channels, loudness, peak, timing of the first onset).
# Needs Debian's fluidsynth, fluid-soundfont-gm, ffmpeg and lame; the results are committed, so
# building and running the demo never needs them.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="${1:-$root/build/music}"
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
music="$root/data/common/music"
target_lufs=-14

mkdir -p "$work"
python3 "$here/compose.py" "$work"

# 44.1 kHz from the synthesizer on, so nothing is ever resampled.
fluidsynth -ni -q -g 0.5 -r 44100 -O s16 -T wav -F "$work/raw.wav" "$soundfont" "$work/quillory_render.mid"

loudness() {  # integrated LUFS and true peak (dBTP) of a file
  ffmpeg -hide_banner -nostats -i "$1" -af ebur128=peak=true -f null - 2>&1 |
    awk '/Integrated loudness:/ {f=1} f && /I:/ {i=$2} /True peak:/ {p=1} p && /Peak:/ {tp=$2} END {print i, tp}'
}

# Mix bus: low cut, gentle glue compression; the fade starts after the last chord is released.
last_beat=$(python3 - "$root/data/common/music/quillory.mid" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
tpq = struct.unpack(">H", data[12:14])[0]
pos, last = 14, 0
while pos < len(data):
    length = struct.unpack(">I", data[pos + 4:pos + 8])[0]
    end, p, tick, status = pos + 8 + length, pos + 8, 0, 0
    while p < end:
        delta = 0
        while True:
            b = data[p]; p += 1
            delta = (delta << 7) | (b & 0x7F)
            if b < 0x80: break
        tick += delta
        if data[p] & 0x80: status = data[p]; p += 1
        if status == 0xFF:
            p += 2 + data[p + 1]
        else:
            if status & 0xF0 in (0x80, 0x90): last = max(last, tick)
            p += 1 if status & 0xF0 in (0xC0, 0xD0) else 2
    pos = end
print(last / tpq)
PY
)
end_seconds=$(python3 -c "print($last_beat * 60 / 145.0)")
fade_start=$(python3 -c "print($end_seconds - 1.0)")
fade_length=4.0
total=$(python3 -c "print($end_seconds + 3.0)")

mix="highpass=f=28,acompressor=threshold=-20dB:ratio=2.5:attack=15:release=200:makeup=1"
ffmpeg -hide_banner -loglevel error -y -i "$work/raw.wav" -af "$mix" -c:a pcm_s16le "$work/mix.wav"
read -r lufs _ < <(loudness "$work/mix.wav")
gain=$(python3 -c "print(round($target_lufs - ($lufs), 2))")
# Gain to the target, a look-ahead limiter whose delay is compensated (so timing is kept) with
# its ceiling 2 dB under full scale for the true-peak margin, then the fade.
ffmpeg -hide_banner -loglevel error -y -i "$work/mix.wav" -af \
  "volume=${gain}dB,alimiter=limit=0.79:level=disabled:latency=1:attack=2:release=80,afade=t=out:st=$fade_start:d=$fade_length,atrim=end=$total" \
  -ar 44100 -c:a pcm_s16le "$work/master.wav"

# CBR with the LAME header, so decoders that honour it drop the encoder delay and padding and
# decoded sample 0 is tick 0.
lame --quiet -q 0 -b 192 --cbr "$work/master.wav" "$music/quillory.mp3"

read -r lufs peak < <(loudness "$music/quillory.mp3")
echo "mp3: integrated $lufs LUFS, true peak $peak dBTP"
ffprobe -v error -show_entries stream=sample_rate,channels,duration -of default=nw=1 "$music/quillory.mp3"
python3 - "$work/master.wav" <<'PY'
import sys, wave, struct
w = wave.open(sys.argv[1])
rate, frames = w.getframerate(), w.readframes(w.getnframes())
samples = struct.unpack("<%dh" % (len(frames) // 2), frames)
threshold = 0.01 * 32768
first = next(i for i, s in enumerate(samples) if abs(s) > threshold) // 2
clipped = sum(1 for s in samples if abs(s) >= 32767)
print(f"master: first onset at {1000.0 * first / rate:.1f} ms, {clipped} clipped samples")
PY

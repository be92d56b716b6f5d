#!/bin/sh
# Builds the six sound effects in assets/sounds/ from nothing but sox's
# synthesiser. Rerunning it reproduces the committed files byte for byte.
#
# Every effect is a mono 8000 Hz Microsoft ADPCM WAV (500 samples per block,
# 256-byte blocks, with a fact chunk), cut to an exact sample count so the
# lengths match what the game was timed against.
#
# Usage: tools/make_sounds.sh   (from anywhere; needs sox)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/assets/sounds"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# -R keeps sox's own random numbers (the pluck's noise burst) the same on
# every run; -D leaves out dither, which would add fresh noise each time.
SOX="sox -R -D"

# tone FILE SECONDS SYNTH-ARGS...: one note as 16-bit PCM, with short fades so
# joined notes meet without a click.
tone() {
    file=$1 len=$2
    shift 2
    $SOX -n -r 8000 -c 1 -b 16 "$work/$file" synth "$len" "$@" fade q 0.005 -0 0.03
}

# finish ID SAMPLES PEAK-DB INPUT...: joins the notes, brings the peak to
# PEAK-DB, pads with silence and cuts to exactly SAMPLES samples as ADPCM.
finish() {
    id=$1 samples=$2 peak=$3
    shift 3
    $SOX "$@" "$work/padded$id.wav" norm "$peak" pad 0 2
    $SOX "$work/padded$id.wav" -e ms-adpcm "$out/effect$id.wav" trim 0 "${samples}s"
}

# 1, a new piece: one short blip that fades fast.
$SOX -n -r 8000 -c 1 -b 16 "$work/e1.wav" synth 0.2 sine 1320 fade h 0.003 -0 0.18
finish 1 1955 -3 "$work/e1.wav"

# 2, rows completed: a rising chime, three plucked notes a fifth apart
# entering one after the other and ringing together.
$SOX -n -r 8000 -c 3 -b 16 "$work/e2-chord.wav" synth 0.5 pluck C5 pluck G5 pluck D6 \
    delay 0 0.09 0.18 fade q 0 0.5 0.1
$SOX "$work/e2-chord.wav" -c 1 "$work/e2.wav" remix -
finish 2 4184 -3 "$work/e2.wav"

# 3, game over: four square-wave tones falling through a C major chord
# (G, E, C, low G), the last one long and wavering.
tone e3a.wav 0.30 square G4
tone e3b.wav 0.30 square E4
tone e3c.wav 0.30 square C4
tone e3d.wav 0.49 square G3 tremolo 6 40
finish 3 11176 -6 "$work/e3a.wav" "$work/e3b.wav" "$work/e3c.wav" "$work/e3d.wav"

# 4, pause: a soft two-tone falling a fifth, pure sines kept quiet.
tone e4a.wav 0.45 sine A5
tone e4b.wav 0.57 sine D5
finish 4 8215 -9 "$work/e4a.wav" "$work/e4b.wav"

# 5, never played by the game: a low warble.
tone e5.wav 0.84 sine 330 tremolo 8 70
finish 5 6717 -6 "$work/e5.wav"

# 6, start or resume: a bright ascending arpeggio, so it cannot be mistaken
# for the falling pause sound of the same length.
tone e6a.wav 0.16 triangle C5
tone e6b.wav 0.16 triangle E5
tone e6c.wav 0.16 triangle G5
tone e6d.wav 0.54 triangle C6 tremolo 10 20
finish 6 8215 -3 "$work/e6a.wav" "$work/e6b.wav" "$work/e6c.wav" "$work/e6d.wav"

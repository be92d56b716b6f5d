#!/usr/bin/env bash
# Benchmark of the game loop, the main window and the sound effects (about
# four minutes, plus the build the first time).
#
# Builds quadix_bench in build-bench/ and runs every measurement in a fresh
# process on a real X server (Xvfb, 1024x768x24, real painting), with the
# sound going to a PulseAudio server of the benchmark's own (a null sink at
# 48 kHz, on a private socket; Debian's pulseaudio, which
# `install-deps.sh` installs). Each row is measured for two loops:
#   waiting loop  the game as it ships: between gravity steps the loop sleeps
#                 in the event loop until a key, a repaint or the next step;
#   busy poll     the same window, but the pump never waits: every pass only
#                 runs processEvents() and loops, also while paused, which is
#                 how a loop that spins instead of sleeping behaves.
# How to read the table:
#   CPU share     the game's and the X server's CPU time together, over wall
#                 time, in % of one core, then each apart: the game's process
#                 (all threads, user + kernel) and the X server (every thread's
#                 time on a core, from /proc/PID/task/*/schedstat over the
#                 same span: the 10 ms ticks of /proc/PID/stat are too coarse
#                 for a few milliseconds), and the sound server's, read the
#                 same way. Its own idle figure (3 s with no client at all)
#                 is in the sound server's row, with its figure during 20 s
#                 of play at fallInterval 25, where every piece brings its
#                 sound. Paused is measured from 2.5 s after
#                 the pause, once its sound has been heard and the sound
#                 device closed. "main thread wanted" is the share
#                 of a core the game's thread spent running or queued, ready
#                 to run (/proc/thread-self/schedstat): on a loaded machine a
#                 spinning loop wants ~100 % but gets only what is left. It
#                 leaves out the X and audio threads, so it can be below the
#                 process share when the game thread is idle.
#   baseline      a bare Qt window (tools/bench/bare_window.cpp) repainting a
#                 42 x 29 rectangle, what a gravity step changes, every 26 ms
#                 and every 3 ms through Qt's ordinary repaint(), with the
#                 game's X11 setting: what any Qt window pays for the cadence
#                 of gravity at fallInterval 25 and 2, game and X server.
#   floor         the same cadences with no toolkit at all
#                 (tools/bench/x11_floor.cpp, XCB only): a program that sleeps
#                 in poll() and at each wake-up sends one 42 x 29 PutImage
#                 straight to its window, and one that only wakes up. What
#                 any X11 program pays on this machine for one wake of its
#                 own and one of the X server per gravity step; no drawing
#                 code can go below it.
#   step gaps     time between consecutive gravity steps, min / median / max
#                 (number of gaps). A step comes once more than fallInterval
#                 ticks of 1 ms have passed since the last one, so the median
#                 should be fallInterval + 1; as the ticks are whole
#                 milliseconds, a single gap can be up to 1 ms shorter.
#                 The maxima are where the scheduler kept us off the cores.
#   key latency   a Left/Right key press posted to the playfield from another
#                 thread at random moments, until the playfield's refresh for
#                 it has been handed to the X server; median / max of 50.
#   start-up      from the shell launching the program to the end of the
#                 first painting of the whole window; median of 11 runs,
#                 launched in turn with the baseline: a bare Qt 6 window of
#                 the same size with a menu bar (tools/bench/bare_window.cpp).
#   memory        VmRSS at the end of 5 s of play.
#   flash         a lock completes rows; a second connection to the X server
#                 reads one pixel of a cleared row as fast as the server
#                 answers: how many of the 40 colours were seen on the screen,
#                 each one's time there (min / median / max, and the last,
#                 grey one) and the whole flash. The sound goes to SDL's disk
#                 driver: whether the row sound was heard whole before the
#                 next piece's sound, and the silence between them.
#   effect latency  from a picture on the screen to its effect heard, for the
#                 pause and start sounds of a game paused and resumed again and
#                 again (min / median / max of at least 20): more than 2 s
#                 after the last effect ended (the sound device had time to
#                 close), within a second of its end, and cutting off an
#                 effect still playing; at fallInterval 25 and 2. The picture's
#                 moment is the X server's first damage report (XDamage, on a
#                 second connection) for the playfield after the game handed
#                 that step over; the effect's is where its first 15 ms match
#                 best in a recording of the sink's monitor (libpulse), whose
#                 samples are dated with the stream's latency as the server
#                 reports it, so the server's own buffering counts as late.
# The machine's load average is printed under the table: other work on the
# same cores lowers the busy poll's CPU share and widens the step gaps.
# Raw result lines go to build-bench/benchmark-results.txt.
#
# Usage: tools/benchmark.sh          every row
#        tools/benchmark.sh sound    the sound rows only
#        (QUADIX_BENCH_BUILD=dir to build elsewhere; QUADIX_BENCH_EFFECTS=n to
#        measure n effects in each state of the sound rows instead of 20)
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUADIX_BENCH_BUILD:-$root/build-bench}
bench=$build/tools/bench/quadix_bench
bare=$build/tools/bench/quadix_bare_window
floor=$build/tools/bench/quadix_x11_floor

if [[ "${1:-}" != --measure ]]; then
    "$root/tools/install-deps.sh"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        -DQUADIX_BENCH=ON >/dev/null
    cmake --build "$build" -j2 --target quadix_bench quadix_bare_window quadix_x11_floor >&2
    exec xvfb-run -a -s "-screen 0 1024x768x24" \
        env QT_QPA_PLATFORM=xcb "${BASH_SOURCE[0]}" --measure "${1:-all}"
fi
rows=${2:-all}

# ---- Inside the X server ----------------------------------------------------------

runtime=$(mktemp -d)
export XDG_RUNTIME_DIR=$runtime
pulse_pid=""
cleanup() {
    [[ -n $pulse_pid ]] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT

# The sound server: nothing but a null sink at 48 kHz (what a desktop's sound
# card runs at) and a socket of its own, so no other program's sound is
# measured and none of the player's sound setup is touched.
mkdir -m 700 "$runtime/pulse"
HOME=$runtime/pulse pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-null-sink sink_name=sink rate=48000" \
    --load="module-native-protocol-unix socket=$runtime/pulse/socket auth-anonymous=1" \
    >"$runtime/pulse/log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do
    [[ -S $runtime/pulse/socket ]] && break
    sleep 0.05
done
[[ -S $runtime/pulse/socket ]] || { cat "$runtime/pulse/log" >&2; echo "the sound server did not start" >&2; exit 1; }
export PULSE_SERVER=unix:$runtime/pulse/socket SDL_AUDIODRIVER=pulseaudio QUADIX_BENCH_SOUND_SERVER_PID=$pulse_pid
# The X server's CPU is read over the same spans as the game's.
QUADIX_BENCH_XSERVER_PID=$(pgrep -f "^Xvfb $DISPLAY( |$)" | head -1 || true)
export QUADIX_BENCH_XSERVER_PID
raw=$build/benchmark-results.txt
log=$build/benchmark-stderr.txt
: >"$raw"
: >"$log"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# Runs one program of build/tools/bench; prints its result line (empty if
# it failed).
run() {
    echo "  $(basename "$1") ${*:2}" >&2
    local line
    line=$("$@" 2>>"$log" | grep '^result ' || true)
    echo "$line" >>"$raw"
    echo "$line"
}
measure() { run "$bench" "$@"; }

# The value of key in a result line.
get() {
    local value
    value=$(sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1")
    echo "${value:-n/a}"
}

cpu_cell() {
    local line=$1
    [[ -n $line ]] || { echo "failed"; return; }
    local cell game x wanted sound
    game=$(get "$line" cpu_pct)
    x=$(get "$line" xserver_pct)
    wanted=$(get "$line" wanted_pct)
    wanted=${wanted/#n\/a/}
    sound=$(get "$line" soundserver_pct)
    [[ $sound == n/a || $sound == -1.00 ]] && sound=""
    if [[ $x != n/a && $x != -1.00 ]]; then
        cell="$(awk -v g="$game" -v x="$x" 'BEGIN { printf "%.2f %%", g + x }') (game $game %, X server $x %${sound:+, sound server $sound %}${wanted:+; main thread wanted $wanted %})"
    else
        cell="$game % (X server not read${sound:+, sound server $sound %}${wanted:+; main thread wanted $wanted %})"
    fi
    [[ $(get "$line" running) == 0 ]] && cell="$cell, game ended early"
    echo "$cell"
}

gaps_cell() {
    local line=$1
    [[ -n $line ]] || { echo "failed"; return; }
    echo "$(get "$line" min_ms) / $(get "$line" median_ms) / $(get "$line" max_ms) ms ($(get "$line" gaps))"
}

latency_cell() {
    local line=$1
    [[ -n $line ]] || { echo "failed"; return; }
    local cell
    cell="$(get "$line" median_ms) / $(get "$line" max_ms) ms ($(get "$line" samples))"
    [[ $(get "$line" unmoved) != 0 ]] && cell="$cell, $(get "$line" unmoved) keys did not move the piece"
    echo "$cell"
}

flash_cell() {
    local line=$1
    [[ -n $line ]] || { echo "failed"; return; }
    local whole="cut short"
    [[ $(get "$line" row_sound_whole) == 1 ]] && whole="heard whole ($(get "$line" row_sound_ms) ms)"
    echo "$(get "$line" frames) of 40 colours seen, each $(get "$line" min_ms) / $(get "$line" median_ms) / $(get "$line" max_ms) ms (grey $(get "$line" last_ms) ms), $(get "$line" total_ms) ms in all; row sound $whole, then $(get "$line" silence_before_piece_sound_ms) ms before the next piece's"
}

rss_cell() {
    local line=$1
    [[ -n $line ]] || { echo "failed"; return; }
    awk -v kb="$(get "$line" rss_kb)" 'BEGIN { printf "%.1f MiB", kb / 1024 }'
}

effect_cell() {
    local line=$1
    [[ -n $line ]] || { echo "failed"; return; }
    local cell
    cell="$(get "$line" min_ms) / $(get "$line" median_ms) / $(get "$line" max_ms) ms ($(get "$line" samples))"
    [[ $(get "$line" missed) != 0 ]] && cell="$cell, $(get "$line" missed) not found in the recording"
    echo "$cell"
}

# The sound server's time on a core, every thread, in ns.
sound_server_ns() { cat /proc/"$pulse_pid"/task/*/schedstat | awk '{ ns += $1 } END { print ns }'; }

declare -A r
# Effects measured in each state of the sound rows.
effects=${QUADIX_BENCH_EFFECTS:-20}
measure_sound() {
    echo "  the sound server alone (3 s)" >&2
    local ns0 t0 ns1 t1
    ns0=$(sound_server_ns)
    t0=$EPOCHREALTIME
    sleep 3
    ns1=$(sound_server_ns)
    t1=$EPOCHREALTIME
    sound_idle=$(awk -v n="$((ns1 - ns0))" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", n / 1e7 / (b - a) }')
    r[sound-play]=$(measure cpu-play --interval 25 --seconds 20)
    for interval in 25 2; do
        for state in closed open cut; do
            r[effect-$state-$interval]=$(measure sound-latency --state $state --interval $interval --samples "$effects")
        done
    done
}

sound_table() {
    local play=${r[sound-play]} cell="failed"
    if [[ -n $play ]]; then
        cell="$(get "$play" soundserver_pct) % while playing, $sound_idle % alone: $(awk -v p="$(get "$play" soundserver_pct)" -v i="$sound_idle" 'BEGIN { printf "%+.2f", p - i }') points for the game (game $(get "$play" cpu_pct) %, X server $(get "$play" xserver_pct) %)"
    fi
    echo "| Sound server's CPU, playing 20 s at fallInterval 25 (an effect at every piece), against the server alone (3 s) | $cell | |"
    echo "| Effect heard after its picture, more than 2 s after the last effect ended, fallInterval 25 / 2: min / median / max ms (effects) | $(effect_cell "${r[effect-closed-25]}") / $(effect_cell "${r[effect-closed-2]}") | |"
    echo "| The same, within 1 s of the end of the last effect | $(effect_cell "${r[effect-open-25]}") / $(effect_cell "${r[effect-open-2]}") | |"
    echo "| The same, cutting off an effect still playing | $(effect_cell "${r[effect-cut-25]}") / $(effect_cell "${r[effect-cut-2]}") | |"
}

if [[ $rows == sound ]]; then
    echo "Measuring (each line a fresh process):" >&2
    measure_sound
    echo
    echo "| Measurement | waiting loop | |"
    echo "|---|---|---|"
    sound_table
    echo
    echo "$(nproc) cores; load average before $load_before, after $(cut -d' ' -f1-3 /proc/loadavg); $(date -u '+%Y-%m-%d %H:%M UTC')."
    exit 0
fi

echo "Measuring (each line a fresh process):" >&2
for loop in waiting busy; do
    for interval in 25 2; do
        r[play-$loop-$interval]=$(measure cpu-play --loop $loop --interval $interval --seconds 5)
    done
done
for loop in waiting busy; do
    r[paused-$loop]=$(measure cpu-paused --loop $loop --seconds 3)
    r[idle-$loop]=$(measure cpu-idle --loop $loop --seconds 3)
done
for loop in waiting busy; do
    for interval in 25 2; do
        r[cadence-$loop-$interval]=$(measure cadence --loop $loop --interval $interval --seconds 5)
    done
done
for loop in waiting busy; do
    r[latency-$loop]=$(measure latency --loop $loop --interval 25 --samples 50)
done

for ms in 26 3; do
    r[tick-$ms]=$(QT_XCB_NO_MITSHM=1 run "$bare" tick $ms 5)
    for what in wake put; do
        r[floor-$what-$ms]=$(run "$floor" $what $ms 5)
    done
done

flash_line=$(SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$runtime/heard.raw measure flash)
measure_sound

# Start-up: the same program for both loops (no game runs), so one figure,
# against the bare window, launched in turn with it.
startup_ms() {
    local launched=$EPOCHREALTIME line
    line=$("$@" 2>>"$log" | grep '^result ' || true)
    echo "$line launched=$launched program=$(basename "$1")" >>"$raw"
    [[ -n $line ]] || return 0
    awk -v l="$launched" -v m="$(get "$line" main_realtime_ns)" -v p="$(get "$line" painted_realtime_ns)" \
        'BEGIN { printf "%.1f %.1f\n", p / 1e6 - l * 1000, m / 1e6 - l * 1000 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.0f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
startup_summary() {
    local runs=$1 totals mains
    [[ -n $runs ]] || { echo "failed"; return; }
    totals=$(cut -d' ' -f1 <<<"$runs")
    mains=$(cut -d' ' -f2 <<<"$runs")
    echo "$(median <<<"$totals") ms (min $(sort -n <<<"$totals" | head -1 | cut -d. -f1), max $(sort -n <<<"$totals" | tail -1 | cut -d. -f1); main() reached after $(median <<<"$mains") ms; $(wc -l <<<"$runs") runs)"
}
echo "  quadix_bench startup and quadix_bare_window, in turn (11 runs each)" >&2
game_runs=""
bare_runs=""
for _ in $(seq 11); do
    game_runs+="$(startup_ms "$bench" startup)"$'\n'
    bare_runs+="$(startup_ms "$bare")"$'\n'
done
game_runs=$(grep . <<<"$game_runs" || true)
bare_runs=$(grep . <<<"$bare_runs" || true)
startup_cell=$(startup_summary "$game_runs")
bare_cell=$(startup_summary "$bare_runs")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

echo
echo "| Measurement | waiting loop | busy poll |"
echo "|---|---|---|"
echo "| CPU share of one core, playing, fallInterval 25 (5 s) | $(cpu_cell "${r[play-waiting-25]}") | $(cpu_cell "${r[play-busy-25]}") |"
echo "| CPU share of one core, playing, fallInterval 2 (5 s) | $(cpu_cell "${r[play-waiting-2]}") | $(cpu_cell "${r[play-busy-2]}") |"
echo "| Baseline: a bare Qt window repainting 42 x 29 pixels every 26 ms, as gravity at fallInterval 25 (5 s) | $(cpu_cell "${r[tick-26]}") | |"
echo "| Baseline: the same every 3 ms, as gravity at fallInterval 2 (5 s) | $(cpu_cell "${r[tick-3]}") | |"
echo "| Floor: no toolkit (XCB only), one wake-up and one PutImage of 42 x 29 pixels straight to a window every 26 ms (5 s) | $(cpu_cell "${r[floor-put-26]}") | |"
echo "| Floor: the same every 3 ms (5 s) | $(cpu_cell "${r[floor-put-3]}") | |"
echo "| Floor: the wake-ups alone, every 26 ms / every 3 ms (5 s each) | $(cpu_cell "${r[floor-wake-26]}") / $(cpu_cell "${r[floor-wake-3]}") | |"
echo "| CPU share of one core, paused (3 s, from 2.5 s after the pause) | $(cpu_cell "${r[paused-waiting]}") | $(cpu_cell "${r[paused-busy]}") |"
echo "| CPU share of one core, between games (3 s; no game loop runs, both idle in the event loop) | $(cpu_cell "${r[idle-waiting]}") | $(cpu_cell "${r[idle-busy]}") |"
echo "| Gravity step gaps, fallInterval 25: min / median / max (gaps) | $(gaps_cell "${r[cadence-waiting-25]}") | $(gaps_cell "${r[cadence-busy-25]}") |"
echo "| Gravity step gaps, fallInterval 2: min / median / max (gaps) | $(gaps_cell "${r[cadence-waiting-2]}") | $(gaps_cell "${r[cadence-busy-2]}") |"
echo "| Key press to repainted playfield, fallInterval 25: median / max (samples) | $(latency_cell "${r[latency-waiting]}") | $(latency_cell "${r[latency-busy]}") |"
echo "| Start-up to first painted window, median of 11 (same program for both loops) | $startup_cell | same as waiting |"
echo "| Start-up of a bare Qt 6 window with a menu bar, launched in turn with the game, median of 11 | $bare_cell | |"
echo "| Resident memory (VmRSS) after 5 s of play, fallInterval 25 | $(rss_cell "${r[play-waiting-25]}") | $(rss_cell "${r[play-busy-25]}") |"
echo "| Line-clear flash on the screen: colours seen, time each was shown (min / median / max) | $(flash_cell "$flash_line") | same program |"
sound_table
echo
echo "$(nproc) cores; load average before $load_before, after $load_after; $(date -u '+%Y-%m-%d %H:%M UTC')."

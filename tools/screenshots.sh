#!/usr/bin/env bash
# Takes the screenshots in docs/ from the real game, then checks the game's
# windows at twice the size against their plain size, pixel by pixel.
#
#   tools/screenshots.sh            build if needed, shoot, check
#   BUILD_DIR=dir tools/screenshots.sh
#   KEEP_TMP=1 tools/screenshots.sh keep the temporary folder (extra shots
#                                   used by the check stay there)
#   tools/screenshots.sh --check DIR  only the check, on a kept folder
#
# Each run of the game happens under its own Xvfb server (xvfb-run), with a
# temporary HOME and a temporary copy of the binary, so that Scores.dat is
# read from and written to that folder, never the checkout. xdotool drives
# the game with real key presses: the main window takes the keyboard itself
# when it is shown, so no window manager is needed. ImageMagick's `import`
# cuts each picture to its window. Without a window manager there is no
# frame: a picture of the main window is its menu bar and client area.
#
# Output:
#   docs/start.png         the main window just after start
#   docs/records.png       the table of records (F3 between games)
#   docs/instructions.png  the instructions (F1)
#   docs/game.png          a game in progress, some pieces locked
#   docs/scale2.png        a game in progress at QT_SCALE_FACTOR=2
#
# The pieces come at random, so the games differ from run to run; the key
# presses and the waits between them are always the same.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SELF="$ROOT/tools/$(basename "$0")"

# ---- Inside an Xvfb server: one run of the game --------------------------------
# Called by the outer part below as: screenshots.sh --session NAME WORKDIR
if [[ "${1:-}" == "--session" ]]; then
    session="$2"
    work="$3"
    app="$work/app-$session"

    export HOME="$work/home-$session"
    export XDG_RUNTIME_DIR="$work/run-$session"
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export SDL_AUDIODRIVER=dummy
    export QT_QPA_PLATFORM=xcb

    # Waits up to 10 s for a visible window whose title is exactly $1 and
    # prints its id.
    window_named() {
        local id
        for _ in $(seq 100); do
            id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)"
            if [[ -n "$id" ]]; then
                echo "$id"
                return 0
            fi
            sleep 0.1
        done
        echo "no window named '$1'" >&2
        return 1
    }

    # Saves the window with title $1 as $2, after a moment to finish painting.
    shoot() {
        local id
        id="$(window_named "$1")"
        sleep 0.5
        import -window "$id" "$2"
        echo "  $(basename "$2"): $(identify -format '%wx%h' "$2")"
    }

    # Closes the window that has the keyboard with Esc. With no window
    # manager nobody hands the keyboard back to the main window then (X gives
    # it to the root window), so it is given back here, as a desktop would.
    close_and_return() {
        xdotool key Escape
        sleep 0.5
        xdotool windowfocus --sync "$(window_named Quadix)"
        sleep 0.3
    }

    # A few seconds of play: each piece is turned, moved to a column of its
    # own and brought down with Down, so that the pieces pile up side by side
    # along the bottom and fill most of a few rows. Down steps one row per
    # press; presses left over after a piece locks start the next one down.
    play() {
        local turns=(0 1 0 2 1 0 1 0 3 0 1 2)
        local moves=("Left Left Left Left Left" "Right Right Right Right Right"
                     "Left Left Left" "Right Right Right" "Left" "Right"
                     "Left Left Left Left Left" "Right Right Right Right Right"
                     "Left Left" "Right Right" "" "Left Left Left Left")
        local i
        for i in "${!moves[@]}"; do
            if (( turns[i] > 0 )); then
                xdotool key --repeat "${turns[i]}" --delay 40 Up
            fi
            if [[ -n "${moves[i]}" ]]; then
                # shellcheck disable=SC2086  # one key name per word
                xdotool key --delay 40 ${moves[i]}
            fi
            xdotool key --repeat 26 --delay 12 Down
            sleep 0.15
        done
    }

    "$app/quadix" >"$work/quadix-$session.log" 2>&1 &
    pid=$!
    trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
    window_named Quadix >/dev/null
    sleep 1

    case "$session" in
    normal)
        shoot Quadix "$work/start.png"
        # The records window is modeless, the instructions modal; Esc closes
        # either.
        xdotool key F3
        shoot "Tabella dei Record" "$work/records.png"
        close_and_return
        xdotool key F1
        shoot Istruzioni "$work/instructions.png"
        close_and_return
        xdotool key F2
        sleep 0.5
        play
        shoot Quadix "$work/game.png"
        ;;
    scale2)
        # The same steps at twice the size; every window is kept for the check.
        shoot Quadix "$work/start2.png"
        xdotool key F3
        shoot "Tabella dei Record" "$work/records2.png"
        close_and_return
        xdotool key F1
        shoot Istruzioni "$work/instructions2.png"
        close_and_return
        xdotool key F2
        sleep 0.5
        play
        shoot Quadix "$work/scale2.png"
        ;;
    esac
    exit 0
fi

# ---- Outside: build, prepare, run both sessions, check ---------------------------
BUILD_DIR="${BUILD_DIR:-$ROOT/build-screens}"
DOCS="$ROOT/docs"

# The plain run must be at 1x whatever the caller's desktop asks for; the
# scale of the second run is set below.
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_ENABLE_HIGHDPI_SCALING \
      QT_SCALE_FACTOR_ROUNDING_POLICY QT_FONT_DPI QT_USE_PHYSICAL_DPI

for tool in xvfb-run xdotool import identify convert iconv python3 cmake; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

if [[ "${1:-}" == "--check" ]]; then
    # Only the check, on the pictures of a run kept with KEEP_TMP=1.
    WORK="$2"
else
    # Build (a no-op when the binary is up to date). At most two jobs: the
    # machine is shared.
    if [[ ! -f "$BUILD_DIR/build.ninja" ]]; then
        cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null 2>&1
    fi
    cmake --build "$BUILD_DIR" --target quadix -j2 >"$BUILD_DIR/screenshots-build.log" 2>&1 \
        || { cat "$BUILD_DIR/screenshots-build.log" >&2; exit 1; }

    WORK="$(mktemp -d "${TMPDIR:-/tmp}/quadix-shots.XXXXXX")"
    if [[ -z "${KEEP_TMP:-}" ]]; then
        trap 'rm -rf "$WORK"' EXIT
    else
        echo "temporary folder kept: $WORK"
    fi

    # A table of records as the game keeps it: 30 lines, name, score and lines
    # of each place, the numbers with one leading blank, in Windows-1252 with
    # CR LF line ends.
    make_scores() {
        local rows=(
            "Niccolò|48210|97" "Giosuè|39775|81" "Martina|31240|66" "Raffaele|25105|52"
            "Chiara|19870|43" "Lucrezia|14320|31" "Pasquale|9855|22" "Bianca|6120|14"
            "Ettore|2745|6" "Anonimo|980|2"
        )
        local row name score lines
        for row in "${rows[@]}"; do
            IFS='|' read -r name score lines <<<"$row"
            printf '%s\r\n %s\r\n %s\r\n' "$name" "$score" "$lines"
        done | iconv -f UTF-8 -t WINDOWS-1252 >"$1"
    }

    for session in normal scale2; do
        mkdir -p "$WORK/app-$session"
        cp "$BUILD_DIR/quadix" "$WORK/app-$session/quadix"
        make_scores "$WORK/app-$session/Scores.dat"
    done

    echo "1x (1024x768):"
    xvfb-run -a -s "-screen 0 1024x768x24" "$SELF" --session normal "$WORK"
    echo "2x (2048x1536, QT_SCALE_FACTOR=2):"
    QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2048x1536x24" "$SELF" --session scale2 "$WORK"

    mkdir -p "$DOCS"
    cp "$WORK/start.png" "$WORK/records.png" "$WORK/instructions.png" "$WORK/game.png" "$WORK/scale2.png" "$DOCS/"
fi

# ---- The check of the 2x pictures --------------------------------------------------
# Pixels are read with `convert x.png txt:-`. It checks:
#  - every window is exactly twice as large, the main window's client area
#    (below the menu bar) is 878 x 770;
#  - the frames of the picture boxes and boxes of the main window lie at
#    exactly twice their places: their pixels equal the 1x pixels doubled;
#  - each text sits where it did, twice as far (its ink's bounding box);
#  - every block tile in the 2x playfield and preview is a 1x tile of the
#    sheet with each pixel grown into a 2x2 square of one colour;
#  - text is drawn anew at 2x (sharp), not enlarged from 1x pixels.
echo "check of the 2x pictures:"
python3 - "$WORK" "$ROOT/assets/tiles.bmp" <<'PY'
import re, subprocess, sys

work, sheet_path = sys.argv[1], sys.argv[2]
PIXEL = re.compile(rb"^(\d+),(\d+):.*?#([0-9A-Fa-f]{6})", re.M)

def load(path):
    out = subprocess.run(["convert", path, "-depth", "8", "txt:-"],
                         check=True, capture_output=True).stdout
    head = out.split(b"\n", 1)[0].decode()
    w, h = map(int, re.search(r"(\d+),(\d+),", head).groups())
    img = [[0] * w for _ in range(h)]
    for m in PIXEL.finditer(out):
        img[int(m.group(2))][int(m.group(1))] = int(m.group(3), 16)
    return w, h, img

failures = []
def check(ok, what):
    print(("  ok    " if ok else "  FAIL  ") + what)
    if not ok:
        failures.append(what)

# Window sizes.
shots = {}
for name in ("start", "records", "instructions", "game"):
    shots[name] = load(f"{work}/{name}.png")
    shots[name + "2"] = load(f"{work}/{name + '2' if name != 'game' else 'scale2'}.png")
for name in ("start", "records", "instructions", "game"):
    w1, h1, _ = shots[name]
    w2, h2, _ = shots[name + "2"]
    check((w2, h2) == (2 * w1, 2 * h1), f"{name}: {w1}x{h1} at 1x, {w2}x{h2} at 2x")

# The main window: the playfield's frame starts with a grey (128) line at
# (155, 9) of the client area; above the client area is the menu bar.
GREY, BLACK = 0x808080, 0x000000
def menu_height(img, scale):
    x = (155 + 20) * scale
    for y in range(len(img)):
        if img[y][x] == GREY and img[y + scale][x] == BLACK:
            return y - 9 * scale
    return None

w1, h1, s1 = shots["start"]
w2, h2, s2 = shots["start2"]
m1, m2 = menu_height(s1, 1), menu_height(s2, 2)
check(m1 is not None and m2 == 2 * m1, f"menu bar: {m1} px at 1x, {m2} px at 2x")
check((w1, h1 - m1) == (439, 385), f"client area at 1x: {w1} x {h1 - m1}")
check((w2, h2 - m2) == (878, 770), f"client area at 2x: {w2} x {h2 - m2}")

def doubled(img1, img2, x, y, w, h, off1=0, off2=0):
    """Pixels of the 1x rectangle that differ from their 2x squares."""
    bad = 0
    for j in range(y, y + h):
        for i in range(x, x + w):
            c = img1[off1 + j][i]
            for dj in (0, 1):
                for di in (0, 1):
                    if img2[off2 + 2 * j + dj][2 * i + di] != c:
                        bad += 1
                        break
                else:
                    continue
                break
    return bad

# Frames of the controls drawn by the game (client coordinates, from the
# window's design): picture boxes and the two boxes around the numbers.
frames = {
    "picPreviewBlocks (frame)": (106, 9, 49, 97),
    "picQuadixField (frame)": (155, 9, 145, 369),
    "Shape2": (10, 121, 131, 110),
    "Shape1": (309, 232, 121, 146),
}
for name, (x, y, w, h) in frames.items():
    ring = [(x, y, w, 2), (x, y + h - 2, w, 2), (x, y, 2, h), (x + w - 2, y, 2, h)]
    if name.startswith("Shape"):
        ring = [(x, y, w, 1), (x, y + h - 1, w, 1), (x, y, 1, h), (x + w - 1, y, 1, h)]
    bad = sum(doubled(s1, s2, *r, off1=m1, off2=m2) for r in ring)
    check(bad == 0, f"{name} at ({x},{y}) {w}x{h}: edge pixels not doubled: {bad}")

# Where the ink of each text lies, in 1x client pixels.
def ink_box(img, scale, off, rect, background):
    x, y, w, h = rect
    xs, ys = [], []
    for j in range(y * scale, (y + h) * scale):
        for i in range(x * scale, (x + w) * scale):
            if img[off + j][i] != background:
                xs.append(i); ys.append(j)
    if not xs:
        return None
    return (min(xs) / scale, min(ys) / scale, (max(xs) + 1) / scale, (max(ys) + 1) / scale)

FORM = 0xC0C0C0
texts = {   # the text's box at 1x, taken a little wide, clear of the frames
    "Label1 'Blocchi in arrivo:'": (3, 6, 102, 16),
    "Label4 'Punti'": (12, 123, 127, 45),
    "LabelScore '0'": (12, 176, 127, 50),
    "lblNewGame": (301, 8, 138, 60),
    "Label5 'Linee'": (311, 236, 117, 30),
    "LabelLines '0'": (311, 268, 117, 30),
    "Label6 'Livello'": (311, 310, 117, 30),
    "LabelLevel '0'": (311, 342, 117, 34),
    "Label2 'www...'": (0, 360, 153, 25),
}
for name, rect in texts.items():
    b1 = ink_box(s1, 1, m1, rect, FORM)
    b2 = ink_box(s2, 2, m2, rect, FORM)
    if b1 is None or b2 is None:
        check(False, f"{name}: no ink at 1x or 2x ({b1}, {b2})")
        continue
    shift = max(abs(a - b) for a, b in zip(b1, b2))
    check(shift <= 1.5, f"{name}: ink at 1x {b1}, at 2x/2 {b2}, largest difference {shift:g} px")

# The menu bar: its two titles (the style's line under the bar left out).
b1 = ink_box(s1, 1, 0, (0, 0, 250, m1 - 3), FORM)
b2 = ink_box(s2, 2, 0, (0, 0, 250, m1 - 3), FORM)
shift = max(abs(a - b) for a, b in zip(b1, b2))
check(shift <= 1.5, f"menu bar titles: ink at 1x {b1}, at 2x/2 {b2}, largest difference {shift:g} px")
line1 = [y for y in range(m1) if s1[y][300] != FORM]
line2 = [y for y in range(m2) if s2[y][600] != FORM]
print(f"  note  the style's line under the menu bar: rows {line1} at 1x, {line2} at 2x")

# Records and instructions: the ink of each control (background 224 grey),
# from the windows' design.
DIALOG = 0xE0E0E0
controls = {
    "records": {"Label5 'Nome'": (37, 6, 121, 17), "Label6 'Punti'": (157, 6, 89, 17),
                "Label7 'Linee'": (245, 6, 65, 17), "Line1": (6, 24, 305, 2),
                "cmdClose": (235, 268, 81, 25)},
    "instructions": {"Label2 (actions)": (10, 20, 212, 145), "Label3 (keys)": (236, 20, 106, 138),
                     "Command1": (262, 175, 81, 25)},
}
for i in range(10):
    top = 33 + 24 * i
    controls["records"].update({f"Label4({i}) place": (5, top, 25, 17), f"Label1({i}) name": (37, top, 120, 17),
                                f"Label2({i}) score": (158, top, 88, 17), f"Label3({i}) lines": (246, top, 64, 17)})
for name, parts in controls.items():
    _, _, i1 = shots[name]
    _, _, i2 = shots[name + "2"]
    worst, where = 0, ""
    for part, rect in parts.items():
        b1 = ink_box(i1, 1, 0, rect, DIALOG)
        b2 = ink_box(i2, 2, 0, rect, DIALOG)
        if b1 is None or b2 is None:
            check(False, f"{name} {part}: no ink at 1x or 2x ({b1}, {b2})")
            continue
        shift = max(abs(a - b) for a, b in zip(b1, b2))
        if shift > worst or not where:
            worst, where = shift, f"{part}: 1x {b1}, 2x/2 {b2}"
    check(worst <= 1.5, f"{name}: {len(parts)} controls, ink where it was to within {worst:g} px "
          f"(largest at {where})")

# Block tiles. The sheet holds the large tiles (14 x 14) in its first row
# and the preview's small tiles (7 x 7) below them.
_, _, sheet = load(sheet_path)
def tile(img, x, y, size, step=1, off=0):
    return tuple(tuple(img[off + y + j * step][x + i * step] for i in range(size)) for j in range(size))
large = {tile(sheet, 14 * c, 0, 14): c for c in range(9)}
small = {tile(sheet, 7 * c, 14, 7): c for c in range(9)}

def blocks_at_2x(img, off, client, size, cell, sheet_tiles):
    """The picture box's client area at 2x: how many 2x2 squares are not of
    one colour, and every tile of the sheet found in it, halved back (the
    grid column, any row: a falling piece moves down a pixel at a time), and
    how many coloured pixels no tile covers."""
    cx, cy = client
    w, h = size
    x0, y0 = 2 * cx, off + 2 * cy
    split = sum(1 for j in range(h) for i in range(w)
                if len({img[y0 + 2 * j + dj][x0 + 2 * i + di] for dj in (0, 1) for di in (0, 1)}) > 1)
    half = [[img[y0 + 2 * j][x0 + 2 * i] for i in range(w)] for j in range(h)]
    covered = [[False] * w for _ in range(h)]
    found = []
    for x in range(0, w - cell + 1, cell):
        y = 0
        while y <= h - cell:
            colour = sheet_tiles.get(tile(half, x, y, cell))
            if colour:
                found.append((x, y, colour))
                for j in range(cell):
                    for i in range(cell):
                        covered[y + j][x + i] = True
                y += cell
            else:
                y += 1
    loose = sum(1 for j in range(h) for i in range(w) if half[j][i] != BLACK and not covered[j][i])
    return split, found, loose

_, _, g1 = shots["game"]
_, _, g2 = shots["game2"]
for name, client, size, cell, sheet_tiles in (
        ("picQuadixField", (157, 11), (141, 365), 14, large),
        ("picPreviewBlocks", (108, 11), (45, 93), 7, small)):
    split, found, loose = blocks_at_2x(g2, m2, client, size, cell, sheet_tiles)
    on_grid = sum(1 for x, y, c in found if y % cell == 0)
    check(split == 0, f"{name} at 2x: {size[0]} x {size[1]} pixels shown as {2 * size[0]} x {2 * size[1]}, "
          f"2x2 squares not of one colour: {split}")
    check(found and loose == 0, f"{name} at 2x: {len(found)} tiles, each a sheet tile doubled "
          f"({on_grid} on the grid, {len(found) - on_grid} falling), coloured pixels outside them: {loose}")

# One tile in full: a locked tile of the 2x playfield against the tile of the
# same colour in the 1x game picture, pixel by pixel.
_, found, _ = blocks_at_2x(g2, m2, (157, 11), (141, 365), 14, large)
_, found1, _ = blocks_at_2x([[p for p in row for _ in (0, 1)] for row in g1 for _ in (0, 1)],
                            2 * m1, (157, 11), (141, 365), 14, large)
pair = next(((a, b) for a in found if a[1] % 14 == 0 for b in found1 if b[2] == a[2]), None)
if pair is None:
    check(False, "no tile colour in both the 1x and the 2x game")
else:
    (x2, y2, colour), (x1, y1, _) = pair
    wx1, wy1 = 157 + x1, m1 + 11 + y1
    wx2, wy2 = 2 * (157 + x2), m2 + 2 * (11 + y2)
    bad = sum(1 for j in range(14) for i in range(14) for dj in (0, 1) for di in (0, 1)
              if g2[wy2 + 2 * j + dj][wx2 + 2 * i + di] != g1[wy1 + j][wx1 + i])
    check(bad == 0, f"tile of colour {colour}: game.png pixels ({wx1},{wy1})-({wx1 + 13},{wy1 + 13}) against "
          f"scale2.png pixels ({wx2},{wy2})-({wx2 + 27},{wy2 + 27}): {bad} of 784 pixels differ from "
          f"their 1x pixel")

# Sharp text: enlarged 1x text would be 2x2 squares throughout; text drawn at
# 2x has edges that split squares.
for name in ("Label4 'Punti'", "lblNewGame", "Label1 'Blocchi in arrivo:'"):
    x, y, w, h = texts[name]
    split = inked = 0
    for j in range(y, y + h):
        for i in range(x, x + w):
            sq = [s2[m2 + 2 * j + dj][2 * i + di] for dj in (0, 1) for di in (0, 1)]
            if any(p != FORM for p in sq):
                inked += 1
                split += len(set(sq)) > 1
    check(inked and split / inked > 0.2, f"{name} at 2x: {split} of {inked} inked squares split (drawn at 2x)")

print("check:", "passed" if not failures else f"{len(failures)} failed")
sys.exit(1 if failures else 0)
PY
[[ "${1:-}" == "--check" ]] || echo "written: docs/start.png docs/records.png docs/instructions.png docs/game.png docs/scale2.png"

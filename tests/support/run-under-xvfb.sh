#!/usr/bin/env bash
# run-under-xvfb.sh TEST [ARGS...]
# Runs a Qt test on X11: an Xvfb server of its own, on a display number that
# the server itself picks free (-displayfd, so that runs side by side never
# race for one), with a screen that holds the game's window at three times
# its size; the test on Qt's xcb platform. The server is stopped by its
# process id when the test ends. Without Xvfb the test is skipped: exit code 77.
set -euo pipefail

if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIP: Xvfb is not installed, so the test does not run on X11 (tools/install-deps.sh installs xvfb)"
  exit 77
fi

# shellcheck source=server-of-its-own.sh
source "$(dirname "$0")/server-of-its-own.sh"
work=$server_dir

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 2048x1536x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server_pid=$!
if ! read -r -t 10 display <"$work/display"; then
  echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1
fi

# At the test's time limit CTest kills this script outright, which would leave
# the server running: the test is ended ten seconds before that.
limit=$(( ${QUADIX_TEST_TIMEOUT:-60} - 10 ))
DISPLAY=":$display" QT_QPA_PLATFORM=xcb timeout -k 5 "$limit" "$@"

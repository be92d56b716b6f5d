#!/usr/bin/env bash
# run-under-weston.sh QT_PLUGIN_DIR TEST [ARGS...]
# Runs a Qt test on Wayland: weston with its headless backend (no screen, no
# input devices) on a socket of its own in a private runtime folder, started
# here and stopped by its process id when the test ends. The test sees the
# protocol its windows speak (WAYLAND_DEBUG) in the file QUADIX_WAYLAND_LOG.
# Without weston or Qt's Wayland plugin the test is skipped: exit code 77.
set -euo pipefail
plugins=$1
shift

if ! command -v weston >/dev/null 2>&1; then
  echo "SKIP: weston is not installed, so the game is not tried on Wayland (tools/install-deps.sh installs weston and qt6-wayland)"
  exit 77
fi
if [ ! -e "$plugins/platforms/libqwayland-generic.so" ]; then
  echo "SKIP: Qt's Wayland plugin is missing from $plugins/platforms (tools/install-deps.sh installs qt6-wayland)"
  exit 77
fi

# shellcheck source=server-of-its-own.sh
source "$(dirname "$0")/server-of-its-own.sh"
runtime=$server_dir
socket=quadix-test

XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket="$socket" --idle-time=0 \
  --no-config --log="$runtime/weston.log" &
server_pid=$!
for _ in $(seq 100); do
  [ -S "$runtime/$socket" ] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "weston did not start:"; cat "$runtime/weston.log"; exit 1
  fi
  sleep 0.05
done
if [ ! -S "$runtime/$socket" ]; then
  echo "weston opened no socket in 5 s:"; cat "$runtime/weston.log"; exit 1
fi

# Qt 6.4's Wayland input method crashes painting a text cursor when the
# compositor has no seat, as the headless one has none: the test goes without.
status=0
XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland QT_IM_MODULE=none WAYLAND_DEBUG=1 \
  QUADIX_WAYLAND_LOG="$runtime/protocol.log" "$@" 2>"$runtime/protocol.log" || status=$?
# What else the test printed on its error output (Qt's messages among them),
# without the protocol lines.
grep -v '^\[ *[0-9.]*\] ' "$runtime/protocol.log" >&2 || true
exit "$status"

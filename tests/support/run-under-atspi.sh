#!/usr/bin/env bash
# run-under-atspi.sh TEST [ARGS...]
# Runs a Qt test where a screen reader would meet it: on an X server (Xvfb,
# as Qt's accessibility bridge comes with its X11 plugin, not with the
# offscreen one), with a private D-Bus session whose accessibility bus the
# session starts on demand, Qt's bridge on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON: no
# screen reader runs to switch it on), and a listener on that bus
# (atspi-listener.py) that writes what it hears to the file QUADIX_ATSPI_LOG.
# All of it is stopped when the test ends. Without Xvfb, D-Bus, the
# accessibility bus or its Python bindings the test is skipped: exit code 77.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # Debian's own, which has the bindings

# What this script started, stopped when it ends, and what it made, removed.
pids=()
made=()
started() { pids+=("$1"); made+=("$2"); }
stop_all() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "${made[@]}"
}
trap stop_all EXIT

# await WHAT LOG COMMAND...: waits up to 5 s for COMMAND to succeed while the
# last process started runs; says why not, from LOG, if it does not.
await() {
  local what=$1 log=$2
  shift 2
  for _ in $(seq 100); do
    "$@" && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.05
  done
  echo "$what did not start:"
  cat "$log"
  exit 1
}

if [ "${1:-}" != --inside ]; then
  missing=()
  command -v Xvfb >/dev/null 2>&1 || missing+=(xvfb)
  command -v dbus-run-session >/dev/null 2>&1 || missing+=(dbus-daemon)
  [ -e /usr/share/dbus-1/services/org.a11y.Bus.service ] || missing+=(at-spi2-core)
  "$python" -c 'import pyatspi' >/dev/null 2>&1 || missing+=(python3-pyatspi)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIP: ${missing[*]} missing, so nothing is checked on the accessibility bus (tools/install-deps.sh installs them)"
    exit 77
  fi
  # Xvfb picks a free display itself and writes its number: no race with
  # other X servers starting at the same moment.
  runtime=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$runtime/display" 2>"$runtime/xvfb.log" &
  started $! "$runtime"
  await "Xvfb" "$runtime/xvfb.log" test -s "$runtime/display"
  status=0
  DISPLAY=:$(head -n1 "$runtime/display") dbus-run-session -- bash "$0" --inside "$@" || status=$?
  exit "$status"
fi
shift

log=$(mktemp)
"$python" "$here/atspi-listener.py" "$log" &
started $! "$log"
await "the listener" "$log" grep -q '^listening$' "$log"

# At the test's time limit CTest kills this script outright, and nothing of
# the session would be stopped or removed: the test is ended ten seconds
# before that, so that all of it is.
limit=$(( ${QUADIX_TEST_TIMEOUT:-60} - 10 ))
status=0
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QUADIX_ATSPI_LOG=$log timeout -k 5 "$limit" "$@" || status=$?
[ "$status" -ne 124 ] || echo "stopped after $limit s"
exit "$status"

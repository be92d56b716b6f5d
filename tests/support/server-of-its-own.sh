# Sourced by the run-under-*.sh scripts: a private folder (mode 700, as
# Wayland wants its runtime folder) in $server_dir, and whatever server the
# script starts, its process id put in $server_pid, stopped by that id when
# the script ends; then the folder is removed.
server_dir=$(mktemp -d)
server_pid=
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$server_dir"
}
trap stop_server EXIT

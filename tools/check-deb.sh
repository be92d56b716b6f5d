#!/usr/bin/env bash
# Builds the Debian package and checks it: its file list and control fields,
# lintian when it is installed, and an install into a clean Debian 12 root
# (debootstrap, from the mirror that apt uses on this machine) resolving the
# dependencies from that mirror. There the game is started headless as an
# ordinary user, and strace shows where it looks for its records: with the
# program in /usr/bin, it must read the copy beside it (if any) until the
# user's data folder has its own, and never write in /usr/bin.
#
# Needs root and the network to the Debian mirror; not part of the tests.
#   tools/check-deb.sh          build, then check in a fresh root
#   tools/check-deb.sh --host   no debootstrap: install on this machine and
#                               run as "nobody" (removed again at the end)
# Environment: QX_ROOT (default /tmp/qx-root), QX_MIRROR (default: apt's),
# QX_KEEP_ROOT=1 leaves the root in place afterwards.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build-deb"
root="${QX_ROOT:-/tmp/qx-root}"
mode=chroot
[ "${1:-}" = "--host" ] && mode=host
failures=0
start_time=$SECONDS

say() { printf '\n== %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*"; failures=$((failures + 1)); }
pass() { printf 'ok: %s\n' "$*"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "check-deb.sh: run as root (debootstrap, chroot and apt need it)" >&2
  exit 2
fi

# ---------------------------------------------------------------- build
say "Building the package in $build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2
rm -f "$build"/quadix_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/quadix_*.deb)
deb="${debs[0]}"
[ -f "$deb" ] || { echo "no package was made" >&2; exit 1; }
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# ---------------------------------------------------------------- contents
say "Contents (dpkg-deb -c)"
app_id=io.github.quadix.Quadix
expected=(
  ./usr/bin/quadix
  "./usr/share/applications/$app_id.desktop"
  "./usr/share/metainfo/$app_id.metainfo.xml"
  ./usr/share/man/man6/quadix.6.gz
  ./usr/share/doc/quadix/copyright
  ./usr/share/doc/quadix/changelog.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
listing=$(dpkg-deb -c "$deb")
# Regular files only (mode starting with "-"), path in the sixth column.
files=$(awk '$1 ~ /^-/ {print $6}' <<<"$listing" | sort)
want=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$files" = "$want" ]; then
  pass "the package holds exactly the ${#expected[@]} expected files"
else
  fail "file list differs from the expected one (< package, > expected):"
  diff <(echo "$files") <(echo "$want") || true
fi
if grep -qE '^-rwxr-xr-x root/root .* \./usr/bin/quadix$' <<<"$listing"; then
  pass "/usr/bin/quadix is root-owned and executable"
else
  fail "/usr/bin/quadix has wrong mode or owner"
fi

say "Control fields"
dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Installed-Size Depends Recommends
check_field() {  # field, extended regex
  local value
  value=$(dpkg-deb -f "$deb" "$1")
  if grep -qE "$2" <<<"$value"; then pass "$1 matches $2"; else fail "$1 is '$value'"; fi
}
check_field Package '^quadix$'
check_field Architecture "^$(dpkg --print-architecture)$"
check_field Section '^games$'
check_field Maintainer '^Quadix developers <dev@quadix\.invalid>$'
for dep in 'libc6 \(' 'libqt6core6 \(' 'libqt6gui6 \(' 'libqt6widgets6 \(' 'libsdl2-2\.0-0 \(' \
           'qt6-qpa-plugins' 'fonts-dejavu-core'; do
  check_field Depends "(^|, )$dep"
done
check_field Recommends '^qt6-wayland$'

# ---------------------------------------------------------------- lintian
say "lintian"
if command -v lintian >/dev/null; then
  # The program is installed in /usr/bin, not in /usr/games as Debian's
  # policy asks of games: a choice of this project, so that tag is left out.
  if lintian --fail-on error --suppress-tags package-section-games-but-contains-no-game \
       --display-info "$deb"; then
    pass "lintian reports no errors"
  else
    fail "lintian reports errors"
  fi
else
  echo "lintian is not installed: skipped"
fi

# ---------------------------------------------------------------- install
# The Debian mirrors apt uses here for the bookworm suite, one a line.
apt_mirrors() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
      { uris = ""; suites = ""; types = ""; enabled = 1
        for (i = 1; i <= NF; i++) {
          line = $i
          if (line ~ /^URIs:/)    { sub(/^URIs:[ \t]*/, "", line); uris = line }
          if (line ~ /^Suites:/)  { sub(/^Suites:[ \t]*/, "", line); suites = " " line " " }
          if (line ~ /^Types:/)   { types = " " line " " }
          if (line ~ /^Enabled:[ \t]*no/) enabled = 0
        }
        if (enabled && types ~ /[ \t]deb[ \t]/ && suites ~ /[ \t]bookworm[ \t]/) {
          split(uris, u, /[ \t]+/); print u[1]; exit
        } }' "$f"
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -E 's/\[[^]]*\]//' |
    awk '$1 == "deb" && $3 == "bookworm" { print $2 }' || true
}

mounted=()
cleanup() {
  local m
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  if [ "$mode" = chroot ] && [ "${QX_KEEP_ROOT:-0}" != 1 ] && [ -d "$root" ]; then
    rm -rf --one-file-system "$root"
  fi
  if [ "$mode" = host ]; then
    rm -f /tmp/qx-before-* /tmp/qx-trace-* /tmp/qx-out-*
    [ -n "${host_scores_made:-}" ] && rm -f /usr/bin/Scores.dat
    [ -n "${host_home:-}" ] && rm -rf "$host_home"
    if [ -n "${host_installed:-}" ]; then apt-get purge -y -qq quadix >/dev/null 2>&1 || true; fi
  fi
}
trap cleanup EXIT

if [ "$mode" = chroot ]; then
  if ! command -v debootstrap >/dev/null; then
    echo "debootstrap is not installed (apt-get install debootstrap); using --host"
    mode=host
  fi
fi

if [ "$mode" = chroot ]; then
  mirror="${QX_MIRROR:-$(apt_mirrors | awk 'NR == 1')}"
  mirror="${mirror:-http://deb.debian.org/debian}"
  say "debootstrap --variant=minbase bookworm $root $mirror"
  if [ -e "$root" ]; then
    for m in "$root/proc" "$root/dev/pts" "$root/dev"; do umount "$m" 2>/dev/null || true; done
    rm -rf --one-file-system "$root"
  fi
  t0=$SECONDS
  if debootstrap --variant=minbase bookworm "$root" "$mirror" >"$build/debootstrap.log" 2>&1; then
    echo "debootstrap took $((SECONDS - t0)) s"
  else
    tail -n 20 "$build/debootstrap.log"
    echo "debootstrap failed (log: $build/debootstrap.log); using --host"
    rm -rf --one-file-system "$root"
    mode=host
  fi
fi

if [ "$mode" = chroot ]; then
  # Qt finds the program's folder through /proc/self/exe.
  mountpoint -q "$root/proc" || { mount -t proc proc "$root/proc"; mounted+=("$root/proc"); }
  cp "$deb" "$root/tmp/"
  say "apt-get install ./$(basename "$deb") in the fresh root (no recommends)"
  chroot "$root" apt-get update -qq
  if DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -qq --no-install-recommends \
       "/tmp/$(basename "$deb")" >"$build/apt-install.log" 2>&1; then
    pass "installed with its dependencies from $mirror"
    grep -E '^(Setting up|Unpacking) quadix' "$build/apt-install.log" || true
  else
    tail -n 30 "$build/apt-install.log"
    fail "apt-get install of the package failed"
    exit 1
  fi
  echo "packages in the root: $(chroot "$root" dpkg-query -W | wc -l)"
  DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -qq --no-install-recommends strace \
    >/dev/null 2>&1 || fail "could not install strace in the root"
  chroot "$root" useradd --create-home --shell /bin/sh player
  sysroot="$root"
  user_home=/home/player
  as_user() {
    chroot "$root" setpriv --reuid=player --regid=player --init-groups /usr/bin/env -i HOME="$user_home" PATH=/usr/bin:/bin \
      QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy "$@"
  }
  in_root() { chroot "$root" "$@"; }
else
  say "apt-get install $deb on this machine"
  dpkg-query -W -f='${Status}' quadix 2>/dev/null | grep -q 'install ok installed' || host_installed=1
  if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
       >"$build/apt-install.log" 2>&1; then
    pass "installed on this machine"
  else
    tail -n 30 "$build/apt-install.log"
    fail "apt-get install of the package failed"
    exit 1
  fi
  command -v strace >/dev/null || fail "strace is not installed here: the read/write checks will fail"
  sysroot=""
  host_home=$(mktemp -d /tmp/qx-home.XXXXXX)
  chown nobody:nogroup "$host_home"
  user_home="$host_home"
  as_user() {
    setpriv --reuid=nobody --regid=nogroup --clear-groups /usr/bin/env -i HOME="$user_home" \
      PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy "$@"
  }
  in_root() { "$@"; }
  if [ -e /usr/bin/Scores.dat ]; then
    echo "/usr/bin/Scores.dat exists on this machine already: the checks would not be clean" >&2
    exit 1
  fi
fi
data_dir="$user_home/.local/share/quadix/quadix"

# ---------------------------------------------------------------- run
say "Running /usr/bin/quadix headless as an ordinary user"
# The file's contents do not matter here, only which file is opened: one row
# of the table (name, score, lines), in CR LF lines.
printf 'Prova\r\n12345\r\n67\r\n' >"$build/known-record.dat"

# Runs the game for 3 s under strace; $1 names the run. A timeout (124) means
# that it started and kept running until it was stopped.
trace_run() {
  local name=$1 rc=0
  touch "$sysroot/tmp/qx-before-$name"
  sleep 1  # so that files written by the run are strictly newer
  as_user strace -f -qq -e trace=%file -o "/tmp/qx-trace-$name" \
    timeout 3 quadix >"$sysroot/tmp/qx-out-$name" 2>&1 || rc=$?
  trace="$sysroot/tmp/qx-trace-$name"
  if [ "$rc" -eq 124 ]; then
    pass "[$name] the game ran until stopped by timeout"
  else
    fail "[$name] the game exited with $rc:"
    cat "$sysroot/tmp/qx-out-$name"
  fi
}
opened() {  # path: the successful openat calls on that exact path
  grep -E "openat\(AT_FDCWD, \"$1\", [^)]*\) += [0-9]" "$trace" || true
}
no_writes_in_usr_bin() {
  local bad
  # (strace -f starts each line with the process id and blanks.)
  bad=$(grep -E "\"/usr/bin/[^\"]*\", [^)]*O_(WRONLY|RDWR|CREAT)|[[:space:]](mkdir|rename|unlink|creat|link|symlink|chmod|fchmod|chown|fchown|truncate|utimens)(at|at2)?\(.*\"/usr/bin/" \
        "$trace" || true)
  if [ -z "$bad" ]; then pass "[$1] nothing opened for writing, made or removed in /usr/bin"
  else fail "[$1] writes in /usr/bin:"; echo "$bad"; fi
  bad=$(find "$sysroot/usr/bin" -newer "$sysroot/tmp/qx-before-$1" 2>/dev/null || true)
  if [ -z "$bad" ]; then pass "[$1] /usr/bin unchanged afterwards"
  else fail "[$1] changed in /usr/bin: $bad"; fi
}

# 0. The plain start from the brief, without strace.
rc=0
as_user timeout 3 quadix >"$build/plain-run.log" 2>&1 || rc=$?
if [ "$rc" -eq 124 ]; then pass "[plain] timeout 3 quadix ran (exit 124)"
else fail "[plain] quadix exited with $rc"; cat "$build/plain-run.log"; fi
[ -s "$build/plain-run.log" ] && { echo "its output:"; sed 's/^/  /' "$build/plain-run.log"; }

# 1. No records anywhere: it looks in the data folder, creates nothing.
trace_run empty
no_writes_in_usr_bin empty
if grep -qE 'access\("/usr/bin", W_OK\) += -1 EACCES' "$trace"; then
  pass "[empty] it asked whether /usr/bin can be written, and was refused"
else
  fail "[empty] no refused write-access test of /usr/bin in the trace"
  grep -E '"/usr/bin"' "$trace" || true
fi
if grep -qE "openat\(AT_FDCWD, \"$data_dir/Scores.dat\", O_RDONLY[^)]*\) += -1 ENOENT" "$trace"; then
  pass "[empty] read attempted at $data_dir/Scores.dat (absent)"
else
  fail "[empty] no read attempt at $data_dir/Scores.dat; Scores.dat calls:"
  grep Scores.dat "$trace" || true
fi
if [ -e "$sysroot$data_dir" ]; then
  fail "[empty] $data_dir was made although no record was set"
else
  pass "[empty] $data_dir not made (no record set in 3 s)"
fi
if [ "$mode" = chroot ]; then
  echo "files the run wrote in the root (outside /tmp):"
  written=$(cd "$root" && find . -xdev -newer tmp/qx-before-empty -not -path './tmp*' -not -path './proc*')
  awk '{ print "  " $0 }' <<<"${written:-(none)}"
fi

# 2. A table beside the program, owned by root, read-only for the user:
#    that one is read, and left as it was.
install -m 0644 -o root -g root "$build/known-record.dat" "$sysroot/usr/bin/Scores.dat"
[ "$mode" = host ] && host_scores_made=1
trace_run shipped
no_writes_in_usr_bin shipped
if [ -n "$(opened /usr/bin/Scores.dat)" ]; then
  pass "[shipped] /usr/bin/Scores.dat opened for reading: $(opened /usr/bin/Scores.dat | head -n 1)"
else
  fail "[shipped] /usr/bin/Scores.dat was not read; Scores.dat calls:"
  grep Scores.dat "$trace" || true
fi
if cmp -s "$build/known-record.dat" "$sysroot/usr/bin/Scores.dat"; then
  pass "[shipped] /usr/bin/Scores.dat unchanged"
else
  fail "[shipped] /usr/bin/Scores.dat changed"
fi

# 3. The user's own table in the data folder: it wins over the shipped one.
in_root install -d -o "$(stat -c %u "$sysroot$user_home")" -g "$(stat -c %g "$sysroot$user_home")" \
  "$user_home/.local" "$user_home/.local/share" "$user_home/.local/share/quadix" "$data_dir"
install -m 0644 -o "$(stat -c %u "$sysroot$user_home")" -g "$(stat -c %g "$sysroot$user_home")" \
  "$build/known-record.dat" "$sysroot$data_dir/Scores.dat"
trace_run own
no_writes_in_usr_bin own
if [ -n "$(opened "$data_dir/Scores.dat")" ] && [ -z "$(opened /usr/bin/Scores.dat)" ]; then
  pass "[own] $data_dir/Scores.dat read, /usr/bin/Scores.dat not opened"
else
  fail "[own] wrong file read; Scores.dat calls:"
  grep Scores.dat "$trace" || true
fi

say "Summary"
echo "package: $deb, $(stat -c %s "$deb") bytes, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
echo "checked in: $mode$([ "$mode" = chroot ] && echo " ($root, mirror $mirror)"), $((SECONDS - start_time)) s"
if [ "$failures" -eq 0 ]; then
  echo "all checks passed"
else
  echo "$failures check(s) failed"
  exit 1
fi

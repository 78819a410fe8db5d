#!/usr/bin/env bash
# Installs the build into a temporary prefix (DESTDIR), runs the installed
# program from another working directory under the offscreen platform
# against zelvan-sim for a few seconds, and checks that it found its
# pictures and workbook (no box, its start-up line names share/zelvan) and
# wrote its history to the user's data folder, never under the prefix.
#   install-test.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d /tmp/zelvan-install.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$root"
}
trap cleanup EXIT

DESTDIR=$root/dest cmake --install "$build" --prefix /usr >/dev/null
prefix=$root/dest/usr
for f in bin/zelvan bin/zelvan-sim bin/zelvan-history libexec/zelvan/zelvan-workbook-reader share/zelvan/2.bmp share/zelvan/1.bmp \
         share/zelvan/myfile.rtf share/zelvan/Help.chm share/zelvan/help/index.html \
         share/zelvan/datacfg-sp.xls share/applications/zelvan.desktop share/metainfo/zelvan.metainfo.xml \
         share/icons/hicolor/48x48/apps/zelvan.png share/man/man1/zelvan.1.gz share/man/man1/zelvan-sim.1.gz share/man/man1/zelvan-history.1.gz \
         bin/zelvand lib/systemd/system/zelvand.service lib/sysusers.d/zelvan.conf etc/zelvan/zelvand.toml \
         share/man/man8/zelvand.8.gz; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done
# The commented example the service is installed with is a valid configuration.
"$prefix/bin/zelvand" --check-config --config "$prefix/etc/zelvan/zelvand.toml" >/dev/null ||
  { echo "the installed zelvand.toml is not a valid configuration" >&2; exit 1; }
# The installed history tool finds the installed workbook reader (which
# tells the configuration workbook from a history workbook).
"$prefix/bin/zelvan-history" --db "$root/history.db" import "$prefix/share/zelvan" |
  grep -q "^skipped datacfg-sp.xls: not a history workbook" ||
  { echo "zelvan-history did not read with the installed reader" >&2; exit 1; }

# A simulator of its own for each run: the port is opened for exclusive
# use, and that lasts while the simulator keeps its line open.
#   start_sim LINK
start_sim() {
  mkfifo "$1.in"
  sleep 60 >"$1.in" &
  pids+=($!)
  "$prefix/bin/zelvan-sim" --protocol 1 --start 12:00 --speed 60 --link "$1" <"$1.in" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -e "$1" ] && break; sleep 0.1; done
}

# Runs the installed program from another folder for a few seconds, then
# ends it with SIGTERM (which writes the day's history); as another user
# when a runner is given.
#   run_program NAME [RUNNER...]
run_program() {
  local name=$1 home=$root/$1
  shift
  start_sim "$root/$name.inverter"
  chmod a+rw "$(readlink -f "$root/$name.inverter")" 2>/dev/null || true # the other user's line
  mkdir -p "$home/elsewhere"
  chmod -R a+rwX "$home"
  cd "$home/elsewhere"
  "$@" env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
    ZELVAN_SERIAL_PORTS="$root/$name.inverter" ZELVAN_LOG="$home/comm.log" "$prefix/bin/zelvan" >/dev/null 2>&1 &
  local zelvan=$!
  pids+=($zelvan)
  for _ in $(seq 100); do grep -q " status Connected" "$home/comm.log" 2>/dev/null && break; sleep 0.1; done
  sleep 3
  kill -TERM "$zelvan"
  for _ in $(seq 50); do kill -0 "$zelvan" 2>/dev/null || break; sleep 0.1; done
  wait "$zelvan" || { echo "$name: the installed program did not exit cleanly" >&2; exit 1; }
  cd "$root"

  local log=$home/comm.log
  grep -q " status Connected" "$log" || { echo "$name: no inverter found" >&2; cat "$log" >&2; exit 1; }
  if grep -q " box " "$log"; then
    echo "$name: a message box was shown:" >&2
    grep " box " "$log" >&2
    exit 1
  fi
  grep -q " start files in $prefix/share/zelvan" "$log" ||
    { echo "$name: the files were not taken from share/zelvan:" >&2; grep " start " "$log" >&2; exit 1; }
}

# Checks that the history went to folder $2 and was announced there.
expect_history() {
  local name=$1 folder=$2 log=$root/$1/comm.log
  grep -q " start history in $folder/\$" "$log" ||
    { echo "$name: history not announced in $folder:" >&2; grep " start " "$log" >&2; exit 1; }
  ls "$folder"/*.xls >/dev/null 2>&1 ||
    { echo "$name: no history file in $folder" >&2; grep " history " "$log" >&2; exit 1; }
}

# Checks that the run named $1 left the installed tree as it was.
expect_prefix_untouched() {
  find "$prefix" | sort >"$root/prefix.after"
  diff "$root/prefix.before" "$root/prefix.after" >&2 ||
    { echo "$1: files written under the prefix (above)" >&2; exit 1; }
}
find "$prefix" | sort >"$root/prefix.before"

# An installed program writes its history to its user's data folder, even
# when that user may write to the program's folder (as root may).
run_program owner
expect_history owner "$root/owner/data/zelvan/hisdata"
expect_prefix_untouched owner

# The same for a user who may not write there.
chmod -R a+rX "$root"
if [ "$(id -u)" = 0 ]; then
  run_program user setpriv --reuid=nobody --regid=nogroup --clear-groups
else
  chmod a-w "$prefix/bin"
  run_program user
  chmod u+w "$prefix/bin"
fi
expect_history user "$root/user/data/zelvan/hisdata"
expect_prefix_untouched user
echo "install test: passed"

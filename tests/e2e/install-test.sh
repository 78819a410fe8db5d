#!/usr/bin/env bash
# Installs the build into a temporary prefix (DESTDIR), runs the installed
# program from another working directory under the offscreen platform
# against zelvan-sim for a few seconds, and checks that it found its
# pictures and workbook (no box, its start-up line names share/zelvan) and
# wrote its history where it should.
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
for f in bin/zelvan bin/zelvan-sim libexec/zelvan/zelvan-workbook-reader share/zelvan/2.bmp \
         share/zelvan/datacfg-sp.xls share/applications/zelvan.desktop share/metainfo/zelvan.metainfo.xml \
         share/icons/hicolor/48x48/apps/zelvan.png share/man/man1/zelvan.1.gz share/man/man1/zelvan-sim.1.gz; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done

mkfifo "$root/sim-in"
sleep 60 >"$root/sim-in" &
pids+=($!)
"$prefix/bin/zelvan-sim" --protocol 1 --start 12:00 --speed 60 --link "$root/inverter" <"$root/sim-in" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$root/inverter" ] && break; sleep 0.1; done

mkdir -p "$root/elsewhere" "$root/home"
cd "$root/elsewhere"
env -i PATH=/usr/bin:/bin HOME="$root/home" XDG_DATA_HOME="$root/home/data" QT_QPA_PLATFORM=offscreen \
  ZELVAN_SERIAL_PORTS="$root/inverter" ZELVAN_LOG="$root/comm.log" "$prefix/bin/zelvan" >/dev/null 2>&1 &
zelvan=$!
pids+=($zelvan)
for _ in $(seq 100); do grep -q " status Connected" "$root/comm.log" 2>/dev/null && break; sleep 0.1; done
sleep 3
kill -TERM "$zelvan"
for _ in $(seq 50); do kill -0 "$zelvan" 2>/dev/null || break; sleep 0.1; done
wait "$zelvan" || { echo "the installed program did not exit cleanly" >&2; exit 1; }

grep -q " status Connected" "$root/comm.log" || { echo "no inverter found" >&2; cat "$root/comm.log" >&2; exit 1; }
if grep -q " box " "$root/comm.log"; then
  echo "a message box was shown:" >&2
  grep " box " "$root/comm.log" >&2
  exit 1
fi
grep -q " start files in $prefix/share/zelvan" "$root/comm.log" ||
  { echo "the files were not taken from share/zelvan:" >&2; grep " start " "$root/comm.log" >&2; exit 1; }
echo "install test: passed"

#!/usr/bin/env bash
# Builds a release of Nimbrel and starts it in the demo folder demo/, with the
# simulated transmitter nimbrel-sim on a pseudo-terminal as its serial port.
# demo/ holds its own settings file Nimbrel.ini, a sample configuration
# (demo.cfg) and a sample program (demo.prg); the simulator's EEPROM is kept
# in demo/eeprom.bin between runs. The settings name the simulator's device
# through the link demo/ttyPTT, which lives as long as the simulator; the
# simulator stops when Nimbrel exits.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-run -j "$(nproc)" --target nimbrel nimbrel-sim nimbrel-cli

mkdir -p demo
cd demo

# --- Sample files, written once; later runs keep what the user changed -------
if [ ! -f Nimbrel.ini ]; then
  printf '%s\n' '[COM]' 'port=2' 'baud=9600' '[FILE TRANSFER]' 'ReadAfterWrite=1' \
    'WaitTimeForResponse=2' '[MRU]' 'MRU0=demo.cfg' >Nimbrel.ini
fi
if [ ! -f demo.cfg ]; then
  # A transmitter and one sensor: items with EEPROM addresses, a list item, a
  # hexadecimal item, a float and a user command.
  printf '%s\r\n' '8 2' \
    '9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,256' \
    '4,0,90,,Fast transmission rep rate (seconds),1,1,1,{90,200},0,4,1,260' \
    '4,0,7200,,Transmission on time (seconds),1,2,0,86400,1,4,0,264' \
    '4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,268' \
    '2,1,1000,Water temperature,Sample interval (ms),2,4,0,65535,1,2,0,512' \
    '6,0,1.500000,,Calibration offset,2,5,0,100,-100,4,0,514' \
    '1,0,5,,Samples averaged,2,6,1,{1,5,10},0,1,0,518' \
    '8,0,R020000,,Read the sample interval,2,7,0,0,0,7,0,0' >demo.cfg
fi
if [ ! -f demo.prg ]; then
  # Two-digit hex bytes, written from the base address the user gives. One
  # line with no line end: a line end would take the place of a digit.
  printf '%s' '0A1B2C3D4E5F6071' >demo.prg
fi

# Reads a [COM] key of Nimbrel.ini (names without regard to case).
com_value() {
  awk -v key="$1" '
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^[ \t]*\[/ { s = tolower(line); gsub(/[ \t]/, "", s); insec = (s == "[com]"); next }
    insec && index(line, "=") > 0 {
      k = substr(line, 1, index(line, "=") - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
      if (tolower(k) == tolower(key)) { print substr(line, index(line, "=") + 1); exit }
    }' Nimbrel.ini
}

# Points port 2 at the device: [COM] port=2 and device2=<device>; every
# other line of the file stays as it is.
use_device() {
  awk -v dev="$1" '
    function emit() { print "port=2"; print "device2=" dev; done = 1 }
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^[ \t]*\[/ {
      if (insec && !done) emit()
      s = tolower(line); gsub(/[ \t]/, "", s); insec = (s == "[com]")
      print; next
    }
    insec {
      k = tolower(line); sub(/[ \t]*=.*/, "", k); gsub(/^[ \t]+/, "", k)
      if (k == "port" || k == "device2") next
    }
    { print }
    END { if (!done) { if (!insec) print "[COM]"; emit() } }' Nimbrel.ini >Nimbrel.ini.tmp
  mv Nimbrel.ini.tmp Nimbrel.ini
}

# --- Simulated transmitter ----------------------------------------------------
# It paces its answers at the configured baud rate and keeps running while
# the terminal window is closed and opened again.
baud=$(com_value baud)
[[ "$baud" =~ ^[0-9]+$ ]] && ((baud >= 50 && baud <= 4000000)) || baud=9600
link="$PWD/ttyPTT"
sim_args=(--baud "$baud" --dump eeprom.bin --link "$link")
[ -f eeprom.bin ] && sim_args+=(--load eeprom.bin)
../build-run/tools/nimbrel-sim "${sim_args[@]}" >sim.out 2>sim.err &
sim_pid=$!

# shellcheck disable=SC2317 # runs from the trap
stop_sim() {
  kill -TERM "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
}
trap stop_sim EXIT

device=""
for _ in $(seq 50); do
  device=$(head -n 1 sim.out 2>/dev/null || true)
  [ -n "$device" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$device" ]; then
  echo "nimbrel-sim did not start:" >&2
  cat sim.err >&2
  exit 1
fi
use_device "$link"
echo "Simulated transmitter on $device, linked as $link (demo/Nimbrel.ini: [COM] port=2, device2)."
echo "Open demo.cfg, then PTT Communications > Start."

status=0
../build-run/app/nimbrel "$@" || status=$?
exit "$status"

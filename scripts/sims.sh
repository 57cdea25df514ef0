#!/usr/bin/env bash
# Starts N simulated transmitters, each nimbrel-sim on a pseudo-terminal of
# its own with a stable name FOLDER/ttyPTT1 .. ttyPTTN (a symbolic link, as
# /dev/serial/by-id names an adapter), prints those names comma-separated
# (ready for --port lists) and serves until Ctrl+C, which ends them all.
#
#   scripts/sims.sh [-n N] [-d FOLDER] [-B BUILD] [-- nimbrel-sim options]
#
# N defaults to 4, FOLDER to ./sims, BUILD to build (nimbrel-sim is taken
# from BUILD/tools). Each simulator keeps its EEPROM in FOLDER/eepromK.bin.
set -euo pipefail
count=4
folder=sims
build=build
while (($#)); do
  case $1 in
    -n) count=$2; shift 2 ;;
    -d) folder=$2; shift 2 ;;
    -B) build=$2; shift 2 ;;
    --) shift; break ;;
    -h | --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "sims.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
if ! [[ "$count" =~ ^[0-9]+$ ]] || ((count < 1 || count > 64)); then
  echo "sims.sh: -n takes 1 to 64" >&2
  exit 2
fi
sim="$build/tools/nimbrel-sim"
[ -x "$sim" ] || { echo "sims.sh: no $sim; build first (cmake --build $build)" >&2; exit 2; }
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

pids=()
stop_all() {
  if ((${#pids[@]})); then kill -TERM "${pids[@]}" 2>/dev/null || true; fi
  wait 2>/dev/null || true
}
trap stop_all EXIT
trap 'exit 130' INT TERM

ports=()
for k in $(seq "$count"); do
  link="$folder/ttyPTT$k"
  args=(--link "$link" --dump "$folder/eeprom$k.bin" "$@")
  [ -f "$folder/eeprom$k.bin" ] && args+=(--load "$folder/eeprom$k.bin")
  "$sim" "${args[@]}" >"$folder/sim$k.out" 2>"$folder/sim$k.err" &
  pids+=($!)
  for _ in $(seq 50); do
    [ -L "$link" ] && break
    kill -0 "${pids[-1]}" 2>/dev/null || { cat "$folder/sim$k.err" >&2; exit 1; }
    sleep 0.1
  done
  [ -L "$link" ] || { echo "sims.sh: simulator $k did not start" >&2; exit 1; }
  ports+=("$link")
done
(IFS=,; echo "${ports[*]}")
echo "$count simulated transmitters are serving; Ctrl+C ends them." >&2
wait

#!/usr/bin/env bash
# Idle cost of the windowed program: nimbrel under Xvfb with its terminal
# window open on a simulated transmitter that is asleep and sends 0x06 every
# 300 ms. Samples the process's CPU time (user + system, all threads, from
# /proc/PID/stat) and prints the CPU % of one core per interval and on
# average. Goal: at most 0.3 %.
#
#   bench/idle-cpu.sh [-B BUILD_DIR] [-n] [-i INTERVAL_S] [-k] [-N] [-S SIM_ARGS] [SECONDS]
#
#   SECONDS         measuring time (default 60); any length, e.g. 3600
#   -i INTERVAL_S   one line per interval (default 60, at most SECONDS)
#   -B BUILD_DIR    build folder (default build-release, Release, no tests)
#   -n              take nimbrel and nimbrel-sim as built in BUILD_DIR
#   -k              keep the temporary folder (settings, logs, screenshot)
#   For finding where the time goes, by elimination:
#   -N              leave the terminal window closed (the main window alone)
#   -S SIM_ARGS     more nimbrel-sim options, e.g. -S --never-wake (a silent line)
#   -T KEY=VALUE    a [TIMING] setting of Nimbrel.ini, e.g. -T MonitorPauseMs=1000
#
# Exit status: 0 goal met, 3 goal missed, 1 the set-up failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. bench/common.sh

goal=0.3 # % of one core
build="build-release"
do_build=1
interval=60
keep=0
terminal=1
sim_extra=()
timing=()
while getopts "B:ni:kNS:T:h" opt; do
  case $opt in
    B) build=$OPTARG ;;
    n) do_build=0 ;;
    i) interval=$OPTARG ;;
    k) keep=1 ;;
    N) terminal=0 ;;
    S) read -r -a sim_extra <<<"$OPTARG" ;;
    T) timing+=("$OPTARG") ;;
    *) bench_usage "$opt" ;;
  esac
done
shift $((OPTIND - 1))
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ && "$interval" =~ ^[0-9]+$ ]] || ((seconds < 1 || interval < 1)); then
  echo "idle-cpu: SECONDS and INTERVAL_S are whole seconds, at least 1" >&2
  exit 1
fi
((interval > seconds)) && interval=$seconds
[[ "$build" = /* ]] || build=$root/$build

bench_need_x

nimbrel=$build/app/nimbrel
sim=$build/tools/nimbrel-sim
((do_build)) && bench_build_release "$build" nimbrel nimbrel-sim
for exe in "$nimbrel" "$sim"; do
  [ -x "$exe" ] || {
    echo "idle-cpu: $exe is not built (leave out -n to build it)" >&2
    exit 1
  }
done

# --- Clean-up of everything started here, by process id ------------------------
tmp=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-idle-XXXXXX")
app_pid="" sim_pid="" x_pid=""
# shellcheck disable=SC2317 # runs from the trap
cleanup() {
  for pid in $app_pid $sim_pid $x_pid; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in $app_pid $sim_pid $x_pid; do
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if ((keep)); then
    echo "idle-cpu: kept $tmp"
  else
    rm -rf "$tmp"
  fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "idle-cpu: $*" >&2
  for f in sim.err app.err x.err; do
    [ -s "$tmp/$f" ] && { echo "--- $f" >&2; tail -n 20 "$tmp/$f" >&2; }
  done
  exit 1
}

# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# --- The simulated transmitter, asleep, 0x06 every 300 ms ---------------------
"$sim" --wake-interval 300 --persist "${sim_extra[@]}" >"$tmp/sim.out" 2>"$tmp/sim.err" &
sim_pid=$!
wait_for 50 test -s "$tmp/sim.out" || fail "nimbrel-sim did not start"
device=$(head -n 1 "$tmp/sim.out")
[ -e "$device" ] || fail "nimbrel-sim names no device: $device"

printf '%s\r\n' '[COM]' 'port=2' "device2=$device" 'baud=9600' \
  '[TIMING]' 'SplashSeconds=0' "${timing[@]}" >"$tmp/Nimbrel.ini"

# --- A virtual display ---------------------------------------------------------
exec {dfd}>"$tmp/display"
Xvfb -displayfd "$dfd" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$tmp/x.out" 2>"$tmp/x.err" &
x_pid=$!
exec {dfd}>&-
wait_for 100 test -s "$tmp/display" || fail "Xvfb did not start"
DISPLAY=":$(tr -dc 0-9 <"$tmp/display")"
export DISPLAY
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# --- nimbrel in the temporary folder, its settings file there ------------------
(cd "$tmp" && exec "$nimbrel") >"$tmp/app.out" 2>"$tmp/app.err" &
app_pid=$!

find_window() {
  window=$(xdotool search --onlyvisible --pid "$app_pid" --name '^Nimbrel' 2>/dev/null | head -n 1)
  [ -n "$window" ]
}
wait_for 200 find_window || fail "no main window of nimbrel (pid $app_pid) on $DISPLAY"

# The terminal window holds the port: its pseudo-terminal is among the
# program's open files.
port_open() {
  local fd
  for fd in /proc/"$app_pid"/fd/*; do
    [ "$(readlink "$fd" 2>/dev/null)" = "$device" ] && return 0
  done
  return 1
}
if ((terminal)); then
  opened=0
  for _ in 1 2 3; do
    xdotool windowactivate "$window" 2>/dev/null || true
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    sleep 0.5
    xdotool key --delay 200 alt+t o
    if wait_for 50 port_open; then
      opened=1
      break
    fi
    xdotool key Escape Escape
  done
  ((opened)) || fail "Terminal > Open terminal window did not open $device"
  sleep 0.5
  xdotool key Escape # nothing should be left open but the terminal window
  what="terminal window open on $device"
else
  what="terminal window closed"
fi
[ -d "/proc/$app_pid" ] || fail "nimbrel ended"
import -window root "$tmp/screen.png" 2>/dev/null || true

# --- Sampling ----------------------------------------------------------------
tck=$(getconf CLK_TCK)
# utime + stime of all threads, dead ones included (fields 14 and 15, counted
# after the command name, which may hold blanks).
cpu_ticks() {
  local stat
  stat=$(<"/proc/$app_pid/stat") || return 1
  stat=${stat##*) }
  # shellcheck disable=SC2086
  set -- $stat
  echo $((${12} + ${13}))
}
now_ns() { date +%s%N; }
percent() { awk -v t="$1" -v ns="$2" -v k="$tck" 'BEGIN { printf "%.3f", (ns > 0 ? 100 * t / k / (ns / 1e9) : 0) }'; }

# Per thread, nanoseconds on a CPU (schedstat), for the breakdown at the end.
thread_times() {
  local t name run
  for t in /proc/"$app_pid"/task/*; do
    name=$(<"$t/comm") || continue
    read -r run _ <"$t/schedstat" || continue
    printf '%s\t%s\t%s\n' "${t##*/}" "$run" "$name"
  done
}

sleep 2 # let start-up work end
echo "idle-cpu: nimbrel pid $app_pid on $DISPLAY, $what;"
echo "          nimbrel-sim (pid $sim_pid): --wake-interval 300 (asleep, 0x06 every 300 ms) ${sim_extra[*]}"
((${#timing[@]})) && echo "          [TIMING] ${timing[*]}"
echo "          $seconds s, one line every $interval s"
threads_before=$(thread_times)
start_ticks=$(cpu_ticks) || fail "nimbrel ended"
start_ns=$(now_ns)
last_ticks=$start_ticks last_ns=$start_ns
printf '%10s %10s %8s\n' "elapsed_s" "cpu_s" "cpu_%"
elapsed=0
while ((elapsed < seconds)); do
  step=$((seconds - elapsed < interval ? seconds - elapsed : interval))
  # Sleep to the interval's end on the clock, so that intervals do not drift.
  target=$((start_ns + (elapsed + step) * 1000000000))
  left=$((target - $(now_ns)))
  ((left > 0)) && sleep "$(awk -v n="$left" 'BEGIN { printf "%.3f", n / 1e9 }')"
  ticks=$(cpu_ticks) || fail "nimbrel ended after $elapsed s"
  ns=$(now_ns)
  elapsed=$((elapsed + step))
  printf '%10d %10s %8s\n' "$elapsed" \
    "$(awk -v t=$((ticks - last_ticks)) -v k="$tck" 'BEGIN { printf "%.2f", t / k }')" \
    "$(percent $((ticks - last_ticks)) $((ns - last_ns)))"
  last_ticks=$ticks last_ns=$ns
done
threads_after=$(thread_times)
total_ticks=$((last_ticks - start_ticks))
average=$(percent "$total_ticks" $((last_ns - start_ns)))

echo "threads alive throughout (CPU ms over the run, from schedstat):"
join -t $'\t' <(sort <<<"$threads_before") <(sort <<<"$threads_after") |
  awk -F '\t' -v s="$seconds" '{ ms = ($4 - $2) / 1e6; printf "%10.1f ms %7.3f %%  %s (tid %s)\n", ms, ms / 10 / s, $5, $1 }' |
  sort -rn | head -n 20
awk -v s=$((total_ticks)) -v k="$tck" -v a="$average" -v g="$goal" -v d="$seconds" 'BEGIN {
  printf "average: %s %% of one core (%.2f s CPU over %d s); goal <= %s %%: %s\n",
    a, s / k, d, g, (a + 0 <= g + 0) ? "met" : "MISSED"
}'
awk -v a="$average" -v g="$goal" 'BEGIN { exit (a + 0 <= g + 0) ? 0 : 3 }'

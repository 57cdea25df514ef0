#!/usr/bin/env bash
# Start-up time of the windowed program: from launching nimbrel (splash off)
# to its main window being visible on the X display, over several runs under
# Xvfb. Prints each run and the median. Goal: at most 300 ms.
#
#   bench/startup-time.sh [-B BUILD_DIR] [-n] [RUNS]
#
#   RUNS            number of launches (default 10)
#   -B BUILD_DIR    build folder (default build-release, Release, no tests)
#   -n              take nimbrel as built in BUILD_DIR
#
# The window is looked for every few milliseconds, which adds a few
# milliseconds to each figure. A machine busy with other work gives slower,
# more scattered figures: measure on a quiet one.
#
# Exit status: 0 goal met, 3 goal missed, 1 the set-up failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. bench/common.sh

goal=300 # ms
build="build-release"
do_build=1
while getopts "B:nh" opt; do
  case $opt in
    B) build=$OPTARG ;;
    n) do_build=0 ;;
    *) bench_usage "$opt" ;;
  esac
done
shift $((OPTIND - 1))
runs=${1:-10}
[[ "$runs" =~ ^[0-9]+$ ]] && ((runs >= 1)) || { echo "startup-time: RUNS is a whole number" >&2; exit 1; }
[[ "$build" = /* ]] || build=$root/$build

bench_need_x
((do_build)) && bench_build_release "$build" nimbrel >/dev/null
program=$build/app/nimbrel
[ -x "$program" ] || { echo "startup-time: no program at $program" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
printf '[TIMING]\nSplashSeconds=0\n' >"$work/Nimbrel.ini"

# A display of our own; -noreset keeps it accepting clients between runs.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "startup-time: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
times=()
for i in $(seq "$runs"); do
  start=$(now_ms)
  (cd "$work" && exec "$program" >/dev/null 2>"$work/stderr") &
  pid=$!
  shown=""
  while [ -z "$shown" ]; do
    if xdotool search --onlyvisible --name '^Nimbrel$' >/dev/null 2>&1; then
      shown=$(now_ms)
    elif ! kill -0 "$pid" 2>/dev/null; then
      echo "startup-time: nimbrel ended before its window showed:" >&2
      cat "$work/stderr" >&2
      exit 1
    elif (($(now_ms) - start > 20000)); then
      echo "startup-time: no window after 20 s" >&2
      kill "$pid"
      exit 1
    fi
  done
  ms=$((shown - start))
  times+=("$ms")
  printf 'run %2d: %4d ms\n' "$i" "$ms"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
done

median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : int((a[NR/2]+a[NR/2+1])/2)}')
echo "median: $median ms (goal: at most $goal ms)"
((median <= goal)) && exit 0 || exit 3

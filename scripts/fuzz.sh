#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (when needed) and runs one
# of them, or each in turn, for SECONDS.
#   scripts/fuzz.sh TARGET|all SECONDS [libFuzzer options...]
# Targets: config_load config_roundtrip program answers numbers settings.
# New inputs collect in build-fuzz/corpus/TARGET (the seeds stay in
# fuzz/seeds/TARGET); a failing input is kept in build-fuzz/artifacts/ and
# the run stops with the fuzzer's report. NIMBREL_FUZZ_BUILD names another
# build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(config_load config_roundtrip program answers numbers settings)
if [ $# -lt 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET|all SECONDS [libFuzzer options...]" >&2
  echo "targets: ${targets[*]}" >&2
  exit 2
fi
what=$1
seconds=$2
shift 2
if [ "$what" = all ]; then
  run=("${targets[@]}")
elif [[ " ${targets[*]} " == *" $what "* ]]; then
  run=("$what")
else
  echo "scripts/fuzz.sh: no target $what (targets: ${targets[*]})" >&2
  exit 2
fi

scripts/deps.sh clang libclang-rt-14-dev
dir=${NIMBREL_FUZZ_BUILD:-build-fuzz}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S fuzz -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"

for t in "${run[@]}"; do
  mkdir -p "$dir/corpus/$t" "$dir/artifacts" "$dir/logs"
  log=$dir/logs/$t.log
  echo "== fuzz_$t for ${seconds}s"
  if "$dir/fuzz_$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/$t-" "$@" "$dir/corpus/$t" "fuzz/seeds/$t" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log" || true
  else
    tail -n 60 "$log"
    echo "fuzz_$t failed: the input is in $dir/artifacts/ (log: $log)" >&2
    exit 1
  fi
done

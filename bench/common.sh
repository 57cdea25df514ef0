# Shared by the scripts in bench/ that measure the windowed program under
# Xvfb; sourced from the repository's root folder.

# Prints the calling script's header comment; exits 0 after -h, else 1.
bench_usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
  [ "$1" = h ] && exit 0 || exit 1
}

# Xvfb, xdotool and Qt's X11 platform plugin, installed when missing.
bench_need_x() {
  local need=()
  command -v Xvfb >/dev/null || need+=(xvfb)
  command -v xdotool >/dev/null || need+=(xdotool)
  compgen -G "/usr/lib/*/qt6/plugins/platforms/libqxcb.so" >/dev/null || need+=(qt6-qpa-plugins)
  if ((${#need[@]})); then
    scripts/deps.sh "${need[@]}"
  fi
}

# A Release build without tests or benchmarks in BUILD_DIR, of the TARGETS.
bench_build_release() {
  local dir=$1
  shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  scripts/deps.sh
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF \
    -DNIMBREL_BENCH=OFF "${launcher[@]}" >/dev/null
  cmake --build "$dir" -j "$(nproc)" --target "$@"
}

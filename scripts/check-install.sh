#!/usr/bin/env bash
# Builds the Debian package and checks it on a fresh Debian 12 (bookworm):
# a chroot made with debootstrap, the package installed there with apt (its
# dependencies from the Debian mirror), then the programs, their libraries,
# the manual pages, the bash completion, the menu entry, the icons and the
# AppStream metadata checked, and nimbrel started from its menu entry under
# Xvfb. Needs root (debootstrap, chroot, mounts), a network mirror and some
# minutes; the test command does not run it.
#
# usage: scripts/check-install.sh [-B BUILD_DIR] [--keep] [--no-launch]
#   -B DIR       build folder (default build-install in the repository); the
#                package, the logs and the launch screenshot are left in it
#   --keep       keep the chroot afterwards (its path is printed)
#   --no-launch  skip starting nimbrel under Xvfb
# Environment: NIMBREL_MIRROR (default http://deb.debian.org/debian) and
# NIMBREL_SECURITY_MIRROR (default the mirror's name with -security).
set -euo pipefail
src=$(realpath "$(dirname "$0")/..")
self=$src/scripts/check-install.sh
args=("$@")

build=$src/build-install
keep=0
launch=1
while (($#)); do
  case $1 in
  -B) build=$2; shift 2 ;;
  --keep) keep=1; shift ;;
  --no-launch) launch=0; shift ;;
  -h | --help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
  *) echo "check-install: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
build=$(realpath -m "$build")
if [ "$(id -u)" -ne 0 ]; then
  exec sudo -- "$self" "${args[@]}" -B "$build"
fi
cd "$src"
mirror=${NIMBREL_MIRROR:-http://deb.debian.org/debian}
security=${NIMBREL_SECURITY_MIRROR:-$mirror-security}
app_id=io.github.nimbrel.Nimbrel
icon_sizes=(16 22 24 32 48 64 128 256)

passed=0
failed=0
ok() { echo "  ok: $*"; passed=$((passed + 1)); }
bad() { echo "  FAILED: $*"; failed=$((failed + 1)); }
check() { # description, command...
  local what=$1; shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}

echo "== host tools"
scripts/deps.sh debootstrap dpkg-dev

echo "== build (Release) and package"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_GUI=ON \
  -DNIMBREL_TESTS=OFF -DNIMBREL_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
deb=nimbrel_${version}_$(dpkg --print-architecture).deb
rm -f "$build/$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$build/$deb" ] || { echo "check-install: cpack made no $deb" >&2; exit 1; }
dpkg-deb -f "$build/$deb" Package Version Section Depends
dpkg-deb -c "$build/$deb" | awk '$1 !~ /^d/ {print "  " $6}'

echo "== Debian 12 chroot (debootstrap from $mirror)"
root=$(mktemp -d /var/tmp/nimbrel-bookworm.XXXXXX)
chmod 755 "$root"
echo "chroot: $root"
mounted=()
cleanup() {
  set +e
  # Processes the checks left inside the chroot (only this script starts any).
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill "${p#/proc/}" 2>/dev/null
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
  done
  if ((keep)); then
    echo "chroot kept: $root (mounts removed)"
  elif grep -q " $root/" /proc/mounts; then
    echo "check-install: $root still has mounts, left in place" >&2
  else
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$build/debootstrap.log" 2>&1 ||
  { tail -20 "$build/debootstrap.log"; exit 1; }
tail -1 "$build/debootstrap.log"
mnt() { # mount args..., target
  mount "$@"
  mounted+=("${!#}")
}
mnt -t proc proc "$root/proc"
mnt -t sysfs sysfs "$root/sys"
mnt --bind /dev "$root/dev"
mnt --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
in_root() { chroot "$root" env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
  LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
in_root apt-get update -qq

echo "== apt install ./$deb"
cp "$build/$deb" "$root/root/"
# Recommends are left out: what the package depends on must be enough.
in_root sh -c "cd /root && apt-get install -y -q --no-install-recommends ./$deb" \
  >"$build/apt-install.log" 2>&1 || { tail -30 "$build/apt-install.log"; exit 1; }
grep -E '^(Setting up|[0-9]+ upgraded)' "$build/apt-install.log" | grep -E 'nimbrel|upgraded' || true

echo "== installed programs"
check "dpkg has nimbrel $version installed" \
  test "$(in_root dpkg-query -W -f='${Status} ${Version}' nimbrel)" = "install ok installed $version"
cli_version=$(in_root nimbrel-cli --version) || true
echo "  nimbrel-cli --version: $cli_version"
check "nimbrel-cli --version says $version" test "$cli_version" = "nimbrel-cli $version"
for bin in nimbrel nimbrel-cli nimbrel-sim; do
  check "/usr/bin/$bin is on PATH" test "$(in_root sh -c "command -v $bin")" = "/usr/bin/$bin"
done
plugins=$(in_root sh -c 'ls /usr/lib/*/qt6/plugins/platforms/libqxcb.so /usr/lib/*/qt6/plugins/platforms/libqoffscreen.so')
for f in /usr/bin/nimbrel /usr/bin/nimbrel-cli /usr/bin/nimbrel-sim $plugins; do
  missing=$(in_root ldd "$f" 2>&1 | grep -E 'not found|not a dynamic' || true)
  check "ldd finds every library of $f${missing:+: $missing}" test -z "$missing"
done
check "nimbrel-cli needs no Qt" sh -c "! chroot '$root' ldd /usr/bin/nimbrel-cli | grep -q Qt"
# nimbrel-cli asks nimbrel-sim (on a pseudo-terminal) for its version.
sim_version=$(in_root sh -c '
  cd /tmp && nimbrel-sim --wake-interval 100 >sim.out 2>&1 & sim=$!
  for i in $(seq 50); do [ -s /tmp/sim.out ] && break; sleep 0.1; done
  nimbrel-cli --quiet --port "$(head -1 /tmp/sim.out)" --wait 10 version 2>/tmp/cli.err
  kill $sim 2>/dev/null; wait $sim 2>/dev/null; true') || true
check "nimbrel-cli version against nimbrel-sim answers 2.10 (got '$sim_version')" test "$sim_version" = 2.10
[ "$sim_version" = 2.10 ] || sed 's/^/  /' "$root/tmp/sim.out" "$root/tmp/cli.err"

echo "== manual pages, shell completion, answers without a display"
for page in nimbrel nimbrel-cli nimbrel-sim; do
  check "/usr/share/man/man1/$page.1 is there" test -s "$root/usr/share/man/man1/$page.1"
done
app_version=$(in_root nimbrel --version 2>&1) || true
check "nimbrel --version without a display says $version (got '$app_version')" \
  test "$app_version" = "nimbrel $version"
check "nimbrel --help without a display" sh -c "chroot '$root' nimbrel --help | grep -q '^Usage: nimbrel'"
completion=/usr/share/bash-completion/completions/nimbrel-cli
check "$completion is there" test -s "$root$completion"
offered=$(in_root bash -c "source $completion
  COMP_WORDS=(nimbrel-cli s); COMP_CWORD=1; _nimbrel_cli; echo \"\${COMPREPLY[*]}\"") || true
check "the completion offers send and stop for 's' (got '$offered')" test "$offered" = "send stop"

echo "== desktop files where the menu looks"
desktop=/usr/share/applications/$app_id.desktop
metainfo=/usr/share/metainfo/$app_id.metainfo.xml
check "$desktop" test -f "$root$desktop"
check "$metainfo" test -f "$root$metainfo"
help=/usr/share/nimbrel/help
check "help page $help/NimbrelHelp.html" test -f "$root$help/NimbrelHelp.html"
for ref in $(grep -o -E '(src|href)="[^"#:]+' "$root$help/NimbrelHelp.html" | cut -d'"' -f2 | sort -u); do
  check "the help page's $ref is in $help" test -f "$root$help/$ref"
done
key() { sed -n "s/^$1=//p" "$root$desktop" | head -1; }
icon=$(key Icon)
exec_line=$(key Exec)
check "Exec=$exec_line runs a program on PATH" in_root sh -c "command -v '${exec_line%% *}' >/dev/null"
check "Icon=$icon is the AppStream icon too" grep -q "<icon type=\"stock\">$icon</icon>" "$root$metainfo"
check "AppStream launchable names the desktop file" \
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$root$metainfo"
check "hicolor scalable/apps/$icon.svg" test -s "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg"
png_size() { # width x height from the PNG header
  local b
  read -ra b <<<"$(od -An -tu1 -j16 -N8 "$1")"
  echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}
for s in "${icon_sizes[@]}"; do
  png=$root/usr/share/icons/hicolor/${s}x$s/apps/$icon.png
  check "hicolor ${s}x$s/apps/$icon.png is ${s}x$s" test "$([ -f "$png" ] && png_size "$png")" = "${s}x$s"
done

echo "== validators (Debian 12's desktop-file-utils and appstream)"
in_root apt-get install -y -qq --no-install-recommends desktop-file-utils appstream >/dev/null 2>&1
check "desktop-file-validate $desktop" in_root desktop-file-validate "$desktop"
appstream() {
  local out rc=0
  out=$(in_root appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || rc=$?
  sed '/^$/d; s/^/    /' <<<"$out"
  return $rc
}
check "appstreamcli validate $metainfo" appstream

if ((launch)); then
  echo "== start from the menu entry (Xvfb)"
  in_root apt-get install -y -qq --no-install-recommends xvfb xauth xdotool x11-apps >/dev/null 2>&1
  wmclass=$(key StartupWMClass)
  # The Exec line started in the home folder, as a launcher does; then up to
  # 30 s for the main window: a window of the entry's class wider than the splash.
  cat >"$root/root/launch.sh" <<'EOF'
exec_line=$1 wmclass=$2
cd /root
$exec_line >/tmp/nimbrel.log 2>&1 &
app=$!
main=
for i in $(seq 150); do
  kill -0 $app 2>/dev/null || break
  for w in $(xdotool search --onlyvisible --class "^$wmclass\$" 2>/dev/null); do
    width=$(xdotool getwindowgeometry --shell "$w" | sed -n 's/^WIDTH=//p')
    [ "${width:-0}" -gt 400 ] && main=$w
  done
  [ -n "$main" ] && break
  sleep 0.2
done
if [ -n "$main" ]; then
  xdotool getwindowname "$main" >/tmp/window-name
  sleep 1
fi
xwd -root -silent >/tmp/launch.xwd
kill -0 $app 2>/dev/null && echo running >/tmp/app-state
kill $app 2>/dev/null
wait $app 2>/dev/null
true
EOF
  in_root xvfb-run -a -s '-screen 0 1024x768x24' sh /root/launch.sh "$exec_line" "$wmclass" || true
  check "the main window (class $wmclass) appears" test -s "$root/tmp/window-name"
  check "its title is Nimbrel ($(cat "$root/tmp/window-name" 2>/dev/null))" grep -qx Nimbrel "$root/tmp/window-name"
  check "nimbrel keeps running" test -f "$root/tmp/app-state"
  ((failed == 0)) || sed 's/^/  nimbrel: /' "$root/tmp/nimbrel.log"
  if [ -x /usr/bin/convert ] && convert "xwd:$root/tmp/launch.xwd" "$build/launch.png" 2>/dev/null; then
    echo "  screenshot: $build/launch.png"
  fi
fi

echo "== apt purge nimbrel"
in_root apt-get purge -y -qq nimbrel >/dev/null 2>&1
check "purge removes the programs and the menu entry" \
  test ! -e "$root/usr/bin/nimbrel" -a ! -e "$root/usr/bin/nimbrel-cli" -a ! -e "$root$desktop"

echo "check-install: $passed passed, $failed failed"
((failed == 0))

# Shared set-up for the build, run and test scripts: packages, build, Wine prefix, display.
# Sourced, not run. Everything the scripts write goes below $KX_BUILD_DIR.

KX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KX_BUILD_DIR=${KX_BUILD_DIR:-$KX_ROOT/build}
KX_PACKAGES="g++-mingw-w64-i686-posix wine wine32:i386 xvfb xauth cmake ninja-build googletest"

export WINEPREFIX=$KX_BUILD_DIR/wineprefix
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="

kx_log() { echo "== $*" >&2; }

kx_as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

kx_missing_packages() {
  local pkg missing=""
  for pkg in $KX_PACKAGES; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="$missing $pkg"
  done
  echo "$missing"
}

kx_install_packages() {
  local missing
  missing=$(kx_missing_packages)
  [ -z "$missing" ] && return 0
  kx_log "installing:$missing"
  dpkg --print-foreign-architectures | grep -qx i386 || kx_as_root dpkg --add-architecture i386
  kx_as_root apt-get update -qq
  # shellcheck disable=SC2086
  kx_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

kx_build() {
  if [ ! -f "$KX_BUILD_DIR/build.ninja" ]; then
    cmake -S "$KX_ROOT" -B "$KX_BUILD_DIR" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$KX_ROOT/cmake/mingw-i686.cmake" >/dev/null
  fi
  cmake --build "$KX_BUILD_DIR" -- -j"$(nproc)"
}

kx_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  kx_log "creating the Wine prefix in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
}

KX_XVFB_PID=""
kx_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo
  fifo=$(mktemp -u) && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  KX_XVFB_PID=$!
  export DISPLAY=":$(head -n1 <"$fifo")"
  rm -f "$fifo"
  kx_log "started Xvfb on $DISPLAY"
}

kx_stop_display() {
  [ -n "$KX_XVFB_PID" ] && kill "$KX_XVFB_PID" 2>/dev/null
  KX_XVFB_PID=""
}

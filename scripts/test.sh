#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"

kx_install_packages
kx_build
kx_prefix
kx_display
wineserver -p 2>/dev/null || true   # one may already serve this prefix
# Start Wine's own services now, so they do not inherit the pipes of a test
# process and keep CTest waiting after the test has ended.
wine cmd /c exit </dev/null >/dev/null 2>&1
cleanup() { wineserver -k 2>/dev/null || true; kx_stop_display; }
trap cleanup EXIT

cd "$KX_BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" "$@"

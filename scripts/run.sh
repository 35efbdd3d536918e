#!/usr/bin/env bash
# Sets up what is missing, builds and starts Pixquarry.exe under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"

kx_install_packages
kx_build
kx_prefix
exe=$KX_BUILD_DIR/app/main/Pixquarry.exe
if [ ! -f "$exe" ]; then
  kx_log "built; the program itself is not part of this build yet"
  exit 0
fi
kx_display
trap kx_stop_display EXIT
wine "$exe"

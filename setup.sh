#!/bin/bash
# From nothing to a working build (run as root on Debian): installs what is
# missing, builds the native tools and both Windows programs, then runs the
# main job on the sample product with the program this machine can run.
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"
qp_install_deps
qp_build
ls -l "$QP_BUILD/windows/quillpack.exe" "$QP_BUILD/windows64/quillpack64.exe"
qp_choose_wine
qp_wine_start "$QP_WIN_BUILD"
python3 "$QP_ROOT/tools/main_job.py" --build "$QP_BUILD" --windows "$QP_WIN_BUILD"

#!/bin/bash
# From nothing to a working build (run as root on Debian): installs what is
# missing, builds the native tools and the Windows program, then runs the
# main job on the sample product.
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"
qp_install_deps
qp_build
ls -l "$QP_BUILD/windows/quillpack.exe"
qp_wine_start
python3 "$QP_ROOT/tools/main_job.py" --build "$QP_BUILD"

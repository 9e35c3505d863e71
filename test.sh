#!/bin/bash
# Runs every test: native unit tests, Windows unit tests under Wine, and the
# end-to-end tests that run real setup programs in a throwaway prefix.
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"
qp_install_deps
qp_build
qp_log "native tests"
ctest --test-dir "$QP_BUILD/native" --output-on-failure -j "$QP_JOBS"
qp_wine_start
qp_log "windows and end-to-end tests under Wine"
# One at a time: the end-to-end tests share the display and the prefix.
ctest --test-dir "$QP_BUILD/windows" --output-on-failure

#!/bin/bash
# Runs every test: native unit tests, Windows unit tests under Wine, and the
# end-to-end tests that run real setup programs in a throwaway prefix.
# Every stage runs; the exit status is non-zero when any of them failed.
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"
# No test writes more than a few hundred MB: a runaway one must fail, not
# fill the disk under everyone else.
ulimit -f 4194304
qp_install_deps
qp_build
qp_build_sanitized
status=0
qp_log "native tests"
ctest --test-dir "$QP_BUILD/native" --output-on-failure -j "$QP_JOBS" || status=1
qp_log "native tests under AddressSanitizer and UBSan"
ctest --test-dir "$QP_BUILD/native-asan" --output-on-failure -j "$QP_JOBS" || status=1
qp_wine_start
qp_log "windows and end-to-end tests under Wine"
# Unit tests first, then the end-to-end tests one at a time: they share the
# display and the prefix.
ctest --test-dir "$QP_BUILD/windows" --output-on-failure || status=1
exit $status

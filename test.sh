#!/bin/bash
# Runs every test: native unit tests, Windows unit tests under Wine, and the
# end-to-end tests that run real setup programs in a throwaway prefix.
# Every stage runs; the exit status is non-zero when any of them failed.
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"
# No test writes more than a few hundred MB: a runaway one must fail, not
# fill the disk under everyone else.
ulimit -f 4194304
status=0
qp_install_deps
# Decided first: a 32-bit tree whose programs cannot run is built only as
# far as its static checks need.
qp_choose_wine
qp_build
qp_stage "native build with AddressSanitizer and UBSan" qp_build_sanitized
qp_stage "native tests" ctest --test-dir "$QP_BUILD/native" --output-on-failure -j "$QP_JOBS" || status=1
qp_stage "native tests under AddressSanitizer and UBSan" \
  ctest --test-dir "$QP_BUILD/native-asan" --output-on-failure -j "$QP_JOBS" || status=1
# What needs no Wine is checked on both programs: imports, flags, size.
for tree in "${QP_TREES[@]}"; do
  qp_stage "static checks of $tree" ctest --test-dir "$QP_BUILD/$tree" -L static --output-on-failure || status=1
done

# Every second test of the tree ($2: 1 or 2) in a Wine session of its own,
# one test at a time, its output to $3.
qp_wine_half() {
  (
    # The session is stopped whatever the tests did.
    set +e
    qp_wine_start "$1" >"$3" 2>&1 &&
      ctest --test-dir "$1" -LE static -I "$2,,2" --output-on-failure >>"$3" 2>&1
    result=$?
    qp_wine_stop >/dev/null 2>&1
    exit $result
  )
}

# The end-to-end tests mostly wait on Wine: two sessions side by side, each
# on every second test, take about half the time of one.
qp_wine_halves() {
  local logs first second result=0
  logs=$(mktemp -d)
  qp_wine_half "$1" 1 "$logs/first" &
  first=$!
  qp_wine_half "$1" 2 "$logs/second" &
  second=$!
  wait "$first" || result=1
  wait "$second" || result=1
  cat "$logs/first" "$logs/second"
  rm -rf "$logs"
  return $result
}

qp_stage "windows unit and end-to-end tests under Wine ($QP_WIN_BUILD, two sessions)" \
  qp_wine_halves "$QP_WIN_BUILD" || status=1
if [[ $QP_WINE_ARCH == x86 ]]; then
  # The 64-bit program gets its unit tests and one real installation too.
  qp_wine_start "$QP_BUILD/windows64"
  qp_stage "64-bit unit tests under 64-bit Wine" \
    ctest --test-dir "$QP_BUILD/windows64" -L unit --output-on-failure || status=1
  qp_stage "64-bit main job: install the sample, check it, uninstall it" \
    python3 "$QP_ROOT/tools/main_job.py" --build "$QP_BUILD" --windows "$QP_BUILD/windows64" || status=1
fi
exit $status

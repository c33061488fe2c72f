#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest and gtest_discover_tests: quiet, with the
# program's exit status, and with Unix line ends (the test listing parser does not expect \r).
set -o pipefail
export WINEDEBUG=${WINEDEBUG:--all}
wine "$@" | tr -d '\r'
status=${PIPESTATUS[0]}
# Wine's own errors are silenced above, so a program that never got going would fail without a
# word; name the status so such a failure can be told from a test's.
if [ "$status" -ne 0 ]; then
  echo "wine-run: $(basename "$1") exited with status $status" >&2
fi
exit "$status"

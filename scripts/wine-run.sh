#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest and gtest_discover_tests: quiet, with the
# program's exit status, and with Unix line ends (the test listing parser does not expect \r).
set -o pipefail
export WINEDEBUG=${WINEDEBUG:--all}
wine "$@" | tr -d '\r'

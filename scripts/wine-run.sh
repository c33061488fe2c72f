#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest and gtest_discover_tests: quiet, with the
# program's exit status, and with Unix line ends (the test listing parser does not expect \r).
set -o pipefail
export WINEDEBUG=${WINEDEBUG:--all}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
run() {
  wine "$@" | tr -d '\r' > "$out"
  return "${PIPESTATUS[0]}"
}
run "$@"
status=$?
# Under a loaded Wine a launch now and then dies before the program's first line (about one in
# a few thousand). That is Wine failing to start the process, not a test failing: a program that
# printed nothing at all is started once more. Anything that printed a line is judged as it is.
if [ "$status" -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine-run: $(basename "$1") exited with status $status before printing anything; starting it again" >&2
  run "$@"
  status=$?
fi
cat "$out"
# Wine's own errors are silenced above, so name the status of a failure.
if [ "$status" -ne 0 ]; then
  echo "wine-run: $(basename "$1") exited with status $status" >&2
fi
exit "$status"

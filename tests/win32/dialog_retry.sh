#!/usr/bin/env bash
# Runs one live dialog test, and once more in a fresh process when it ended with 75: the
# open-file chooser never appeared, a rare hang of the window system under emulation.
#   dialog_retry.sh COMMAND [ARGS...]
# The output goes through a file: the first windowed program starts Wine's desktop
# process, which inherits its output and lives until the last window of any test is gone;
# a pipe to the test runner would keep this test "running" all that time.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run() {
  "$@" >"$log" 2>&1 </dev/null
  status=$?
  cat "$log"
}
run "$@"
if [ "$status" -eq 75 ]; then
  echo "dialog_retry.sh: the open-file chooser did not appear; running the test once more"
  run "$@"
fi
exit "$status"

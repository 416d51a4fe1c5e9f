# shellcheck shell=bash
# Shared by the scripts; sourced, never run.

# quietly COMMAND...: runs COMMAND with its output held back (in memory, so
# an interrupted run leaves no file of it; a process COMMAND leaves running
# with that output would hold it up, as Wine's services do); shows all of
# it and names the command when it fails, so a failed build says why.
quietly() {
  local output status=0
  output=$("$@" 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    printf '%s\n' "$output" >&2
    echo "$(basename "$0"): failed ($status): $*" >&2
  fi
  return "$status"
}

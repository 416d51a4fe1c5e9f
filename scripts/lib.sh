# shellcheck shell=bash
# Shared by the scripts; sourced, never run.

# quietly COMMAND...: runs COMMAND with its output held back; shows all of it
# and names the command when it fails, so a failed build says why.
quietly() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$log" >&2
    echo "$(basename "$0"): failed ($status): $*" >&2
  fi
  rm -f "$log"
  return "$status"
}

# shellcheck shell=bash
# Shared by wine-run (64-bit programs) and wine32-run (32-bit programs):
# the throwaway prefix, made once under a lock, and the run of one program.
# Sourced, never run.

# kit_wine_usage COUNT ARGS...: the usage line of the calling runner, and
# exit 2, unless ARGS has at least COUNT words (its header's first line
# after "#!" names the form).
kit_wine_usage() {
  local count=$1
  shift
  [ "$#" -ge "$count" ] && return 0
  sed -n '2s/^# /usage: /p' "$0" >&2
  exit 2
}

# kit_wine_env PREFIX: the environment of every Wine process of the kit
# (Wine wants the prefix as an absolute path). Wine makes its server's
# socket directory under TMPDIR, and every process of a prefix must see the
# same one to find its server: the folder beside the prefix, which also
# holds the runners' scratch files, so nothing of a run lands in /tmp, even
# when the run is killed.
kit_wine_env() {
  WINEPREFIX=$(realpath -m "$1")
  TMPDIR=$WINEPREFIX.tmp
  export WINEPREFIX TMPDIR
  [ -d "$TMPDIR" ] || mkdir -p "$TMPDIR"
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

# kit_wine_prefix_once PREFIX MAKER...: runs MAKER (which makes the prefix)
# unless the prefix is ready; concurrent callers wait for the first.
kit_wine_prefix_once() {
  local prefix=$1
  shift
  [ -f "$prefix/.kit-ready" ] && return 0
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.kit-ready" ]; then
      "$@"
      touch "$prefix/.kit-ready"
    fi
  ) 9>"$prefix.lock"
}

# kit_wine_no_debugger WINE [REGISTRY-VIEW]: a crash prints one line
# instead of starting a debugger (REGISTRY-VIEW /reg:32 for 32-bit programs).
kit_wine_no_debugger() {
  local wine=$1 key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
  shift
  WINEDEBUG=-all "$wine" reg add "$key" /v Debugger /d 'kit-no-debugger.exe' /f "$@" >/dev/null 2>&1
  WINEDEBUG=-all "$wine" reg add "$key" /v Auto /d 1 /f "$@" >/dev/null 2>&1
}

# kit_wine_exec COMMAND...: runs one Wine program and passes on its output
# and exit status. The first Wine process of a server session starts Wine's
# background services, and they inherit its standard output and error: a
# caller reading those through a pipe would wait until the services end.
# So the program writes to files of its own (under kit_wine_env's
# TMPDIR), passed on once it has exited.
kit_wine_exec() {
  local status=0
  kit_out=$(mktemp)
  kit_err=$(mktemp)
  trap 'rm -f "$kit_out" "$kit_err"' EXIT
  "$@" >"$kit_out" 2>"$kit_err" || status=$?
  cat "$kit_out"
  cat "$kit_err" >&2
  return $status
}

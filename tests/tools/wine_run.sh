#!/usr/bin/env bash
# Runs a Windows program in the tests' private Wine prefix, under a time limit.
# Usage: wine_run.sh WINE_ROOT PROGRAM [ARGS...]
# A wineserver kept alive between runs makes each start take milliseconds. The
# program's output goes through files because Wine's desktop process inherits
# the output handles and lingers for a second after the program ends; a caller
# reading a pipe (ctest) would wait for it every time.
set -u
root=$1
shift
export WINEPREFIX=$root/prefix HOME=$root/home WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
wineserver -p60 2>/dev/null || true

out=$(mktemp) err=$(mktemp)
timeout -k 5 "${TW_WINE_TIMEOUT:-120}" wine "$@" </dev/null >"$out" 2>"$err"
rc=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $rc

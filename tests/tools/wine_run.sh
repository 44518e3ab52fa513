#!/usr/bin/env bash
# Runs a Windows program in the tests' private Wine prefix, under a time limit.
# Usage: wine_run.sh WINE_ROOT PROGRAM [ARGS...]
# A wineserver kept alive between runs makes each start take milliseconds.
set -u
root=$1
shift
export WINEPREFIX=$root/prefix HOME=$root/home WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
wineserver -p60 2>/dev/null || true
exec timeout -k 5 "${TW_WINE_TIMEOUT:-120}" wine "$@"

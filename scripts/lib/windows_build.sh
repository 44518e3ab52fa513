# Sourced by scripts/test and scripts/demo: configures a Windows build folder
# whose eleven origins point at a loopback port that is free right now. The
# origins are compiled into the program, so the port belongs to the build
# folder; another checkout, a demo or any program may hold it meanwhile.

port_tool=$PWD/tests/tools/loopback_port.py

# The port DIR's cache compiles in, empty when DIR is not configured for loopback.
configured_port() {
  [ -f "$1/CMakeCache.txt" ] || return 0
  sed -n 's|^TW_VENDOR_ORIGIN:[A-Z]*=http://127\.0\.0\.1:\([0-9]*\)$|\1|p' "$1/CMakeCache.txt"
}

# The windows preset's own port.
preset_port() {
  sed -n 's|^ *"TW_VENDOR_ORIGIN": *"http://127\.0\.0\.1:\([0-9]*\)".*|\1|p' CMakePresets.json
}

# The windows preset's origins moved to port $1, as -D arguments, one a line.
origin_definitions() {
  sed -n 's|^ *"\(TW_[A-Z_]*_ORIGIN\)": *"http://127\.0\.0\.1:[0-9]*\([^"]*\)".*|-D\1=http://127.0.0.1:'"$1"'\2|p' \
    CMakePresets.json
}

# Usage: configure_windows_build DIR [PORT [PRESET]]
# Leaves DIR alone when it is configured and its port is free. Otherwise
# configures it from PRESET (default windows; windows-release has the same
# origins) on PORT when that is free (default: the preset's port; "any" for
# no preference), else on a free port.
configure_windows_build() {
  local dir=$1 port chosen preset=${3:-windows}
  local -a defs
  port=$(configured_port "$dir")
  if [ -n "$port" ]; then
    python3 "$port_tool" free "$port" && return 0
  else
    port=${2:-$(preset_port)}
  fi
  if [ "$port" = any ]; then
    chosen=$(python3 "$port_tool" pick) || return 1
  else
    chosen=$(python3 "$port_tool" pick "$port") || return 1
  fi
  mapfile -t defs < <(origin_definitions "$chosen")
  if [ ${#defs[@]} -ne 11 ]; then
    echo "CMakePresets.json: expected the windows preset's eleven loopback origins, found ${#defs[@]}" >&2
    return 1
  fi
  if [ "$port" != any ] && [ "$chosen" != "$port" ]; then
    echo "Port $port on 127.0.0.1 is busy; $dir now uses port $chosen"
  fi
  cmake --preset "$preset" -B "$dir" "${defs[@]}" >/dev/null
}

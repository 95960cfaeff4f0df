#!/usr/bin/env bash
# `tamsu-cli ports` from process start to exit, median of 20, on a machine with a virtual port
# (the simulator's) and a remembered network port besides its own ports. Goal: under 20 ms.
# Usage: bench/ports_timing.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
cli=$build/cli/tamsu-cli
sim=$build/sim/tamsu-sim
[ -x "$cli" ] && [ -x "$sim" ] || { echo "build tamsu-cli and tamsu-sim into $build first" >&2; exit 1; }

work=$(mktemp -d /tmp/tamsu-ports-bench-XXXXXX)
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_CONFIG_HOME/tamsu-tools"
echo "tcp://192.0.2.1:4001" >"$XDG_CONFIG_HOME/tamsu-tools/network-ports"
"$sim" --profile generic --link bench-ttyV0 >"$work/sim.out" 2>"$work/sim.err" &
simpid=$!
trap 'kill $simpid 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
[ -s "$work/sim.out" ] || { cat "$work/sim.err" >&2; exit 1; }

"$cli" ports
# Bash's own clock, so no helper process is timed with it; the same for --version, the cost of
# starting the program at all. CPU time (user + system) too: on a busy machine the wall clock
# mostly says how long the program waited for a core.
median_of_20() {
  local TIMEFORMAT='%3R %3U %3S' walls=() cpus=() t wall user sys
  for _ in $(seq 20); do
    t=$( { time "$cli" "$@" >/dev/null; } 2>&1 )
    read -r wall user sys <<<"$t"
    walls+=($((10#${wall/./})))
    cpus+=($((10#${user/./} + 10#${sys/./})))
  done
  local w=($(printf '%s\n' "${walls[@]}" | sort -n)) c=($(printf '%s\n' "${cpus[@]}" | sort -n))
  echo "median $(( (w[9] + w[10]) / 2 )) ms (least ${w[0]}, most ${w[19]}); CPU median $(( (c[9] + c[10]) / 2 )) ms"
}
echo "tamsu-cli ports, start to exit, of 20: $(median_of_20 ports); goal under 20 ms"
echo "tamsu-cli --version, the same:         $(median_of_20 --version)"

#!/usr/bin/env bash
# What tamsu-cli costs beyond the line, against the simulator:
#  1. `tamsu-cli read TemHumPage` at a known address and rate (its two exchanges), process
#     start to exit, median of 20, against the time those exchanges waited for the line in the
#     same run (--timing). Goal: start-up and exit add under 30 ms.
#  2. `tamsu-cli provision --dry-run` of a three-row plan, process start to exit, median of 20.
#     Goal: under 50 ms.
#  3. The same plan, three simulated transmitters connected one after another
#     on one virtual port: per transmitter, the time from the scan that found it to its record,
#     split into waiting for the line and the tool's own time.
# Usage: bench/cli_timing.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
cli=$build/cli/tamsu-cli
sim=$build/sim/tamsu-sim
[ -x "$cli" ] && [ -x "$sim" ] || { echo "build tamsu-cli and tamsu-sim into $build first" >&2; exit 1; }

work=$(mktemp -d /tmp/tamsu-cli-bench-XXXXXX)
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulator on the link bench-ttyV0; prints nothing, sets $port and $simpid.
start_sim() {
  "$sim" --profile "$1" --no-drift --link bench-ttyV0 >"$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  sims+=("$simpid")
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
  port=$(head -n 1 "$work/sim.out")
  [ -n "$port" ] || { cat "$work/sim.err" >&2; exit 1; }
}
stop_sim() {
  kill "$simpid"
  wait "$simpid" 2>/dev/null || true
  : >"$work/sim.out"
}

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }

echo "== tamsu-cli read TemHumPage, 20 runs"
start_sim TemHumPage
: >"$work/wall" ; : >"$work/line"
for _ in $(seq 20); do
  t0=$EPOCHREALTIME
  "$cli" read TemHumPage --port "$port" --address 1 --baud 9600 --timing >/dev/null 2>"$work/timing"
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f\n", (b - a) * 1000}' >>"$work/wall"
  sed -n 's/.*exchanges, \([0-9.]*\) ms waiting.*/\1/p' "$work/timing" >>"$work/line"
  grep -q ' 2 exchanges' "$work/timing" || { echo "not two exchanges: $(cat "$work/timing")" >&2; exit 1; }
done
paste "$work/wall" "$work/line" | awk '{print $1 - $2}' >"$work/own"
printf 'process start to exit  median %s ms\n' "$(median <"$work/wall")"
printf 'its two exchanges      median %s ms\n' "$(median <"$work/line")"
printf 'start-up and exit      median %s ms (goal: under 30 ms)\n' "$(median <"$work/own")"
stop_sim

cat >"$work/plan.csv" <<'PLAN'
page,address,baud
TemHumKanbanPage,11,4800,Tem Upper=30.5,Hum Upper=80
TemHumKanbanPage,12,2400,Tem Upper=31.5,Hum Under=20
TemHumKanbanPage,13,9600,Tem Cali=-1.5
PLAN

echo "== tamsu-cli provision --dry-run of three rows, 20 runs"
: >"$work/dry"
for _ in $(seq 20); do
  t0=$EPOCHREALTIME
  "$cli" provision "$work/plan.csv" --dry-run >/dev/null
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f\n", (b - a) * 1000}' >>"$work/dry"
done
printf 'process start to exit  median %s ms (goal: under 50 ms)\n' "$(median <"$work/dry")"

echo "== provisioning three transmitters on one port"
mkfifo "$work/enter"
start_sim TemHumKanbanPage
"$cli" provision "$work/plan.csv" --record "$work/record.csv" --port bench-ttyV0 --format csv \
  <"$work/enter" >"$work/provision.csv" 2>"$work/provision.err" &
cli_pid=$!
exec 3>"$work/enter"
for row in 1 2 3; do
  echo >&3
  for _ in $(seq 600); do [ "$(tail -n +2 "$work/provision.csv" | wc -l)" -ge "$row" ] && break; sleep 0.05; done
  [ "$(tail -n +2 "$work/provision.csv" | wc -l)" -ge "$row" ] || { cat "$work/provision.err" >&2; exit 1; }
  stop_sim
  [ "$row" -lt 3 ] && start_sim TemHumKanbanPage
done
exec 3>&-
wait "$cli_pid"
awk -F, 'NR > 1 {printf "transmitter %s: %.0f ms from the scan that found it to its record: %.0f ms waiting for the line, %.0f ms the tool'"'"'s own\n", $1, $9 * 1000, $10 * 1000, ($9 - $10) * 1000}' "$work/provision.csv"

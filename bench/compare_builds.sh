#!/usr/bin/env bash
# Runs the benchmarks of two builds in turn (first, second, first, second, ...) so that both
# meet the same machine load, and keeps each run as JSON with the load average beside it.
#
#   bench/compare_builds.sh FIRST_BUILD SECOND_BUILD OUT_DIR [ROUNDS [FIRST_ROUND]]
#
# BENCHES="driver_bench:. journal_bench:BM_X" runs only those (program:filter); a program
# named differently in the first build is given as FIRST_NAME=SECOND_NAME:filter. FIRST_ROUND
# numbers the rounds on from an earlier run into the same OUT_DIR.
#
# FIRST_BUILD and SECOND_BUILD are build folders (each with its bench/ programs); OUT_DIR
# receives <bench>.<first|second>.<round>.json and load.txt. bench/compare_report.py turns
# them into a table. A benchmark missing from a build is skipped there and said so.
set -euo pipefail

if [[ $# -lt 3 ]]; then
  echo "usage: $0 FIRST_BUILD SECOND_BUILD OUT_DIR [ROUNDS]" >&2
  exit 2
fi
first=$(realpath "$1")
second=$(realpath "$2")
out=$3
rounds=${4:-3}
first_round=${5:-1}
mkdir -p "$out"

# Program and filter; the filter keeps to what both builds measure alike.
default_benches=(
  "driver_bench:."
  "receipts_bench:."
  "reports_bench:."
  "documents_bench:."
  "entry_bench:."
  "journal_bench:BM_JournalDocumentThreeCommits"
  "log_writer_bench:."
  "http_client_bench=http_transport_bench:."
  "emulator_bench:."
)
if [[ -n ${BENCHES:-} ]]; then read -r -a benches <<<"$BENCHES"; else benches=("${default_benches[@]}"); fi

for entry in "${benches[@]}"; do
  names=${entry%%:*}
  filter=${entry#*:}
  first_name=${names%%=*}
  name=${names#*=}
  for ((round = first_round; round < first_round + rounds; ++round)); do
    for side in first second; do
      if [[ $side == first ]]; then program=$first/bench/$first_name; else program=$second/bench/$name; fi
      if [[ ! -x $program ]]; then
        echo "$name $side: $program not built" | tee -a "$out/load.txt"
        continue
      fi
      echo "$(date -u +%H:%M:%S) $name $side round $round load $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$out/load.txt"
      "$program" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --benchmark_filter="$filter" --benchmark_format=json \
        --benchmark_out="$out/$name.$side.$round.json" --benchmark_out_format=json >/dev/null
    done
  done
done
echo "$(date -u +%H:%M:%S) end load $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$out/load.txt"

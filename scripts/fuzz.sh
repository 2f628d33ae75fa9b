#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time (seconds per
# target: first argument, default 20). Seeds come from fuzz/corpus/<target>;
# new inputs go to build/fuzz/corpus/<target>. A crash fails the run and its
# reproducer is kept in build/fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
mkdir -p build/fuzz/crashes
status=0
for fuzzer in build/fuzz/fuzzers/*; do
  name=$(basename "$fuzzer")
  mkdir -p "build/fuzz/corpus/$name"
  echo "=== fuzz: $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="build/fuzz/crashes/$name-" \
      "build/fuzz/corpus/$name" "fuzz/corpus/$name" >"build/fuzz/$name.log" 2>&1; then
    echo "FAILED: $name (reproducer in build/fuzz/crashes/)"
    tail -n 40 "build/fuzz/$name.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^Done' "build/fuzz/$name.log" | tail -n 2 || true
  fi
done
exit $status

#!/usr/bin/env bash
# Builds what the benchmarks need and runs them all, then prints one table:
# each figure of pravik next to its floor measured in the same run, the ratio
# of their medians and the goal. Wine figures share one Wine prefix of the
# script's own (created here, removed at the end) with a keep-alive process.
#
#   bash scripts/bench.sh            # 9 runs per figure
#   BENCH_RUNS=15 bash scripts/bench.sh
#
# Benchmarks never fail a build: the table is for reading, not asserting.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
runs=${BENCH_RUNS:-9}
jvm_runs=${BENCH_JVM_RUNS:-5}
work=${BENCH_DIR:-/tmp/pravik-bench-$(id -u)}
jobs=${BENCH_JOBS:-2}
mkdir -p "$work"
log=$work/build.log
: >"$log"

winpath() { echo "Z:$1" | sed 's#/#\\#g'; }

echo "building (log: $log)"
cmake --preset windows-x64 -B "$work/x64" >>"$log" 2>&1
cmake --build "$work/x64" -j "$jobs" --target pravik pravik_test_jvm pravik_minimal_jvm keepalive >>"$log" 2>&1
jdk=$(sed -n 's/^PRAVIK_JDK_HOME:PATH=//p' "$work/x64/CMakeCache.txt")
cmake -S bench -B "$work/bench-x64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake" -DPRAVIK_BUILD_DIR="$work/x64" \
      -DPRAVIK_JDK_HOME="$jdk" >>"$log" 2>&1
cmake --build "$work/bench-x64" -j "$jobs" >>"$log" 2>&1
cmake -S . -B "$work/native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPRAVIK_BUILD_TESTS=OFF >>"$log" 2>&1
cmake --build "$work/native" -j "$jobs" --target pravik_portable >>"$log" 2>&1
cmake -S bench -B "$work/bench-native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DPRAVIK_BUILD_DIR="$work/native" >>"$log" 2>&1
cmake --build "$work/bench-native" -j "$jobs" >>"$log" 2>&1

export WINEPREFIX=$work/wineprefix WINEDEBUG=-all
cleanup() { bash "$repo/tests/wine/prefix-down.sh" "$WINEPREFIX" >/dev/null 2>&1 || true; }
trap cleanup EXIT
echo "starting the Wine prefix $WINEPREFIX"
bash tests/wine/prefix-up.sh "$WINEPREFIX" "$work/x64/tests/keepalive.exe" >/dev/null

figures=$work/figures.txt
: >"$figures"
scratch=$work/scratch
mkdir -p "$scratch"
b=$work/bench-x64
echo "service start, stop, controls (SCM and console pipe) and memory: $runs runs each"
wine "$b/servicebench.exe" "$(winpath "$work/x64/pravik.exe")" "$(winpath "$b/floorservice.exe")" \
     "$(winpath "$b/floorsender.exe")" "$(winpath "$work/x64/testjvm/jvm-minimal.dll")" \
     "$(winpath "$scratch")" "$runs" "$(winpath "$b/floorpipeserver.exe")" "$(winpath "$b/floorpipeclient.exe")" \
     "$(winpath "$b/floorjvmservice.exe")" </dev/null >>"$figures" 2>"$work/servicebench.err" ||
  echo "servicebench failed: $(cat "$work/servicebench.err")"
echo "trace: $runs runs"
wine "$b/tracebench.exe" "$(winpath "$scratch")" "$runs" </dev/null >>"$figures" 2>"$work/tracebench.err" ||
  echo "tracebench failed: $(cat "$work/tracebench.err")"
echo "output capture: $runs runs"
wine "$b/capturebench.exe" "$(winpath "$scratch")" "$runs" </dev/null >>"$figures" 2>"$work/capturebench.err" ||
  echo "capturebench failed: $(cat "$work/capturebench.err")"
echo "JVM creation through the test JVM: $jvm_runs runs"
jvm_times=()
for _ in $(seq 1 "$jvm_runs"); do
  t=$(wine "$b/jvmcreatebench.exe" "$(winpath "$work/x64/testjvm/jvm.dll")" \
           "$(winpath "$work/x64/pravik.jar")" </dev/null 2>>"$work/jvmcreate.err" | tr -d '\r' || true)
  [ -n "$t" ] && jvm_times+=("$t")
done
if [ ${#jvm_times[@]} -gt 0 ]; then
  jvm_median=$(printf '%s\n' "${jvm_times[@]}" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}')
  echo "JVM creation, LoadLibraryW to a created JVM (ms)||$jvm_median|ms" >>"$figures"
fi
echo "configuration parsing, native: $runs runs"
"$work/bench-native/configparsebench" "$runs" >>"$figures"

tr -d '\r' <"$figures" | awk -F'|' '
  function goal(name) {
    if (name ~ /^service start/) return "<= 1.10";
    if (name ~ /^service stop/) return "<= 1.15";
    if (name ~ /^control/) return "<= 1.2";
    if (name ~ /^peak private/) return "+ < 1024 KiB";
    if (name ~ /^config parse/) return "~ 10 (linear)";
    if (name ~ /^trace off/) return "~ 0";
    if (name ~ /^output capture/) return ">= 0.8";
    return "-";
  }
  BEGIN { printf "| %-58s | %12s | %12s | %16s | %-13s |\n", "Figure (median)", "floor", "pravik", "ratio", "goal";
          printf "|%s|%s|%s|%s|%s|\n", "------------------------------------------------------------", "--------------", "--------------", "------------------", "---------------" }
  {
    ratio = "-";
    if ($2 != "" && $3 != "pending" && $2 + 0 > 0) {
      ratio = sprintf("%.2f", $3 / $2);
      if ($1 ~ /^peak/) ratio = sprintf("%.2f (%+.0f KiB)", $3 / $2, $3 - $2);
    }
    printf "| %-58s | %12s | %12s | %16s | %-13s |\n", $1, $2 == "" ? "-" : $2, $3, ratio, goal($1)
  }'
echo
echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1); $(wine --version)"

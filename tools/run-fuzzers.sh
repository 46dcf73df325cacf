#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time, seeded from the example files, the benchmark
# corpus (when ../shared/bench is beside the repository) and the saved regression inputs.
# Usage: tools/run-fuzzers.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=$1 seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
shared_bench="$root/../shared/bench"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

seed_queries() {  # one file per query line
  local out=$1; shift
  local n=0
  for f in "$@"; do
    [ -f "$f" ] || continue
    while IFS= read -r line; do
      [ -n "$line" ] || continue
      printf '%s' "$line" > "$out/seed-$n"; n=$((n + 1))
    done < "$f"
  done
}

for target in fuzz_validate fuzz_extract fuzz_schema_json; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  if [ "$target" = fuzz_schema_json ]; then
    cp "$root"/examples/*.json "$corpus"/ 2>/dev/null || true
    [ -f "$shared_bench/schema.json" ] && cp "$shared_bench/schema.json" "$corpus/bench-schema.json"
  else
    seed_queries "$corpus" "$shared_bench/queries.txt" "$root"/examples/*.cypher
  fi
  dirs=("$corpus")
  regressions="$root/fuzz/regressions/$target"
  [ -d "$regressions" ] && dirs+=("$regressions")
  echo "== $target: ${seconds}s"
  log="$build/$target.log"
  status=0
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/$target-" \
    "${dirs[@]}" > "$log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|Done )' "$log" || true
  if [ "$status" -ne 0 ] || compgen -G "$build/$target-*" > /dev/null; then
    echo "$target failed (exit status $status); see $log" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
done

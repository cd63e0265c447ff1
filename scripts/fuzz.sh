#!/usr/bin/env bash
# The fuzz stage: builds every fuzz target with clang in build-fuzz, runs each for a bounded
# time (FUZZ_SECONDS, default 20; FUZZ_JOBS targets at once, default 2), then replays every
# seed and regression input through the instrumented targets. A fault fails the stage and
# names the input that shows it. scripts/fuzz.sh [TARGET...] runs only those targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-20}
jobs=${FUZZ_JOBS:-2}
build="$root/build-fuzz"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# Paths below the clone are hashed relative to it, so a clone elsewhere reuses the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-true}"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DPW_WERROR=ON -DPW_FUZZ=ON -DPW_BENCH=OFF \
  "${launcher[@]}" >/dev/null
ninja -C "$build" pwfuzz

if (($#)); then
  targets=("$@")
else
  targets=()
  for src in "$root"/fuzz/*_fuzz.cpp; do
    name=$(basename "$src" _fuzz.cpp)
    targets+=("$name")
  done
fi

out="$build/fuzz-run"
rm -rf "$out"
mkdir -p "$out"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# One target for the bounded time: new inputs go to a scratch corpus under build-fuzz (the seed
# corpus in the tree stays as it is); a fault leaves its input under fuzz-run/NAME/.
run_one() {
  local name=$1
  local dir="$out/$name"
  mkdir -p "$dir/corpus"
  # libFuzzer refuses a corpus folder that does not exist; a target without regressions yet
  # runs on its seeds alone.
  local extra=()
  [[ -d "$root/fuzz/regressions/$name" ]] && extra+=("$root/fuzz/regressions/$name")
  if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$dir/" \
      "$dir/corpus" "$root/fuzz/corpus/$name" "${extra[@]}" >"$dir/log" 2>&1; then
    echo ok >"$dir/status"
  else
    echo failed >"$dir/status"
  fi
}
export -f run_one
export build root out seconds

echo "== fuzz: ${#targets[@]} targets, ${seconds} s each, ${jobs} at a time"
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'

failed=0
printf '%-18s %10s %8s %8s\n' target exec/s cov: ft:
for name in "${targets[@]}"; do
  dir="$out/$name"
  # The last status line of the run carries the coverage; the final stats the speed.
  line=$(grep -E '^#[0-9]+' "$dir/log" | tail -1 || true)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$line")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$line")
  speed=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$dir/log" | tail -1)
  printf '%-18s %10s %8s %8s\n' "$name" "${speed:--}" "${cov:--}" "${ft:--}"
  if [[ $(cat "$dir/status") != ok ]]; then
    failed=1
    echo "fuzz: $name FAILED; its log is $dir/log" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz oracle failed|.*runtime error)' "$dir/log" | head -5 >&2 || true
    for f in "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-*; do
      [[ -e "$f" ]] && echo "fuzz: reproducer $f (keep it in fuzz/regressions/$name/ once fixed)" >&2
    done
  fi
done

echo "== fuzz: replay of the seed corpora and regression inputs"
for name in "${targets[@]}"; do
  mapfile -t inputs < <(find "$root/fuzz/corpus/$name" "$root/fuzz/regressions/$name" -type f ! -name '.*' | sort)
  ((${#inputs[@]})) || { echo "fuzz: $name has no seed inputs" >&2; failed=1; continue; }
  if ! "$build/fuzz/fuzz_$name" -timeout=10 -rss_limit_mb=2048 "${inputs[@]}" >"$out/$name.replay" 2>&1; then
    failed=1
    echo "fuzz: replay of $name FAILED at $(grep -E '^Running: ' "$out/$name.replay" | tail -1 | cut -d' ' -f2-)" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz oracle failed)' "$out/$name.replay" | head -3 >&2 || true
  fi
done
((failed == 0)) || { echo "== fuzz: FAILED"; exit 1; }
echo "== fuzz: no fault"

#!/usr/bin/env bash
# Runs every built fuzz target for a while on a copy of its committed seed corpus.
# Usage: run-fuzzers.sh FUZZ_BUILD_DIR SECONDS_EACH
# Exits non-zero when any target finds a crash, a leak or undefined behaviour.
set -euo pipefail
build=${1:?usage: run-fuzzers.sh FUZZ_BUILD_DIR SECONDS_EACH}
seconds=${2:?usage: run-fuzzers.sh FUZZ_BUILD_DIR SECONDS_EACH}
root=$(cd "$(dirname "$0")/.." && pwd)
targets="fuzz_ico_reader fuzz_convert fuzz_large_png fuzz_inflate"
# Each input stays far below the library's caps, so memory stays bounded while fuzzing.
max_len=65536
rss_limit_mb=1024

status=0
for target in $targets; do
  binary=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
  if [ -z "$binary" ]; then
    echo "no $target under $build (configure with -DTARNEL_FUZZ=ON and clang)" >&2
    exit 2
  fi
  work=$(mktemp -d)
  cp "$root/fuzz/corpus/$target"/* "$work"/
  # The large-source reader's seeds declare pictures of millions of pixels, which the
  # instrumented build takes seconds over; a hang is still many times that.
  timeout=10
  [ "$target" = fuzz_large_png ] && timeout=60
  echo "== $target for ${seconds}s"
  if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 "$binary" "$work" \
      -max_total_time="$seconds" -max_len=$max_len -rss_limit_mb=$rss_limit_mb -timeout=$timeout \
      -artifact_prefix="$build/$target-" -print_final_stats=1 2>&1 | tail -n 25; then
    status=1
  fi
  rm -rf "$work"
done
exit $status

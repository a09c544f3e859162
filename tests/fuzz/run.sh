#!/usr/bin/env bash
# Builds the text-function fuzzer for this machine and runs it for a bounded time.
#   tests/fuzz/run.sh [--seconds N] [--build-dir DIR]
# Exit status: 0 nothing found, 1 a finding (the input is kept in DIR/findings), 77 clang or
# its libFuzzer is missing (Debian: clang and libclang-rt-14-dev).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=60
build="$root/build/fuzz${KORVO_BUILD_TAG:-}"
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--build-dir DIR]" >&2; exit 2 ;;
  esac
done

if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found: fuzzing skipped"; exit 77
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1; then
  echo "clang's libFuzzer not available: fuzzing skipped"; exit 77
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" -j 2 >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

# The corpus grows across runs in the build folder; findings are kept beside it.
mkdir -p "$build/corpus" "$build/findings"
echo "fuzzing the launcher's text functions for ${seconds}s"
"$build/text_fuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 -error_exitcode=1 -rss_limit_mb=1024 \
  -artifact_prefix="$build/findings/" -print_final_stats=1 "$build/corpus" >"$build/fuzz.log" 2>&1
status=$?
grep -E "^#[0-9]+ +DONE|^stat::number_of_executed_units|^stat::new_units_added" "$build/fuzz.log"
echo "corpus: $(find "$build/corpus" -type f | wc -l) inputs"
if [ $status -ne 0 ]; then
  echo "FOUND a failing input (exit $status):"
  grep -E "property failed|called the system function|ERROR: |runtime error|SUMMARY" "$build/fuzz.log" | head -20
  ls -1 "$build/findings"
  exit 1
fi
echo "nothing found"

#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS, one after the other.
#   fuzz/run.sh SECONDS [target ...]      targets: header event shed par tb0 rag pdl
# Corpora grow in build-fuzz/corpus/<target>; crashes, timeouts and
# out-of-memory inputs land in build-fuzz/findings/<target>.
# Not part of CI.
set -euo pipefail
secs=${1:?usage: fuzz/run.sh SECONDS [target ...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-fuzz
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(header event shed par tb0 rag pdl)

command -v clang++ >/dev/null || { echo "needs clang (Debian: apt-get install clang)"; exit 2; }
CXX=clang++ cmake -S "$root/fuzz" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j2 >/dev/null

# Seeds: the example basin's files, the test inputs kept under fuzz/seeds.
seed() {  # target, files...
    local t=$1; shift
    mkdir -p "$out/corpus/$t"
    for f in "$@"; do [ -f "$f" ] && cp "$f" "$out/corpus/$t/" || true; done
}
ex=$root/examples
seeds() {  # the seed files of a target
    case $1 in
        header) echo "$ex"/basin/demo_shd.r2c "$ex"/raing/*.tb0 "$ex"/event/*.evt "$root"/fuzz/seeds/header/* ;;
        event) echo "$ex"/event/*.evt ;;
        shed) echo "$ex"/basin/demo_shd.r2c "$root"/fuzz/seeds/shed/* ;;
        par) echo "$ex"/basin/demo_par.csv ;;
        tb0) echo "$ex"/raing/*.tb0 "$root"/fuzz/seeds/tb0/* ;;
        rag) echo "$root"/fuzz/seeds/rag/* ;;  # a leading byte chooses the watershed kind
        pdl) echo "$ex"/basin/demo.pdl "$root"/fuzz/seeds/pdl/* ;;
    esac
}
for t in "${targets[@]}"; do
    mkdir -p "$out/corpus/$t"
    for f in $(seeds "$t"); do cp -n "$f" "$out/corpus/$t/" 2>/dev/null || true; done
done

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
    mkdir -p "$out/findings/$t"
    echo "== fuzz_$t for ${secs}s"
    # Fork mode goes on past a finding so one run reports them all.
    "$out/fuzz_$t" -fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 \
        -max_total_time="$secs" -timeout=20 -rss_limit_mb=2560 -max_len=65536 \
        -artifact_prefix="$out/findings/$t/" "$out/corpus/$t" >"$out/fuzz_$t.log" 2>&1 || status=1
    n=$(find "$out/findings/$t" -type f | wc -l)
    echo "   $(grep -a -E '#[0-9]+' "$out/fuzz_$t.log" | tail -1 | cut -c1-120)"
    echo "   findings: $n (build-fuzz/findings/$t)"
    [ "$n" -eq 0 ] || status=1
done
exit $status

#!/bin/sh
# Builds the program (Release), writes the benchmark basins S, M and L under
# build/bench/ (bench/make_basin.py) and runs build/nimbex on each several
# times. Prints the median wall time per event and the largest peak memory
# (resident set) of the runs.
#
#   bench/run.sh [runs] [basins...]      e.g. bench/run.sh 5 S M L
#
# NIMBEX_THREADS in the environment is passed on to the program.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
[ $# -gt 0 ] && shift
basins=${*:-S M L}

if [ ! -x /usr/bin/time ]; then
    echo "installing GNU time (/usr/bin/time) for the peak memory figure"
    if [ "$(id -u)" = 0 ]; then
        apt-get install -y time >/dev/null
    else
        sudo apt-get install -y time >/dev/null
    fi
fi

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j2 --target nimbex >/dev/null

bench="$root/build/bench"
for b in $basins; do
    [ -f "$bench/$b/event/event.evt" ] || python3 "$root/bench/make_basin.py" --out "$bench" "$b"
done

printf '%-6s %6s %14s %14s %14s\n' basin runs "median s" "fastest s" "peak MB"
for b in $basins; do
    dir="$bench/$b"
    times=""
    peak=0
    i=0
    while [ "$i" -lt "$runs" ]; do
        i=$((i + 1))
        rm -f "$dir"/radcl/*.r2c
        t0=$(date +%s%N)
        (cd "$dir" && /usr/bin/time -f '%M' -o "$dir/time.txt" "$root/build/nimbex" </dev/null >"$dir/console.txt")
        t1=$(date +%s%N)
        t=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", (b - a) / 1e9}')
        read -r kb <"$dir/time.txt"
        times="$times $t"
        [ "$kb" -gt "$peak" ] && peak=$kb
    done
    # One event per basin: the wall time of a run is the time per event.
    median=$(printf '%s\n' $times | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}')
    fastest=$(printf '%s\n' $times | sort -n | head -1)
    printf '%-6s %6d %14s %14s %14d\n' "$b" "$runs" "$median" "$fastest" $((peak / 1024))
done

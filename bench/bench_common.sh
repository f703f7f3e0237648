# Sourced by the benches, with ROOT (the repository) and WORK (their folder) set.

# Builds the release kelvarin-cli at -O2, as every bench measures it, and bench_tool.c into WORK;
# sets CLI and TOOL.
build_bench_tools() {
    cmake -S "$ROOT" -B "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DKELVARIN_BUILD_TESTS=OFF >/dev/null
    cmake --build "$ROOT/build-release" -j2 --target kelvarin-cli >/dev/null
    CLI=$ROOT/build-release/kelvarin-cli
    TOOL=$WORK/bench_tool
    cc -O2 -o "$TOOL" "$ROOT/bench/bench_tool.c"
}

# interleave "NAME|COMMAND"...: runs the commands in turn, RUNS times, each through `TOOL run`, and
# keeps each name's wall-clock seconds in WORK/times.NAME.
interleave() {
    for CASE in "$@"; do : >"$WORK/times.${CASE%%|*}"; done
    i=0
    while [ $i -lt "$RUNS" ]; do
        for CASE in "$@"; do
            "$TOOL" run "${CASE#*|}" | cut -d' ' -f1 >>"$WORK/times.${CASE%%|*}"
        done
        i=$((i + 1))
    done
}

# median NAME: the median of the times interleave kept for NAME.
median() { sort -n "$WORK/times.$1" | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

ratio() { echo "scale=2; $1 / $2" | bc; }

#!/usr/bin/env bash
# Runs the twin bench of the gpu device against raw GL several times (the machine may be
# shared: one run can be disturbed) and prints every run and the median over the runs of
# each ratio device / raw.
#   bench/gpu_twins.sh [build folder] [runs] [arguments of bench_gpu_twins...]
# LP_NUM_THREADS=0 in the environment gives the steadiest figures on the software rasteriser.
set -euo pipefail
build=${1:-build}
runs=${2:-5}
shift $(( $# > 2 ? 2 : $# ))
out=$(for ((i = 0; i < runs; i++)); do xvfb-run -a "$build/bench/bench_gpu_twins" "$@"; done)
echo "$out"
# medians of the ratios: the figure after "per pass" / "per draw" and after "ratio" (wall)
echo "$out" | grep "processor:" | sed -E 's/^ *([a-z]+) .*ratio device\/raw per [a-z]+ ([0-9.]+) .*wall: .*ratio ([0-9.]+)$/\1 \2 \3/' |
  sort -k1,1 -s | awk '
    function median(list, count,   i, j, t, v) {
      split(list, v, " ")
      for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
      return count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
    }
    { c[$1] = c[$1] " " $2; w[$1] = w[$1] " " $3; n[$1]++ }
    END { for (k in n) printf "median over %d runs: %-5s ratio device/raw processor %.3f, wall %.3f\n", n[k], k, median(c[k], n[k]), median(w[k], n[k]) }'

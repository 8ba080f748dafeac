#!/usr/bin/env bash
# Joins the comparison rows that the benchmark programs of one "make bench" run appended to a
# file (bench/rows.h describes the format) into one Markdown table on standard output.
# Usage: bench-table.sh ROWS-FILE
#
# Each row is compared on CPU time when both sides measured it (the process and the children it
# waited for), else on the wall clock; the Basis column says which.  A row without our times
# takes them from the row of the same work.  Goals: "r1.2" ours / peer at most 1.2 ("r0.2": at
# least 5 times faster), "t0.001" ours at most 1 ms; Met says whether all of a row's goals are.
set -eu
awk -F'\t' '
function duration(s,    unit) {
  if (s >= 1) return sprintf("%.3g s", s)
  if (s >= 1e-3) return sprintf("%.3g ms", s * 1e3)
  if (s >= 1e-6) return sprintf("%.3g µs", s * 1e6)
  return sprintf("%.3g ns", s * 1e9)
}
function goals(list, ratio, ours,    n, part, i, text, met, kind, value) {
  n = split(list, part, ",")
  text = ""; met = "yes"
  for (i = 1; i <= n; i++) {
    kind = substr(part[i], 1, 1); value = substr(part[i], 2) + 0
    if (kind == "r") {
      text = text (text == "" ? "" : ", ") (value < 1 ? sprintf("at least %.2g times faster", 1 / value) \
                                          : value == 1 ? "at least as fast" \
                                          : sprintf("at most %g times the peer", value))
      if (ratio > value) met = "no"
    }
    if (kind == "t") { text = text (text == "" ? "" : ", ") "ours ≤ " duration(value); if (ours > value) met = "no" }
  }
  return n == 0 ? "| | " : "| " text " | " met " "
}
{
  rows[NR] = $0
  if ($2 >= 0 && !($1 in real)) { real[$1] = $2; cpu[$1] = $3 }
}
END {
  print "| Work | kavutil | Peer | Peer time | kavutil / peer | Basis | Goal | Met |"
  print "|---|---|---|---|---|---|---|---|"
  for (i = 1; i <= NR; i++) {
    split(rows[i], f, "\t")
    ours_real = f[2] >= 0 ? f[2] : real[f[1]]
    ours_cpu = f[2] >= 0 ? f[3] : cpu[f[1]]
    if (ours_real == "") continue
    by_cpu = ours_cpu >= 0 && f[6] >= 0
    ours = by_cpu ? ours_cpu : ours_real
    peer = by_cpu ? f[6] : f[5]
    ratio = peer > 0 ? ours / peer : 0
    printf "| %s | %s | %s | %s | %.3g | %s %s|\n", f[1], duration(ours), f[4], duration(peer),
           ratio, by_cpu ? "CPU" : "wall", goals(f[7], ratio, ours)
  }
}' "$1"

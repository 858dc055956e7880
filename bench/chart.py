# SPDX-License-Identifier: MIT
"""Draws the time each lister takes against the number of entries, log-log,
one panel a folder of bench/run, as an SVG: usage: chart.py OUT.svg
SECTION.json..."""
import json
import os
import subprocess
import sys

out, sections = sys.argv[1], sys.argv[2:]
lines = ["pathlist", "floor", "ls -f", "bfs", "find"]
work = os.path.dirname(os.path.abspath(sections[0]))
script = [
    'set terminal svg size 960,440 dynamic font "sans,12" background "white"',
    f'set output "{out}"',
    "set logscale xy",
    "set autoscale xfix",
    "set yrange [0.5:3000]",
    "set format x '10^{%T}'",
    'set xlabel "entries"',
    'set ylabel "median wall time, ms"',
    "set key top left",
    "set grid",
    f"set multiplot layout 1,{len(sections)}",
]
for i, path in enumerate(sections):
    section = json.load(open(path))
    data = os.path.join(work, f"chart-{i}.dat")
    with open(data, "w") as f:
        for n in section["sizes"]:
            medians = section["medians"][str(n)]
            medians["floor"] = medians[section["floor"][str(n)]]
            f.write(f"{n} " + " ".join(f"{medians[name] * 1000:.4f}" for name in lines) + "\n")
    script.append(f'set title "directories on {section["kind"]}"')
    script.append("plot " + ", ".join(
        f'"{data}" using 1:{column + 2} with linespoints lw 2 title "{name}"'
        for column, name in enumerate(lines)))
script.append("unset multiplot")
subprocess.run(["gnuplot"], input="\n".join(script) + "\n", text=True, check=True)

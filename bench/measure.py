# SPDX-License-Identifier: MIT
"""Times the listers of bench/run on each folder's directories and writes
BENCHMARKS.md, a section a folder, and beside it a chart of them all.

The machine is shared and noisy, so no command is timed in a group of its
own: every round runs each command once, in an order shuffled afresh, and a
ratio is taken within each round. What is quoted is the median of those
ratios and their spread (lowest to highest)."""
import argparse
import os
import random
import statistics
import subprocess
import sys
import time


def run(argv, drop_caches=False):
    """Runs argv with its output drained from a pipe, as a reader would take
    it; returns wall, user and system seconds."""
    if drop_caches:
        subprocess.run(["sync"], check=True)
        with open("/proc/sys/vm/drop_caches", "w") as control:
            control.write("3\n")
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    fd = child.stdout.fileno()
    while os.read(fd, 1 << 20):
        pass
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.stdout.close()
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"bench/run: {' '.join(argv)} exited with {child.returncode}")
    return wall, usage.ru_utime, usage.ru_stime


def rounds(commands, count, warmup, drop_caches=False):
    """Runs every command once a round, in shuffled order; returns for each
    name its list of (wall, user, system), one a round, warm-up left out."""
    times = {name: [] for name in commands}
    for number in range(warmup + count):
        order = list(commands)
        random.shuffle(order)
        for name in order:
            result = run(commands[name], drop_caches)
            if number >= warmup:
                times[name].append(result)
    return times


def ratios(times, a, b):
    """The ratio of a to b in each round."""
    return [x[0] / y[0] for x, y in zip(times[a], times[b])]


def spread(values):
    return statistics.median(values), min(values), max(values)


def shown(values, digits=2):
    median, low, high = spread(values)
    return f"{median:.{digits}f} ({low:.{digits}f}–{high:.{digits}f})"


def instructions(argv, work):
    """User-space instructions of one run, counted by callgrind."""
    out = os.path.join(work, "callgrind.out")
    result = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", *argv],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    for line in result.stderr.splitlines():
        if "Collected :" in line:
            return int(line.split(":")[-1])
    sys.exit(f"bench/run: callgrind counted nothing for {' '.join(argv)}")


def peak_kib(argv, work):
    """Median of five peak resident sizes: where the libraries land moves
    it by tens of KiB from run to run."""
    peaks = []
    for _ in range(5):
        rss = os.path.join(work, "rss")
        with subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss, *argv],
                              stdout=subprocess.PIPE) as child:
            while child.stdout.read(1 << 20):
                pass
        peaks.append(int(open(rss).read().split()[-1]))
    return statistics.median(peaks)


def section(a, folder):
    """The Markdown section of one folder, and the figures its chart is drawn
    from."""
    work, sizes = a.work, a.sizes
    built = {name: os.path.join(work, name) for name in
             ("floor-32k-64k", "floor-64k-64k", "floor-1m-1m", "readdir", "empty")}
    pathlist = os.path.join(os.path.dirname(work), "release", "pathlist", "pathlist")
    gridcheck = os.path.join(os.path.dirname(work), "release", "gridcheck", "gridcheck")
    floors = ["floor-32k-64k", "floor-64k-64k", "floor-1m-1m"]
    others = ["ls -f", "bfs", "find"]
    kind = subprocess.run(["df", "--output=fstype", folder], capture_output=True, text=True,
                          check=True).stdout.split()[-1]

    def listers(directory):
        return {**{name: [built[name], directory] for name in floors},
                "readdir, bare": [built["readdir"], directory],
                "pathlist": [pathlist, directory],
                "ls -f": ["ls", "-f", directory],
                "bfs": ["bfs", directory, "-maxdepth", "1"],
                "find": ["find", directory, "-maxdepth", "1"]}

    def count_of(n):
        if a.quick:
            return 3
        return {1000: 100, 10000: 60, 100000: 30}.get(n, 12)

    # --- time: one group of rounds a size ----------------------------------
    rows, data, warnings, goals = [], {}, [], []
    for n in sizes:
        print(f"timing {n:,} entries", file=sys.stderr)
        times = rounds(listers(os.path.join(folder, f"n{n}")), count_of(n), 1 if a.quick else 2)
        medians = {name: statistics.median(t[0] for t in times[name]) for name in times}
        floor = min(floors, key=medians.get)
        per_round = ratios(times, "pathlist", floor)
        data[n] = {"floor": floor, "medians": medians,
                   "pathlist/floor": spread(per_round),
                   **{f"pathlist/{tool}": spread(ratios(times, "pathlist", tool)) for tool in others},
                   **{f"floor/{tool}": spread(ratios(times, floor, tool)) for tool in others}}
        for name in times:
            rows.append(f"| {n:,} | {name}{' (floor)' if name == floor else ''} | "
                        f"{medians[name] * 1000:.2f} | "
                        f"{'' if name == 'pathlist' else shown(ratios(times, 'pathlist', name))} | "
                        f"{statistics.mean(t[1] for t in times[name]) * 1000:.2f} | "
                        f"{statistics.mean(t[2] for t in times[name]) * 1000:.2f} |")
        if max(per_round) < 1:
            warnings.append(f"pathlist was faster than the floor ({floor}) in every round at "
                            f"{n:,} entries: {shown(per_round)}. The floor is not a floor: "
                            "make bench/floor.c faster before reading any ratio here.")

    print("timing start-up and /etc", file=sys.stderr)
    start = rounds({"empty C program": [built["empty"]], "gridcheck": [gridcheck]},
                   10 if a.quick else 200, 2)
    etc = rounds({"pathlist /etc": [pathlist, "/etc"], "ls -f /etc": ["ls", "-f", "/etc"]},
                 10 if a.quick else 200, 2)

    # --- a cold cache: what a first listing of a huge directory meets --------
    cold = None
    largest = os.path.join(folder, f"n{sizes[-1]}")
    if kind == "tmpfs":
        cold_note = "not measured: the directories are in memory (tmpfs), which has no cold cache."
    elif os.geteuid() != 0 or not os.access("/proc/sys/vm/drop_caches", os.W_OK):
        cold_note = "not measured: dropping the page cache needs root and a writable /proc/sys/vm/drop_caches."
    else:
        print("timing a cold cache", file=sys.stderr)
        every = listers(largest)
        cold = rounds({name: every[name] for name in ("pathlist", "floor-32k-64k", "ls -f")},
                      1 if a.quick else 5, 0, drop_caches=True)
        cold_note = None

    # --- instructions, memory ----------------------------------------------
    print("counting instructions", file=sys.stderr)
    counted = os.path.join(folder, f"names24-{a.counted}")
    empty = os.path.join(folder, "empty")
    per_entry = {}
    pathlist_o3 = os.path.join(work, "release-o3", "pathlist", "pathlist")
    for name, argv in (("pathlist -O2", [pathlist]), ("pathlist -O3", [pathlist_o3]),
                       ("readdir, bare", [built["readdir"]]),
                       ("floor (getdents64)", [built["floor-32k-64k"]])):
        per_entry[name] = (instructions([*argv, counted], work) -
                           instructions([*argv, empty], work)) / a.counted
    peaks = {(n, tool): peak_kib(argv, work) for n in sizes
             for tool, argv in (("pathlist", [pathlist, os.path.join(folder, f"n{n}")]),
                                ("ls -f", ["ls", "-f", os.path.join(folder, f"n{n}")]),
                                ("find", ["find", os.path.join(folder, f"n{n}"), "-maxdepth", "1"]))}

    # --- goals: only what the floor itself reaches -------------------------
    def goal(text, value, limit, unit="×", aside=""):
        goals.append(f"- {'met' if value <= limit else 'missed'}: {text}: {value:.2f}{unit} "
                     f"(goal ≤ {limit}{unit}{aside})")

    top = data[sizes[-1]]
    goals.append(f"- {'met' if top['pathlist/floor'][0] <= 1.03 else 'missed'}: pathlist / floor "
                 f"at {sizes[-1]:,}, median of rounds: {top['pathlist/floor'][0]:.3f}× "
                 f"({top['pathlist/floor'][1]:.2f}–{top['pathlist/floor'][2]:.2f}; goal ≤ 1.03×)")
    for tool, limit in (("ls -f", 0.65), ("bfs", 0.75), ("find", 0.7)):
        goal(f"pathlist / {tool} at {sizes[-1]:,}", top[f"pathlist/{tool}"][0], limit,
             aside=f"; the floor / {tool}: {top[f'floor/{tool}'][0]:.2f}×")
    goal("gridcheck / empty C program", spread(ratios(start, "gridcheck", "empty C program"))[0], 1.05)
    goal("pathlist /etc / ls -f /etc", spread(ratios(etc, "pathlist /etc", "ls -f /etc"))[0], 0.8)
    for name, build in (("pathlist -O2", "-O2"), ("pathlist -O3", "-O3")):
        goal(f"pathlist's own work built {build}, instructions an entry over the bare readdir loop's",
             per_entry[name] / per_entry["readdir, bare"], 1.15)
    pathlist_peaks = [peaks[(n, "pathlist")] for n in sizes]
    goal("pathlist peak memory, largest of all sizes", max(pathlist_peaks) / 1024, 2, " MiB")
    goal("pathlist peak memory, largest less smallest", max(pathlist_peaks) - min(pathlist_peaks),
         128, " KiB")

    # --- the section ---------------------------------------------------------
    lines = [
        f"## Directories on {kind}", "",
        f"Made by `bench/run{' --quick' if a.quick else ''}` on {time.strftime('%Y-%m-%d')} with "
        f"the release build: {a.machine}.",
        "Each round runs every command once, in a shuffled order, its output drained from a "
        "pipe; wall times are medians over the rounds (warm cache), user and system times means, and a ratio is pathlist's time "
        "over the command's in the same round: median (lowest–highest). The floor at each size "
        "is the fastest of bench/floor.c's buffer sizes there (getdents64 buffer – output "
        "buffer).", "",
        *(f"**WARNING: {w}**\n" for w in warnings),
        "| entries | command | median ms | pathlist / command | user ms | system ms |",
        "|---:|---|---:|---:|---:|---:|",
        *rows, "",
        "| start-up and /etc | median ms | ratio, median (lowest–highest) |",
        "|---|---:|---:|",
        f"| empty C program | {statistics.median(t[0] for t in start['empty C program']) * 1000:.2f} | |",
        f"| gridcheck | {statistics.median(t[0] for t in start['gridcheck']) * 1000:.2f} | "
        f"{shown(ratios(start, 'gridcheck', 'empty C program'))} to the empty program |",
        f"| ls -f /etc | {statistics.median(t[0] for t in etc['ls -f /etc']) * 1000:.2f} | |",
        f"| pathlist /etc | {statistics.median(t[0] for t in etc['pathlist /etc']) * 1000:.2f} | "
        f"{shown(ratios(etc, 'pathlist /etc', 'ls -f /etc'))} to ls -f /etc |", "",
        f"User-space instructions an entry (callgrind, {a.counted:,} entries of 24-byte names, "
        "a run on an empty directory subtracted): " +
        ", ".join(f"{name} {value:.1f}" for name, value in per_entry.items()) + ".", "",
        "Peak memory (median of five, KiB): " +
        "; ".join(f"{n:,} entries: " + ", ".join(f"{tool} {peaks[(n, tool)]}"
                                                  for tool in ("pathlist", "ls -f", "find"))
                  for n in sizes) + ".", "",
        "### A cold cache", "",
    ]
    if cold is None:
        lines += [f"The directory of {sizes[-1]:,} entries, listed after the page cache is "
                  f"dropped: {cold_note}", ""]
    else:
        lines += [f"The directory of {sizes[-1]:,} entries, listed after `sync` and "
                  f"`echo 3 > /proc/sys/vm/drop_caches` before every run, {len(cold['pathlist'])} "
                  "rounds:", "",
                  "| command | median ms | pathlist / command |", "|---|---:|---:|"]
        for name in cold:
            lines.append(f"| {name} | {statistics.median(t[0] for t in cold[name]) * 1000:.1f} | "
                         f"{'' if name == 'pathlist' else shown(ratios(cold, 'pathlist', name))} |")
        lines.append("")
    lines += ["### Goals", "", *goals, ""]
    for w in warnings:
        print(f"bench/run: WARNING: {w}", file=sys.stderr)
    return "\n".join(lines), {"kind": kind, "medians": {n: data[n]["medians"] for n in sizes},
                               "floor": {n: data[n]["floor"] for n in sizes}}


def chart(out, sizes, sections):
    """Draws the time each lister takes against the number of entries,
    log-log, one panel a folder, as an SVG."""
    names = ["pathlist", "floor", "ls -f", "bfs", "find"]
    script = ['set terminal svg size 960,440 dynamic font "sans,12" background "white"',
              f'set output "{out}"', "set logscale xy", "set autoscale xfix",
              "set yrange [0.5:3000]", "set format x '10^{%T}'", 'set xlabel "entries"',
              'set ylabel "median wall time, ms"', "set key top left", "set grid",
              f"set multiplot layout 1,{len(sections)}"]
    for section in sections:
        rows = []
        for n in sizes:
            medians = {**section["medians"][n], "floor": section["medians"][n][section["floor"][n]]}
            rows.append(f"{n} " + " ".join(f"{medians[name] * 1000:.4f}" for name in names))
        script += [f'set title "directories on {section["kind"]}"',
                   "$data << EOD", *rows, "EOD",
                   "plot " + ", ".join(f'$data using 1:{column + 2} with linespoints lw 2 title "{name}"'
                                       for column, name in enumerate(names))]
    script.append("unset multiplot")
    subprocess.run(["gnuplot"], input="\n".join(script) + "\n", text=True, check=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--machine", required=True)
    parser.add_argument("--measured", required=True, help="what was measured: version, commit")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--sizes", type=int, nargs="+", required=True)
    parser.add_argument("--counted", type=int, required=True,
                        help="entries of the directory of 24-byte names callgrind counts on")
    parser.add_argument("--folders", nargs="+", required=True)
    a = parser.parse_args()
    texts, sections = zip(*(section(a, folder) for folder in a.folders))
    svg = a.out.removesuffix(".md") + ".svg"
    chart(svg, a.sizes, sections)
    text = "\n".join(["# Benchmarks", "", a.measured, "",
                      f"![Time against entries, log-log, for each lister]({os.path.basename(svg)})",
                      ""]) + "".join(f"\n{t}" for t in texts)
    open(a.out, "w").write(text)
    print(text)


if __name__ == "__main__":
    main()

# SPDX-License-Identifier: MIT
"""usage: measure.py WORK MACHINE MEASURED [bench/run's arguments]

Times the listers bench/run built in WORK on directories it makes in each
FOLDER, once, and keeps for later runs; writes the Markdown, a section a
folder, and beside it a chart of them all. MACHINE and MEASURED say where
and what.

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

FLOORS = ["floor-32k-64k", "floor-64k-64k", "floor-1m-1m"]


def run(argv, drop_caches=False):
    """Runs argv with its output drained from a pipe, as a reader would take
    it; returns wall, user and system seconds."""
    if drop_caches:
        subprocess.run(["sync"], check=True)
        with open("/proc/sys/vm/drop_caches", "w") as control:
            control.write("3\n")
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    while os.read(child.stdout.fileno(), 1 << 20):
        pass
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.stdout.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"bench/run: {' '.join(argv)} exited with {os.waitstatus_to_exitcode(status)}")
    return wall, usage.ru_utime, usage.ru_stime


def rounds(commands, count, warmup, drop_caches=False):
    """Runs every command once a round, in shuffled order; returns for each
    name its list of (wall, user, system), one a round, warm-up left out."""
    times = {name: [] for name in commands}
    for number in range(warmup + count):
        for name in random.sample(list(commands), len(commands)):
            result = run(commands[name], drop_caches)
            if number >= warmup:
                times[name].append(result)
    return times


def ratios(times, a, b):
    """The ratio of a's wall time to b's in each round."""
    return [x[0] / y[0] for x, y in zip(times[a], times[b])]


def ms(times, name, column=0, average=statistics.median):
    return average(t[column] for t in times[name]) * 1000


def shown(values):
    return f"{statistics.median(values):.2f} ({min(values):.2f}–{max(values):.2f})"


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
    """Median of five peak resident sizes, as time(1) tells them: where the
    libraries land moves it by tens of KiB from run to run."""
    peaks = []
    for _ in range(5):
        rss = os.path.join(work, "rss")
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss, *argv], stdout=subprocess.PIPE,
                       check=True)
        peaks.append(int(open(rss).read().split()[-1]))
    return statistics.median(peaks)


def make_dir(path, names):
    """path, once, holding an empty file of each name; whole once there."""
    if not os.path.isdir(path):
        print(f"making {path}", file=sys.stderr)
        subprocess.run(["rm", "-rf", path + ".partial"], check=True)
        os.makedirs(path + ".partial")
        for name in names:
            open(os.path.join(path + ".partial", name), "w").close()
        os.rename(path + ".partial", path)
    return path


def section(a, folder, sizes, counted):
    """The Markdown section of one folder, and the medians the chart draws."""
    release = os.path.join(os.path.dirname(a.work), "release")
    built = {name: os.path.join(a.work, name) for name in FLOORS + ["readdir", "empty"]}
    pathlist = os.path.join(release, "pathlist", "pathlist")
    # Names like a cache's: 16 hex digits, ".cache", and 0 to 8 more bytes;
    # and for counting instructions, names of 24 bytes each.
    directories = {n: make_dir(os.path.join(folder, f"n{n}"),
                               (f"{i:08x}{i * 2654435761 % 2**32:08x}.cache{'x' * (i % 9)}"
                                for i in range(1, n + 1))) for n in sizes}
    names24 = make_dir(os.path.join(folder, f"names24-{counted}"),
                       (f"entry-{i:012d}-abcde" for i in range(1, counted + 1)))
    empty = make_dir(os.path.join(folder, "empty"), [])
    kind = subprocess.run(["df", "--output=fstype", folder], capture_output=True, text=True,
                          check=True).stdout.split()[-1]

    def listers(directory):
        return {**{name: [built[name], directory] for name in FLOORS},
                "readdir, bare": [built["readdir"], directory], "pathlist": [pathlist, directory],
                "ls -f": ["ls", "-f", directory], "bfs": ["bfs", directory, "-maxdepth", "1"],
                "find": ["find", directory, "-maxdepth", "1"]}

    # The floor is only a floor if it does the same job.
    for n, directory in directories.items():
        for name in FLOORS + ["readdir, bare"]:
            if subprocess.run(listers(directory)[name], capture_output=True).stdout != \
                    subprocess.run([pathlist, directory], capture_output=True).stdout:
                sys.exit(f"bench/run: {name} and pathlist disagree on {directory}")

    rows, medians, floors, warnings, goals = [], {}, {}, [], []
    for n, directory in directories.items():
        print(f"timing {n:,} entries", file=sys.stderr)
        count = 3 if a.quick else {1000: 100, 10000: 60, 100000: 30}.get(n, 12)
        times = rounds(listers(directory), count, 1 if a.quick else 2)
        medians[n] = {name: ms(times, name) / 1000 for name in times}
        floor = floors[n] = min(FLOORS, key=medians[n].get)
        for name in times:
            rows.append(f"| {n:,} | {name}{' (floor)' if name == floor else ''} | "
                        f"{ms(times, name):.2f} | "
                        f"{'' if name == 'pathlist' else shown(ratios(times, 'pathlist', name))} | "
                        f"{ms(times, name, 1, statistics.mean):.2f} | "
                        f"{ms(times, name, 2, statistics.mean):.2f} |")
        if max(ratios(times, "pathlist", floor)) < 1:
            warnings.append(f"pathlist was faster than the floor ({floor}) in every round at "
                            f"{n:,} entries: {shown(ratios(times, 'pathlist', floor))}. The floor "
                            "is not a floor: make bench/floor.c faster before reading any ratio here.")
    top, largest = times, sizes[-1]  # the rounds of the largest directories

    print("timing start-up and /etc", file=sys.stderr)
    start = rounds({"empty C program": [built["empty"]],
                    "gridcheck": [os.path.join(release, "gridcheck", "gridcheck")]},
                   10 if a.quick else 200, 2)
    etc = rounds({"pathlist /etc": [pathlist, "/etc"], "ls -f /etc": ["ls", "-f", "/etc"]},
                 10 if a.quick else 200, 2)

    # What a first listing of a huge directory meets.
    lines = [f"The directory of {largest:,} entries, listed after the page cache is dropped: "]
    if kind == "tmpfs":
        lines[0] += "not measured: the directories are in memory (tmpfs), which has no cold cache."
    elif os.geteuid() != 0 or not os.access("/proc/sys/vm/drop_caches", os.W_OK):
        lines[0] += "not measured: dropping the page cache needs root and a writable /proc/sys/vm/drop_caches."
    else:
        print("timing a cold cache", file=sys.stderr)
        every = listers(directories[largest])
        cold = rounds({name: every[name] for name in ("pathlist", "floor-32k-64k", "ls -f")},
                      1 if a.quick else 5, 0, drop_caches=True)
        lines = [f"The directory of {largest:,} entries, listed after `sync` and `echo 3 > "
                 f"/proc/sys/vm/drop_caches` before every run, {len(cold['pathlist'])} rounds:", "",
                 "| command | median ms | pathlist / command |", "|---|---:|---:|",
                 *(f"| {name} | {ms(cold, name):.1f} | "
                   f"{'' if name == 'pathlist' else shown(ratios(cold, 'pathlist', name))} |"
                   for name in cold)]

    print("counting instructions", file=sys.stderr)
    per_entry = {name: (instructions([program, names24], a.work) -
                        instructions([program, empty], a.work)) / counted
                 for name, program in (("pathlist -O2", pathlist),
                                       ("pathlist -O3", os.path.join(a.work, "release-o3", "pathlist",
                                                                     "pathlist")),
                                       ("readdir, bare", built["readdir"]),
                                       ("floor (getdents64)", built["floor-32k-64k"]))}
    peaks = {(n, tool): peak_kib(listers(directory)[tool], a.work)
             for n, directory in directories.items() for tool in ("pathlist", "ls -f", "find")}

    # Goals: only what the floor itself reaches; a ratio's spread over the rounds shown.
    def goal(text, values, limit, unit="×", aside="", digits=2):
        value = statistics.median(values)
        spread = f"{min(values):.2f}–{max(values):.2f}; " if len(values) > 1 else ""
        goals.append(f"- {'met' if value <= limit else 'missed'}: {text}: {value:.{digits}f}{unit} "
                     f"({spread}goal ≤ {limit}{unit}{aside})")

    goal(f"pathlist / floor at {largest:,}, median of rounds", ratios(top, "pathlist", floors[largest]),
         1.03, digits=3)
    for tool, limit in (("ls -f", 0.65), ("bfs", 0.75), ("find", 0.7)):
        goal(f"pathlist / {tool} at {largest:,}", ratios(top, "pathlist", tool), limit,
             aside=f"; the floor / {tool}: {statistics.median(ratios(top, floors[largest], tool)):.2f}×")
    goal("gridcheck / empty C program", ratios(start, "gridcheck", "empty C program"), 1.05)
    goal("pathlist /etc / ls -f /etc", ratios(etc, "pathlist /etc", "ls -f /etc"), 0.8)
    for build in ("-O2", "-O3"):
        goal(f"pathlist's own work built {build}, instructions an entry over the bare readdir loop's",
             [per_entry[f"pathlist {build}"] / per_entry["readdir, bare"]], 1.15)
    own = [peaks[(n, "pathlist")] for n in sizes]
    goal("pathlist peak memory, largest of all sizes", [max(own) / 1024], 2, " MiB")
    goal("pathlist peak memory, largest less smallest", [max(own) - min(own)], 128, " KiB")
    for w in warnings:
        print(f"bench/run: WARNING: {w}", file=sys.stderr)

    return "\n".join([
        f"## Directories on {kind}", "",
        f"Made by `bench/run{' --quick' if a.quick else ''}` on {time.strftime('%Y-%m-%d')} with "
        f"the release build: {a.machine}.",
        "Each round runs every command once, in a shuffled order, its output drained from a "
        "pipe; wall times are medians over the rounds (warm cache), user and system times means, "
        "and a ratio is pathlist's time over the command's in the same round: median "
        "(lowest–highest). The floor at each size is the fastest of bench/floor.c's buffer sizes "
        "there (getdents64 buffer – output buffer).", "",
        *(f"**WARNING: {w}**\n" for w in warnings),
        "| entries | command | median ms | pathlist / command | user ms | system ms |",
        "|---:|---|---:|---:|---:|---:|", *rows, "",
        "| start-up and /etc | median ms | ratio, median (lowest–highest) |", "|---|---:|---:|",
        f"| empty C program | {ms(start, 'empty C program'):.2f} | |",
        f"| gridcheck | {ms(start, 'gridcheck'):.2f} | "
        f"{shown(ratios(start, 'gridcheck', 'empty C program'))} to the empty program |",
        f"| ls -f /etc | {ms(etc, 'ls -f /etc'):.2f} | |",
        f"| pathlist /etc | {ms(etc, 'pathlist /etc'):.2f} | "
        f"{shown(ratios(etc, 'pathlist /etc', 'ls -f /etc'))} to ls -f /etc |", "",
        f"User-space instructions an entry (callgrind, {counted:,} entries of 24-byte names, "
        "a run on an empty directory subtracted): " +
        ", ".join(f"{name} {value:.1f}" for name, value in per_entry.items()) + ".", "",
        "Peak memory (median of five, KiB): " + "; ".join(
            f"{n:,} entries: " + ", ".join(f"{tool} {peaks[(n, tool)]}"
                                           for tool in ("pathlist", "ls -f", "find"))
            for n in sizes) + ".", "",
        "### A cold cache", "", *lines, "",
        "### Goals", "", *goals, ""]), (kind, medians, floors)


def chart(out, sizes, sections):
    """Draws the time each lister takes against the number of entries,
    log-log, one panel a folder, as an SVG."""
    names = ["pathlist", "floor", "ls -f", "bfs", "find"]
    script = ['set terminal svg size 960,440 dynamic font "sans,12" background "white"',
              f'set output "{out}"', "set logscale xy", "set autoscale xfix",
              "set yrange [0.5:3000]", "set format x '10^{%T}'", 'set xlabel "entries"',
              'set ylabel "median wall time, ms"', "set key top left", "set grid",
              f"set multiplot layout 1,{len(sections)}"]
    for kind, medians, floors in sections:
        rows = [{**medians[n], "floor": medians[n][floors[n]]} for n in sizes]
        script += [f'set title "directories on {kind}"', "$data << EOD",
                   *(f"{n} " + " ".join(f"{row[name] * 1000:.4f}" for name in names)
                     for n, row in zip(sizes, rows)), "EOD",
                   "plot " + ", ".join(f'$data using 1:{column + 2} with linespoints lw 2 title "{name}"'
                                       for column, name in enumerate(names))]
    script.append("unset multiplot")
    subprocess.run(["gnuplot"], input="\n".join(script) + "\n", text=True, check=True)


def main():
    parser = argparse.ArgumentParser(prog="bench/run", usage="bench/run [--quick] [--out FILE] [FOLDER...]")
    for name in ("work", "machine", "measured"):
        parser.add_argument(name, help=argparse.SUPPRESS)
    parser.add_argument("--quick", action="store_true", help="small directories and few runs")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "BENCHMARKS.md"))
    parser.add_argument("folders", nargs="*", default=["/dev/shm/pathlist-bench", "/var/tmp/pathlist-bench"])
    a = parser.parse_intermixed_args()
    sizes = [1000, 10000] if a.quick else [1000, 10000, 100000, 1000000]
    counted = 10000 if a.quick else 100000
    texts, sections = zip(*(section(a, folder, sizes, counted) for folder in a.folders))
    svg = a.out.removesuffix(".md") + ".svg"
    chart(svg, sizes, sections)
    text = "\n".join(["# Benchmarks", "", a.measured, "",
                      f"![Time against entries, log-log, for each lister]({os.path.basename(svg)})",
                      ""]) + "".join(f"\n{t}" for t in texts)
    open(a.out, "w").write(text)
    print(text)


if __name__ == "__main__":
    main()

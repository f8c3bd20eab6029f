#!/usr/bin/env python3
"""Writes the benchmark working directories S, M and L under build/bench/.

    python3 bench/make_basin.py [--out build/bench] [S M L]

  S: 100 x 100 cells of 1 km, 50 gauges, 744 hourly steps (a month)
  M: 300 x 300 cells, 200 gauges, 744 hourly steps
  L: 1000 x 1000 cells, 500 gauges, 48 hourly steps
  XL: 2000 x 2000 cells, 1600 gauges, 24 hourly steps (memory bound)

Each directory holds event/event.evt, basin/bench_shd.r2c, basin/bench_par.csv,
basin/bench.pdl, raing/<date>_rag.tb0 and an empty radcl/. Seeded: every run
writes the same files.

The watershed is a ragged blob of at most 32000 cells, so that its grid
numbers fit the 16-bit rank grid of the watershed reader; the pdl grid covers
the whole rectangle, which is what gets rain. The parameter file sets the
debug level to 0 (the default debug level 1 would write every gauge's weight
grid to the information report: 2 GB of text for L), no lapse rate, smoothing
0 and no radius of influence, so the default radius (1.0e6 km) holds.

Rain: storms that grow and move across the grid over 10 to 36 hours, short
local showers, dry spells between them, so most hours are dry at most
gauges; gauge outages (-1) of a few hours at 1 to 2% of the gauges, so that
the set of reporting gauges changes at about 5% of the steps; and one gauge
without any record.
"""
import argparse
import math
import os
import random

BASINS = {
    # name: (xcount, ycount, gauges, hours, seed)
    "S": (100, 100, 50, 744, 101),
    "M": (300, 300, 200, 744, 202),
    "L": (1000, 1000, 500, 48, 303),
    "XL": (2000, 2000, 1600, 24, 404),
}
DELTA = 1000.0
XORIGIN, YORIGIN = 400000.0, 5000000.0
MAX_BASIN_CELLS = 32000  # grid numbers must fit 16 bits
START = (2021, 7, 1)

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
ATTRS_INT = ("Rank", "Next", "IAK", "Chnl", "Reach")
ATTRIBUTES = ["Rank", "Next", "DA", "Bankfull", "ChnlSlope", "Elev", "ChnlLength", "IAK",
              "IntSlope", "Chnl", "Reach", "GridArea",
              "FetchNE", "FetchE", "FetchSE", "FetchS", "FetchSW", "FetchW", "FetchNW", "FetchN",
              "forest", "crops", "water"]


def basin_cells(rng, nx, ny):
    """A ragged blob around the grid's centre with at most MAX_BASIN_CELLS cells."""
    target = min(MAX_BASIN_CELLS - 2000, int(0.7 * nx * ny))
    cx, cy = nx / 2.0, ny / 2.0
    a = rng.uniform(1.0, 1.4)  # aspect
    waves = [(rng.uniform(2, 5), rng.uniform(0, 6.3), rng.uniform(0.05, 0.15)) for _ in range(3)]

    def radius_factor(theta):
        return 1.0 + sum(amp * math.sin(k * theta + ph) for k, ph, amp in waves)

    # Area of the blob: about pi * a * r^2 (the waves add a few per cent).
    r = math.sqrt(target / (math.pi * a * 1.05))
    cells = []
    for i in range(max(0, int(cy - 1.5 * r)), min(ny, int(cy + 1.5 * r) + 1)):
        for j in range(nx):
            dx, dy = (j + 0.5 - cx) / a, (i + 0.5 - cy)
            if math.hypot(dx, dy) < r * radius_factor(math.atan2(dy, dx)):
                cells.append((i, j))
    return cells[:MAX_BASIN_CELLS]


def write_shed(path, rng, nx, ny):
    cells = basin_cells(rng, nx, ny)
    # Outlet: the southernmost cell; grid numbers from the farthest cell down to it.
    outlet = min(cells)
    far = sorted(cells, key=lambda c: (-math.hypot(c[0] - outlet[0], c[1] - outlet[1]), c))
    rank = {c: k + 1 for k, c in enumerate(far)}
    n_basin = len(far)
    receiver = (outlet[0], outlet[1] - 1) if outlet[1] > 0 else (outlet[0], outlet[1] + 1)
    rank[receiver] = n_basin + 1
    values = {}
    for c, n in rank.items():
        i, j = c
        d = math.hypot(i - outlet[0], j - outlet[1])
        elev = 150.0 + 2.0 * d + 40.0 * math.sin(i / 17.0) * math.cos(j / 23.0) + 40.0
        nxt = n + 1 if n < n_basin else n_basin + 1
        forest = rng.randint(2, 14)
        crops = rng.randint(0, 16 - forest)
        v = [n, nxt if c != receiver else 0, round(1.0 + d, 3), round(0.6 * (1.0 + d) ** 0.75, 3),
             round(rng.uniform(0.0005, 0.02), 6), round(elev, 1), 1000.0, 1,
             round(rng.uniform(0.01, 0.2), 4), 1 if d > 25 else 2, 0, 1.0e6]
        v += [round(rng.uniform(0.0, 5000.0), 1) for _ in range(8)]
        v += [forest / 16.0, crops / 16.0, (16 - forest - crops) / 16.0]
        values[c] = v

    def fmt(a, x):
        if ATTRIBUTES[a] in ATTRS_INT:
            return "%d" % x
        return repr(float(x)) if ATTRIBUTES[a] in ("forest", "crops", "water") else "%g" % x

    header = [
        "########################################",
        ":FileType r2c  ASCII  EnSim 1.0",
        "#",
        "# DataType               2D Rect Cell",
        "#",
        ":Application             EnSimHydrologic",
        ":Version                 2.1.23",
        ":WrittenBy          tesk.exe",
        ":CreationDate       2024-06-11  12:00",
        "#",
        "#---------------------------------------",
        "#",
        ":SourceFileName     bench.map",
        ":NominalGridSize_AL    1000.000",
        ":ContourInterval         10.000",
        ":ImperviousArea           0.000",
        ":ClassCount                  3",
        ":NumRiverClasses             1",
        ":ElevConversion           1.000",
        ":TotalNumOfGrids    %8d" % (n_basin + 1),
        ":NumGridsInBasin    %8d" % n_basin,
        ":DebugGridNo        %8d" % (n_basin // 2),
        "#",
        ":Projection         UTM",
        ":Zone                17",
        ":Ellipsoid          GRS80",
        "#",
        ":xOrigin          %12.3f" % XORIGIN,
        ":yOrigin          %12.3f" % YORIGIN,
        "#",
    ]
    header += [":AttributeName %d %s" % (k + 1, name) for k, name in enumerate(ATTRIBUTES)]
    header += ["#", ":xCount             %d" % nx, ":yCount             %d" % ny,
               ":xDelta             %.3f" % DELTA, ":yDelta             %.3f" % DELTA, "#", ":EndHeader"]
    # Cells of each row that carry values.
    by_row = {}
    for c in values:
        by_row.setdefault(c[0], []).append(c[1])
    zero_row = " ".join(["0"] * nx) + "\n"
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(header) + "\n")
        for a in range(len(ATTRIBUTES)):
            for i in range(ny):
                cols = by_row.get(i)
                if not cols:
                    f.write(zero_row)
                    continue
                row = ["0"] * nx
                for j in cols:
                    row[j] = fmt(a, values[(i, j)][a])
                f.write(" ".join(row) + "\n")
    return n_basin


def write_pdl(path, nx, ny):
    lines = ["#", "FileType            pdl", "Projection          UTM", "Ellipsoid           GRS80",
             "Zone                17", "#", "xOrigin             %.1f" % XORIGIN,
             "yOrigin             %.1f" % YORIGIN, "#", "xCount              %d" % nx,
             "yCount              %d" % ny, "xDelta              %.1f" % DELTA,
             "yDelta              %.1f" % DELTA, "#"]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def write_par(path):
    """The example basin's parameter file with debug level 0, no lapse rate,
    smoothing 0 and the default radius of influence."""
    src = os.path.join(ROOT, "examples", "basin", "demo_par.csv")
    out = []
    with open(src) as f:
        for line in f.read().splitlines():
            if line.startswith(":iopt,"):
                line = ":iopt,0,,,debug level"
            elif line.startswith(":rlapse,"):
                line = ":rlapse,0.0,,,precip lapse rate /m"
            elif line.startswith(":smoothdist,"):
                line = ":smoothdist,0.0,,,km"
            elif line.startswith(":radiusinflce,"):
                continue
            out.append(line)
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def make_gauges(rng, nx, ny, n):
    gauges = []
    for k in range(n):
        x = round(XORIGIN + rng.uniform(0.3, nx + 0.7) * DELTA, -1)
        y = round(YORIGIN + rng.uniform(0.3, ny + 0.7) * DELTA, -1)
        gauges.append(("G%05d" % (k + 1), x, y, round(rng.uniform(150.0, 900.0), 0)))
    return gauges


def make_rain(rng, gauges, nx, ny, hours):
    """Hourly values (hours x gauges) in mm, one decimal."""
    size = max(nx, ny) * DELTA
    xs = [(g[1] - XORIGIN) for g in gauges]
    ys = [(g[2] - YORIGIN) for g in gauges]
    rain = [[0.0] * len(gauges) for _ in range(hours)]

    def add_cell(start, duration, peak, cx, cy, vx, vy, r0, r1):
        for t in range(duration):
            h = start + t
            if h < 0 or h >= hours:
                continue
            phase = t / max(duration - 1, 1)
            shape = math.sin(math.pi * min(1.0, phase * 1.5)) if phase < 0.66 else (1 - phase) * 1.5
            radius = r0 + (r1 - r0) * phase  # grows as it travels
            x0, y0 = cx + vx * t, cy + vy * t
            row = rain[h]
            lim = 3.0 * radius
            for k in range(len(gauges)):
                dx, dy = xs[k] - x0, ys[k] - y0
                if abs(dx) > lim or abs(dy) > lim:
                    continue
                d2 = (dx * dx + dy * dy) / (radius * radius)
                if d2 > 9.0:
                    continue
                row[k] += peak * max(shape, 0.0) * math.exp(-d2) * rng.uniform(0.7, 1.3)

    # Storms: a wet spell of 10 to 36 hours, then a dry spell.
    h = rng.randint(-6, 12)
    while h < hours:
        duration = rng.randint(10, 36)
        peak = rng.choice([2.0, 4.0, 6.0, 10.0, 16.0]) * rng.uniform(0.6, 1.3)
        cx, cy = rng.uniform(-0.2, 1.2) * size, rng.uniform(-0.2, 1.2) * size
        speed = size / duration * rng.uniform(0.3, 1.0)
        ang = rng.uniform(0, 2 * math.pi)
        add_cell(h, duration, peak, cx, cy, speed * math.cos(ang), speed * math.sin(ang),
                 0.08 * size, 0.35 * size)
        h += duration + rng.randint(12, 120)
    # Short local showers.
    for _ in range(max(1, hours // 30)):
        add_cell(rng.randrange(hours), rng.randint(1, 3), rng.uniform(1.0, 8.0),
                 rng.uniform(0, size), rng.uniform(0, size), 0.0, 0.0, 0.04 * size, 0.06 * size)
    return [[round(v, 1) if v >= 0.05 else 0.0 for v in row] for row in rain]


def knock_out(rng, values, ng):
    """Outages of a few hours at 1 to 2% of the gauges (about 5% of the steps
    change the set of reporting gauges), and gauge 1 never reports."""
    steps = len(values)
    target = max(1, round(0.05 * steps))
    per_outage = max(1, round(0.015 * ng))

    def changes():
        n = 0
        for s in range(1, steps):
            if any((values[s][k] < 0) != (values[s - 1][k] < 0) for k in range(1, ng)):
                n += 1
        return n

    tries = 0
    while changes() < target and tries < 200:
        tries += 1
        start = rng.randrange(1, max(2, steps - 1))
        length = rng.randint(2, 8)
        for k in rng.sample(range(1, ng), min(per_outage, ng - 1)):
            for s in range(start, min(steps, start + length)):
                values[s][k] = -1.0
    for s in range(steps):
        values[s][0] = -1.0
    return changes()


def write_tb0(path, gauges, values, start):
    lines = [
        "########################################",
        ":FileType tb0  ASCII  EnSim 1.0",
        "#",
        "# DataType               Time Series",
        "#",
        ":Application             EnSimHydrologic",
        ":Version                 2.1.23",
        ":WrittenBy               make_basin.py",
        ":CreationDate            2024-06-11",
        "#",
        "#---------------------------------------",
        "#",
        ":Name                    BenchGauges",
        "#",
        ":Projection              UTM",
        ":Zone                    17",
        ":Ellipsoid               GRS80",
        "#",
        ":StartTime               %s" % start,
        ":DeltaT                  1",
        ":UnitConversion          1.0",
        "#",
        ":ColumnMetaData",
        "   :ColumnUnits          " + " ".join("%12s" % "mm" for _ in gauges),
        "   :ColumnType           " + " ".join("%12s" % "float" for _ in gauges),
        "   :ColumnName           " + " ".join("%12s" % g[0] for g in gauges),
        "   :ColumnLocationX      " + " ".join("%12.1f" % g[1] for g in gauges),
        "   :ColumnLocationY      " + " ".join("%12.1f" % g[2] for g in gauges),
        "   :Elevation            " + " ".join("%12.1f" % g[3] for g in gauges),
        ":EndColumnMetaData",
        ":EndHeader",
    ]
    lines += ["".join("      -1" if v < 0 else "%8.1f" % v for v in row) for row in values]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def write_evt(path, hours, date):
    y, m, d = date
    stamp = "%04d%02d%02d" % (y, m, d)
    flags = ["snwflg", "sedflg", "vapflg", "smrflg", "resinflg", "tbcflg", "resumflg", "contflg",
             "routeflg", "crseflg", "ensimflg", "picflg", "wetflg", "modelflg", "shdflg", "trcflg",
             "frcflg", "initflg", "grdflg", "ntrlflg", "nudgeflg", "hdrflg", "resetflg", "divertflg",
             "pafflg"]
    lines = ["#", ":FileType             ev2  ASCII  EnSim 1.0", ":FileVersionNo        9.7", "#",
             "# Benchmark basin", "#",
             ":year                 %d" % y, ":month                %02d" % m, ":day                  %d" % d,
             ":hour                 0", "#"]
    lines += [":%-20s n" % f for f in flags]
    lines += ["#", ":intsoilmoisture      0.25", ":rainconvfactor       1.0",
              ":eventprecipscalefactor 1.0", ":precipscalefactor    0.0", ":eventsnowscalefactor 1.0",
              ":snowscalefactor      0.0", ":eventtempscalefactor 0.0", ":tempscalefactor      0.0",
              ":disaggregate         0.0", "#",
              ":hoursraindata        %d" % hours, ":hoursflowdata        %d" % hours, "#",
              ":basinfilename        basin\\bench_shd.r2c", ":parfilename          basin\\bench_par.csv",
              ":pointdatalocations   basin\\bench.pdl",
              ":pointprecip          raing\\%s_rag.tb0" % stamp,
              ":griddedrainfile      radcl\\%s_met.r2c" % stamp, "#",
              ":noeventstofollow     0", "#"]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def make(name, out):
    nx, ny, ng, hours, seed = BASINS[name]
    rng = random.Random(seed)
    d = os.path.join(out, name)
    for sub in ("event", "basin", "raing", "radcl"):
        os.makedirs(os.path.join(d, sub), exist_ok=True)
    n_basin = write_shed(os.path.join(d, "basin", "bench_shd.r2c"), rng, nx, ny)
    write_pdl(os.path.join(d, "basin", "bench.pdl"), nx, ny)
    write_par(os.path.join(d, "basin", "bench_par.csv"))
    gauges = make_gauges(rng, nx, ny, ng)
    values = make_rain(rng, gauges, nx, ny, hours)
    changed = knock_out(rng, values, ng)
    stamp = "%04d%02d%02d" % START
    write_tb0(os.path.join(d, "raing", stamp + "_rag.tb0"), gauges, values,
              "%04d/%02d/%02d 01:00:00.000" % START)
    write_evt(os.path.join(d, "event", "event.evt"), hours, START)
    wet = sum(1 for row in values if any(v > 0 for v in row))
    dry_share = sum(1 for row in values for v in row if v == 0.0) / float(hours * ng)
    print("%s: %d x %d cells (%d in the basin), %d gauges, %d steps, %d with rain, "
          "%.0f%% of the values dry, %d steps change the reporting set"
          % (name, nx, ny, n_basin, ng, hours, wet, 100 * dry_share, changed))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "bench"))
    ap.add_argument("basins", nargs="*", default=["S", "M", "L"])
    args = ap.parse_args()
    for name in args.basins:
        make(name.upper(), args.out)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the example basin's gauge tables (tb0) into examples/raing/.

July and August 2023 are hourly, September 2023 is 6-hourly. Twelve gauges in
UTM zone 17 lie inside the example grid (x 500000..520000, y 4800000..4815000).
The weather is drawn from a seeded generator, so every run writes the same
files: dry spells, storms that cross the grid with an orographic boost, and a
few gauge outages recorded as -1.
"""
import math
import os
import random

SEED = 20230701
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "raing")

NAMES = ["Alder", "Birch", "Cedar", "Dogwood", "Elm", "Fir",
         "Gum", "Hazel", "Ironwood", "Juniper", "Kauri", "Larch"]


def make_gauges(rng):
    gauges = []
    for name in NAMES:
        x = round(rng.uniform(500500, 519500), -1)
        y = round(rng.uniform(4800500, 4814500), -1)
        # Higher ground to the north-east, with some scatter.
        base = 200 + 500 * ((x - 500000) / 20000 + (y - 4800000) / 15000) / 2
        gauges.append([name, x, y, base + rng.uniform(-120, 200)])
    # Spread the elevations over 200..900 m, keeping their order.
    lo = min(g[3] for g in gauges)
    hi = max(g[3] for g in gauges)
    for g in gauges:
        g[3] = int(round(200 + 700 * (g[3] - lo) / (hi - lo)))
    return [tuple(g) for g in gauges]


def storms_for(rng, hours):
    """Storms as (start hour, duration, peak mm/h, centre x, y, velocity x, y)."""
    storms = []
    h = rng.randint(6, 48)
    while h < hours:
        duration = rng.randint(3, 30)
        peak = rng.choice([1.5, 3.0, 5.0, 8.0, 14.0]) * rng.uniform(0.6, 1.3)
        cx = rng.uniform(490000, 530000)
        cy = rng.uniform(4795000, 4820000)
        vx = rng.uniform(-1500, 1500)
        vy = rng.uniform(-1000, 1000)
        storms.append((h, duration, peak, cx, cy, vx, vy))
        # A dry spell of half a day to nine days follows.
        h += duration + rng.randint(12, 216)
    return storms


def hourly_rain(rng, gauges, hours):
    storms = storms_for(rng, hours)
    rain = [[0.0] * len(gauges) for _ in range(hours)]
    for start, duration, peak, cx, cy, vx, vy in storms:
        for t in range(duration):
            hour = start + t
            if hour >= hours:
                break
            # Rises, peaks in the first third, then tails off.
            phase = t / max(duration - 1, 1)
            shape = math.sin(math.pi * min(1.0, phase * 1.5)) if phase < 0.66 else (1 - phase) * 1.5
            x0, y0 = cx + vx * t, cy + vy * t
            for k, (_, x, y, elev) in enumerate(gauges):
                d = math.hypot(x - x0, y - y0) / 12000.0
                boost = 1.0 + 0.0006 * (elev - 200)
                v = peak * max(shape, 0.0) * math.exp(-d * d) * boost * rng.uniform(0.7, 1.3)
                rain[hour][k] += v
    return [[round(v, 1) if v >= 0.05 else 0.0 for v in row] for row in rain]


def knock_out(rng, values, gauges, outages, scattered):
    """Gauge outages (a run of steps) and scattered lost records, as -1."""
    steps = len(values)
    for _ in range(outages):
        k = rng.randrange(len(gauges))
        start = rng.randrange(steps)
        for s in range(start, min(steps, start + rng.randint(steps // 30, steps // 8))):
            values[s][k] = -1.0
    for _ in range(scattered):
        values[rng.randrange(steps)][rng.randrange(len(gauges))] = -1.0


def fmt(v):
    return "      -1" if v < 0 else "%8.1f" % v


def write_tb0(path, gauges, values, deltat, start):
    lines = [
        "########################################",
        ":FileType tb0  ASCII  EnSim 1.0",
        "#",
        "# DataType               Time Series",
        "#",
        ":Application             EnSimHydrologic",
        ":Version                 2.1.23",
        ":WrittenBy               make_gauges.py",
        ":CreationDate            2023-10-01",
        "#",
        "#---------------------------------------",
        "#",
        ":Name                    ExampleGauges",
        "#",
        ":Projection              UTM",
        ":Zone                    17",
        ":Ellipsoid               WGS84",
        "#",
        ":StartTime               %s" % start,
        ":DeltaT                  %d" % deltat,
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
    lines += ["".join(fmt(v) for v in row) for row in values]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    rng = random.Random(SEED)
    gauges = make_gauges(rng)
    os.makedirs(OUT, exist_ok=True)

    july = hourly_rain(rng, gauges, 31 * 24)
    knock_out(rng, july, gauges, outages=2, scattered=25)
    write_tb0(os.path.join(OUT, "20230701_rag.tb0"), gauges, july, 1, "2023/07/01 01:00:00.000")

    august = hourly_rain(rng, gauges, 31 * 24)
    knock_out(rng, august, gauges, outages=1, scattered=15)
    write_tb0(os.path.join(OUT, "20230801_rag.tb0"), gauges, august, 1, "2023/08/01 01:00:00.000")

    # September: 6-hour sums of an hourly month.
    hourly = hourly_rain(rng, gauges, 30 * 24)
    september = [[round(sum(hourly[6 * s + i][k] for i in range(6)), 1) for k in range(len(gauges))]
                 for s in range(30 * 4)]
    knock_out(rng, september, gauges, outages=1, scattered=6)
    write_tb0(os.path.join(OUT, "20230901_rag.tb0"), gauges, september, 6, "2023/09/01 06:00:00.000")


if __name__ == "__main__":
    main()

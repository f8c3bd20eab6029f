#!/usr/bin/env python3
"""Writes the inputs of the README's "Your own basin" walkthrough, as a user
would bring them: dem.asc and mask.asc (ESRI ASCII grids), stations.csv and
hourly.csv. Seeded, so every run writes the same files.

The grid: 12 x 10 cells of 1000 m in UTM zone 17 from (500000, 4800000).
Gauge G3 stands exactly on the grid point of row 4, column 5 (x = xllcorner +
5 cells, y = yllcorner + 4 cells) and reports every hour: with smoothing 0
that cell's total is G3's total. The hourly file runs from 2023-07-25 01:00
to 2023-08-05 00:00 (time stamps at the end of each hour), so it makes two
events (July and August). Two hours are left out (rows missing), some values
are blank or NA, and one value of G5 is above 100 mm.
"""
import math
import os
import random

NCOLS, NROWS, CELL = 12, 10, 1000.0
XLL, YLL = 500000.0, 4800000.0
SEED = 20230725
rng = random.Random(SEED)
here = os.path.dirname(os.path.abspath(__file__))


def write(name, text):
    with open(os.path.join(here, name), "w", newline="\n") as f:
        f.write(text)


# Rows from the north, as an ESRI ASCII grid lists them; r = 0 is the north row.
def elevation(r, c):
    south = NROWS - 1 - r  # 0 at the southern row
    return 180.0 + 45.0 * south + 12.0 * math.sin(0.9 * c) + rng.uniform(-3.0, 3.0)


def inside(r, c):
    dx = (c - 5.5) / 5.2
    dy = (r - 4.5) / 4.6
    return dx * dx + dy * dy < 1.0


header = "ncols %d\nnrows %d\nxllcorner %.1f\nyllcorner %.1f\ncellsize %.1f\nNODATA_value -9999\n" % (
    NCOLS, NROWS, XLL, YLL, CELL)
dem_rows, mask_rows = [], []
for r in range(NROWS):
    dem, mask = [], []
    for c in range(NCOLS):
        z = elevation(r, c)
        # The DEM has no value in one corner, outside the basin.
        dem.append("-9999" if (r == 0 and c == 0) else "%.1f" % z)
        mask.append("1" if inside(r, c) else "0")
    dem_rows.append(" ".join(dem))
    mask_rows.append(" ".join(mask))
write("dem.asc", header + "\n".join(dem_rows) + "\n")
write("mask.asc", header + "\n".join(mask_rows) + "\n")

stations = [
    ("G1", "Ashgrove", 501730.0, 4801260.0, 215.0),
    ("G2", "Bellmere", 509420.0, 4802850.0, 290.0),
    ("G3", "Crowfoot", XLL + 5 * CELL, YLL + 4 * CELL, 380.0),
    ("G4", "Dunmore", 503310.0, 4808120.0, 540.0),
    ("G5", "Elmvale", 510650.0, 4807490.0, 520.0),
    ("G6", "Foxley", 507080.0, 4809300.0, 600.0),
]
write("stations.csv", "id,name,x,y,elevation\n" + "".join(
    "%s,%s,%.1f,%.1f,%.1f\n" % s for s in stations))

# Hours (stamps at the end of the hour), storms passing now and then.
import datetime as dt

start = dt.datetime(2023, 7, 25, 1, 0)
end = dt.datetime(2023, 8, 5, 0, 0)
skipped = {dt.datetime(2023, 7, 29, 14, 0), dt.datetime(2023, 7, 29, 15, 0)}
lines = ["time," + ",".join(s[0] for s in stations)]
t = start
storm = 0
while t <= end:
    if t not in skipped:
        if storm == 0 and rng.random() < 0.06:
            storm = rng.randint(3, 9)
        row = []
        for k, s in enumerate(stations):
            v = 0.0
            if storm > 0:
                v = round(max(0.0, rng.gauss(2.5, 2.0)) * (0.6 + 0.1 * k), 1)
            cell = "%.1f" % v
            if s[0] != "G3":
                u = rng.random()
                if u < 0.02:
                    cell = ""
                elif u < 0.03:
                    cell = "NA"
            row.append(cell)
        if t == dt.datetime(2023, 8, 2, 6, 0):
            row[4] = "150.0"  # a spurious value: the program drops it
        lines.append(t.strftime("%Y-%m-%d %H:%M") + "," + ",".join(row))
        storm = max(0, storm - 1)
    t += dt.timedelta(hours=1)
write("hourly.csv", "\n".join(lines) + "\n")

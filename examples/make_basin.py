#!/usr/bin/env python3
"""Writes the demonstration basin: examples/basin/demo_shd.r2c (watershed
file) and examples/basin/demo.pdl (point-data-locations header on the same
grid). Seeded, so every run writes the same files.

The basin is an irregular blob of cells on a 20 x 15 grid of 1000 m cells in
UTM zone 17. Flow goes down the shortest in-basin path to an outlet on the
southern edge; the outlet drains into one receiving cell outside the basin,
so TotalNumOfGrids is NumGridsInBasin + 1. Ranks run from the highest cell
(1) down to the outlet; elevations fall strictly along every flow path.
"""
import math
import os
import random
from collections import deque

XCOUNT, YCOUNT = 20, 15
DELTA = 1000.0
XORIGIN, YORIGIN = 500000.0, 4800000.0  # where the example gauges stand
SEED = 20240611

rng = random.Random(SEED)
here = os.path.dirname(os.path.abspath(__file__))
outdir = os.path.join(here, "basin")

# Rows are 0-based here with row 0 the southern row (the first row written).
outlet = (0, 9)
receiver = None  # the cell outside the basin that the outlet drains into


def inside_blob(r, c):
    # A lopsided ellipse with a ragged edge, touching the southern row at the outlet.
    dx = (c - 9.5) / 8.6
    dy = (r - 7.0) / 7.4
    wobble = 0.12 * math.sin(1.7 * c + 0.9 * r) + 0.08 * math.cos(2.3 * r)
    return dx * dx + dy * dy < 1.0 + wobble


mask = [[inside_blob(r, c) for c in range(XCOUNT)] for r in range(YCOUNT)]
mask[0] = [False] * XCOUNT
mask[0][outlet[1]] = True
mask[1][outlet[1]] = True
# The outlet drains south-west into a receiving cell on the southern row.
receiver = (0, outlet[1] - 1)

nbrs = [(-1, 0), (1, 0), (0, -1), (0, 1), (-1, -1), (-1, 1), (1, -1), (1, 1)]

# Shortest path distance (in steps) to the outlet within the mask.
dist = [[None] * XCOUNT for _ in range(YCOUNT)]
dist[outlet[0]][outlet[1]] = 0
queue = deque([outlet])
while queue:
    r, c = queue.popleft()
    for dr, dc in nbrs:
        rr, cc = r + dr, c + dc
        if 0 <= rr < YCOUNT and 0 <= cc < XCOUNT and mask[rr][cc] and dist[rr][cc] is None:
            dist[rr][cc] = dist[r][c] + 1
            queue.append((rr, cc))
# Cells cut off from the outlet leave the basin.
for r in range(YCOUNT):
    for c in range(XCOUNT):
        if mask[r][c] and dist[r][c] is None:
            mask[r][c] = False

cells = [(r, c) for r in range(YCOUNT) for c in range(XCOUNT) if mask[r][c]]

# Downstream cell: the neighbour one step closer to the outlet (ties broken at random).
down = {}
for (r, c) in cells:
    if (r, c) == outlet:
        down[(r, c)] = receiver
        continue
    options = [(r + dr, c + dc) for dr, dc in nbrs
               if 0 <= r + dr < YCOUNT and 0 <= c + dc < XCOUNT and mask[r + dr][c + dc]
               and dist[r + dr][c + dc] == dist[r][c] - 1]
    down[(r, c)] = rng.choice(options)

# Elevations: rising with the distance to the outlet, with noise, but always
# above the downstream cell.
dmax = max(dist[r][c] for (r, c) in cells)
elev = {receiver: 200.0}
for (r, c) in sorted(cells, key=lambda rc: dist[rc[0]][rc[1]]):
    base = 200.0 + 690.0 * (dist[r][c] / dmax) ** 0.9 + rng.uniform(-25.0, 25.0)
    e = max(base, 201.0, elev[down[(r, c)]] + rng.uniform(1.0, 6.0))
    elev[(r, c)] = round(min(e, 900.0 - 0.01 * (dmax - dist[r][c])), 1)
# Keep the fall strict after the cap.
for (r, c) in sorted(cells, key=lambda rc: dist[rc[0]][rc[1]]):
    if elev[(r, c)] <= elev[down[(r, c)]]:
        elev[(r, c)] = round(elev[down[(r, c)]] + 0.5, 1)

# Ranks: highest cell first, the outlet last, the receiver after it.
order = sorted(cells, key=lambda rc: (-elev[rc], rc))
rank = {rc: k + 1 for k, rc in enumerate(order)}
n_basin = len(order)
rank[receiver] = n_basin + 1
n_total = n_basin + 1

# Grid area: full cells inside, partial cells on the basin's edge.
def edge(rc):
    r, c = rc
    return any(not (0 <= r + dr < YCOUNT and 0 <= c + dc < XCOUNT and mask[r + dr][c + dc])
               for dr, dc in nbrs[:4])

area = {}
for rc in cells:
    area[rc] = 1.0e6 if not edge(rc) else rng.choice([0.25e6, 0.5e6, 0.625e6, 0.75e6, 0.875e6])
area[receiver] = 1.0e6

# Drainage area (km2), accumulated downstream in rank order.
da = {rc: area[rc] / 1.0e6 for rc in cells}
da[receiver] = 0.0
for rc in order:
    da[down[rc]] = da.get(down[rc], 0.0) + da[rc]
da[receiver] = round(da[receiver] + 1.0, 3)

def length(rc):
    r, c = rc
    d = down[rc]
    return 1414.2 if (d[0] != r and d[1] != c) else 1000.0

chnllength = {rc: length(rc) for rc in cells}
chnllength[receiver] = 1000.0
slope = {rc: max(1.0e-4, (elev[rc] - elev[down[rc]]) / chnllength[rc]) for rc in cells}
slope[receiver] = 1.0e-3
bankfull = {rc: round(0.6 * da[rc] ** 0.75, 3) for rc in list(cells) + [receiver]}
iak = {rc: 1 for rc in list(cells) + [receiver]}  # one river class, as the parameter file has
chnl = {rc: (1 if da[rc] > 25.0 else 2) for rc in list(cells) + [receiver]}
lake_cells = set(order[n_basin // 2: n_basin // 2 + 3])
reach = {rc: (1 if rc in lake_cells else 0) for rc in list(cells) + [receiver]}
intslope = {rc: round(rng.uniform(0.01, 0.2), 4) for rc in list(cells) + [receiver]}

# Land-cover fractions in sixteenths, so that they add up to exactly 1.
classes = {}
for rc in list(cells) + [receiver]:
    forest = rng.randint(2, 14)
    crops = rng.randint(0, 16 - forest)
    water = 16 - forest - crops
    classes[rc] = (forest / 16.0, crops / 16.0, water / 16.0)

directions = ["FetchNE", "FetchE", "FetchSE", "FetchS", "FetchSW", "FetchW", "FetchNW", "FetchN"]
fetch = {rc: [round(rng.uniform(0.0, 5000.0), 1) for _ in directions] for rc in list(cells) + [receiver]}

debug = rank[order[n_basin // 3]]


def grid_of(value, fmt):
    rows = []
    for r in range(YCOUNT):
        vals = []
        for c in range(XCOUNT):
            rc = (r, c)
            v = value(rc) if (rc in rank) else 0
            vals.append(fmt(v))
        rows.append(" ".join(vals))
    return "\n".join(rows) + "\n"


def ival(v):
    return "%d" % int(v)


def fval(d):
    return lambda v: ("%.*f" % (d, v))


attributes = [
    ("Rank", lambda rc: rank[rc], ival),
    ("Next", lambda rc: rank[down[rc]] if rc in down else 0, ival),
    ("DA", lambda rc: da[rc], fval(3)),
    ("Bankfull", lambda rc: bankfull[rc], fval(3)),
    ("ChnlSlope", lambda rc: slope[rc], fval(6)),
    ("Elev", lambda rc: elev[rc], fval(1)),
    ("ChnlLength", lambda rc: chnllength[rc], fval(1)),
    ("IAK", lambda rc: iak[rc], ival),
    ("IntSlope", lambda rc: intslope[rc], fval(4)),
    ("Chnl", lambda rc: chnl[rc], ival),
    ("Reach", lambda rc: reach[rc], ival),
    ("GridArea", lambda rc: area[rc], fval(1)),
]
for k, name in enumerate(directions):
    attributes.append((name, (lambda k: lambda rc: fetch[rc][k])(k), fval(1)))
for k, name in enumerate(["forest", "crops", "water"]):
    attributes.append((name, (lambda k: lambda rc: classes[rc][k])(k), fval(4)))

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
    ":SourceFileName     demo.map",
    ":NominalGridSize_AL    1000.000",
    ":ContourInterval         10.000",
    ":ImperviousArea           0.000",
    ":ClassCount                  3",
    ":NumRiverClasses             1",
    ":ElevConversion           1.000",
    ":TotalNumOfGrids    %8d" % n_total,
    ":NumGridsInBasin    %8d" % n_basin,
    ":DebugGridNo        %8d" % debug,
    "#",
    ":Projection         UTM",
    ":Zone                17",
    ":Ellipsoid          GRS80",
    "#",
    ":xOrigin          %12.3f" % XORIGIN,
    ":yOrigin          %12.3f" % YORIGIN,
    "#",
]
for k, (name, _, _) in enumerate(attributes):
    header.append(":AttributeName %d %s" % (k + 1, name))
header += [
    "#",
    ":xCount             %d" % XCOUNT,
    ":yCount             %d" % YCOUNT,
    ":xDelta             %.3f" % DELTA,
    ":yDelta             %.3f" % DELTA,
    "#",
    ":EndHeader",
]

os.makedirs(outdir, exist_ok=True)
with open(os.path.join(outdir, "demo_shd.r2c"), "w", newline="\n") as f:
    f.write("\n".join(header) + "\n")
    for name, value, fmt in attributes:
        f.write(grid_of(value, fmt))

pdl = [
    "#",
    "FileType            pdl",
    "Projection          UTM",
    "Ellipsoid           GRS80",
    "Zone                17",
    "#",
    "xOrigin             %.1f" % XORIGIN,
    "yOrigin             %.1f" % YORIGIN,
    "#",
    "xCount              %d" % XCOUNT,
    "yCount              %d" % YCOUNT,
    "xDelta              %.1f" % DELTA,
    "yDelta              %.1f" % DELTA,
    "#",
]
with open(os.path.join(outdir, "demo.pdl"), "w", newline="\n") as f:
    f.write("\n".join(pdl) + "\n")

print("cells in basin: %d, total grids: %d, debug grid: %d, elevations %.1f .. %.1f"
      % (n_basin, n_total, debug, min(elev[rc] for rc in cells), max(elev[rc] for rc in cells)))

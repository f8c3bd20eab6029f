#!/usr/bin/python3
"""Times the program on the benchmark basins S, M and L against gdal_grid's
inverse-distance gridding of the same gauges, side by side in one run, and
compares the program's outputs file by file with a saved reference.

    /usr/bin/python3 bench/bench.py [options] [S M L]

  --runs N              runs of the program per basin (median and best; 3)
  --gdal-runs N         repetitions of the gridding per thread setting (2);
                        the program's runs and the gridding take turns
  --program PATH        the program to time (build/nimbex)
  --out DIR             where the basins are written (build/bench)
  --threads N           NIMBEX_THREADS for the program (default: all cores)
  --save-reference DIR  keep this run's outputs as the reference
  --compare DIR         compare this run's outputs with a saved reference
  --no-gdal             time the program only

The basins are written by bench/make_basin.py (seeded, so every run writes
the same files); each holds one event, so a whole run is the time per event.
The program runs with a fixed clock, so that its outputs can be compared
byte for byte. Peak memory is the largest resident set of one more run,
under GNU time (apt-get install time).

gdal_grid's side is GDAL's in-process gridding (gdal.Grid, algorithm invdist,
power 2, no smoothing, no search radius: every gauge in every cell, as the
program does with its default radius), single-precision output so that GDAL
takes its vectorised float path where the processor has one, best of one
thread and all threads. Only the hours with rain are gridded, and nothing is
read or written: the points are in memory and the grid is a memory raster.
It needs GDAL's Python bindings, which CI does not:

    apt-get install gdal-bin python3-gdal

(the Debian bindings belong to the system interpreter, /usr/bin/python3).
"""
import argparse
import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import make_basin  # noqa: E402

FIXED_CLOCK = "2024-01-01 00:00"
INPUT_DIRS = ("event", "basin", "raing")


def run_program(program, d, threads):
    """One whole run in basin directory d: (seconds, CPU seconds, peak resident MB, exit code)."""
    for f in os.listdir(os.path.join(d, "radcl")):
        os.remove(os.path.join(d, "radcl", f))
    env = dict(os.environ, NIMBEX_FIXED_CLOCK=FIXED_CLOCK)
    if threads:
        env["NIMBEX_THREADS"] = str(threads)
    with open(os.path.join(d, "console.txt"), "wb") as out:
        t0 = time.perf_counter()
        p = subprocess.Popen([program], cwd=d, env=env, stdin=subprocess.DEVNULL, stdout=out,
                             stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(p.pid, 0)
        t = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    return t, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0, p.returncode


def peak_memory(program, d, threads):
    """Peak resident memory (MB) of one untimed run, measured by GNU time: a
    child of this interpreter would also count the interpreter's own memory
    (copied at the fork). None when GNU time is missing."""
    if not os.path.exists("/usr/bin/time"):
        return None
    env = dict(os.environ, NIMBEX_FIXED_CLOCK=FIXED_CLOCK)
    if threads:
        env["NIMBEX_THREADS"] = str(threads)
    r = subprocess.run(["/usr/bin/time", "-f", "%M", program], cwd=d, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        return int(r.stderr.split()[-1]) / 1024.0
    except (IndexError, ValueError):
        return None


def output_files(d):
    """The files a run writes, relative to d."""
    out = []
    for root, dirs, files in os.walk(d):
        rel = os.path.relpath(root, d)
        if rel == ".":
            dirs[:] = [x for x in dirs if x not in INPUT_DIRS]
        # The lock file is empty and not an output of the run.
        out += [os.path.normpath(os.path.join(rel, f)) for f in files if f not in (".keep", "nimbex.lock")]
    return sorted(out)


def read_gauges(d):
    """Gauge places (metres from the grid origin) and hourly values of basin d."""
    raing = os.path.join(d, "raing")
    tb0 = os.path.join(raing, [f for f in os.listdir(raing) if f.endswith(".tb0")][0])
    xs = ys = None
    rows = []
    body = False
    with open(tb0) as f:
        for line in f:
            s = line.split()
            if body:
                rows.append([float(v) for v in s])
            elif s and s[0] == ":ColumnLocationX":
                xs = [float(v) - make_basin.XORIGIN for v in s[1:]]
            elif s and s[0] == ":ColumnLocationY":
                ys = [float(v) - make_basin.YORIGIN for v in s[1:]]
            elif s and s[0] == ":EndHeader":
                body = True
    return xs, ys, rows


def gdal_gridding(d, nx, ny):
    """A function that grids the wet hours of basin d once with the given
    GDAL_NUM_THREADS and returns (seconds, CPU seconds), and the hours gridded."""
    from osgeo import gdal, ogr
    gdal.UseExceptions()
    xs, ys, rows = read_gauges(d)
    layers = []
    for row in rows:
        if not any(v > 0.0 for v in row):
            continue
        ds = gdal.GetDriverByName("Memory").Create("", 0, 0, 0, gdal.GDT_Unknown)
        lyr = ds.CreateLayer("g", geom_type=ogr.wkbPoint)
        lyr.CreateField(ogr.FieldDefn("z", ogr.OFTReal))
        for x, y, v in zip(xs, ys, row):
            if v < 0.0:
                continue  # no record: not a point of this hour
            feat = ogr.Feature(lyr.GetLayerDefn())
            feat.SetField("z", v)
            pt = ogr.Geometry(ogr.wkbPoint)
            pt.AddPoint_2D(x, y)
            feat.SetGeometry(pt)
            lyr.CreateFeature(feat)
        layers.append(ds)
    w = make_basin.DELTA
    opts = gdal.GridOptions(format="MEM", outputType=gdal.GDT_Float32, width=nx, height=ny,
                            outputBounds=[0.5 * w, (ny + 0.5) * w, (nx + 0.5) * w, 0.5 * w],
                            algorithm="invdist:power=2.0:smoothing=0.0:radius1=0.0:radius2=0.0",
                            zfield="z")
    gdal.SetConfigOption("GDAL_USE_AVX", "YES")

    def grid_once(threads):
        gdal.SetConfigOption("GDAL_NUM_THREADS", threads)
        t0, c0 = time.perf_counter(), time.process_time()
        for ds in layers:
            gdal.Grid("", ds, options=opts)
        return time.perf_counter() - t0, time.process_time() - c0

    return grid_once, len(layers)


def hours_of(name):
    return make_basin.BASINS[name][3]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("basins", nargs="*", default=["S", "M", "L"])
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--gdal-runs", type=int, default=2)
    ap.add_argument("--program", default=os.path.join(ROOT, "build", "nimbex"))
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "bench"))
    ap.add_argument("--threads", type=int, default=0)
    ap.add_argument("--save-reference")
    ap.add_argument("--compare")
    ap.add_argument("--no-gdal", action="store_true")
    args = ap.parse_args()
    program = os.path.abspath(args.program)

    results = []
    differ = 0
    for name in [b.upper() for b in args.basins]:
        d = os.path.join(args.out, name)
        if not os.path.isfile(os.path.join(d, "event", "event.evt")):
            make_basin.make(name, args.out)
        nx, ny, ng, _, _ = make_basin.BASINS[name]
        times, cpus = [], []
        peak = peak_memory(program, d, args.threads)
        # The program and the gridding take turns, so that both meet the
        # machine in the same states (shared machines drift from minute to
        # minute): best of the rounds for each.
        grid_once, hours = (None, 0) if args.no_gdal else gdal_gridding(d, nx, ny)
        gbest, gcpu = None, None
        for r in range(max(args.runs, 0 if args.no_gdal else args.gdal_runs)):
            if r < args.runs:
                t, c, mb, rc = run_program(program, d, args.threads)
                if rc != 0:
                    sys.exit("%s: the program ended with %d (see %s)" % (name, rc, os.path.join(d, "console.txt")))
                times.append(t)
                cpus.append(c)
                if peak is None and not grid_once:
                    peak = mb  # without GDAL loaded here the fork copies little
            if grid_once and r < args.gdal_runs:
                for threads in ("1", "ALL_CPUS"):
                    t, c = grid_once(threads)
                    if gbest is None or t < gbest[0]:
                        gbest = (t, threads)
                    if threads == "1" and (gcpu is None or c < gcpu):
                        gcpu = c
        frames = 0
        for f in os.listdir(os.path.join(d, "radcl")):
            with open(os.path.join(d, "radcl", f), "rb") as r:
                frames += sum(1 for line in r if line.startswith(b":Frame"))
        g = (gbest[0], gbest[1], hours, gcpu) if grid_once else None
        results.append((name, "%dx%d x %d, %d h, %d frames" % (nx, ny, ng, hours_of(name), frames),
                        statistics.median(times), min(times), min(cpus), peak, g))

        if args.save_reference:
            ref = os.path.join(args.save_reference, name)
            shutil.rmtree(ref, ignore_errors=True)
            for f in output_files(d):
                os.makedirs(os.path.dirname(os.path.join(ref, f)), exist_ok=True)
                shutil.copyfile(os.path.join(d, f), os.path.join(ref, f))
        if args.compare:
            ref = os.path.join(args.compare, name)
            mine, theirs = output_files(d), output_files(ref)
            for f in sorted(set(mine) | set(theirs)):
                if f not in mine or f not in theirs:
                    state = "only in " + ("the reference" if f in theirs else "this run")
                else:
                    state = "same" if filecmp.cmp(os.path.join(d, f), os.path.join(ref, f), shallow=False) \
                        else "DIFFERENT"
                differ += state != "same"
                print("%-3s %-28s %s" % (name, f, state))

    print()
    # Wall times on a busy machine mislead; CPU seconds (all threads of the
    # program, one thread of GDAL) show the work done.
    print("| basin | cells x gauges, hours, frames | program, whole run: median / best, CPU | peak RSS "
          "| gdal_grid, wet hours only: best, CPU of 1 thread | ratio of best | ratio of CPU |")
    print("|---|---|---|---|---|---|---|")
    for name, shape, med, best, cpu, peak, g in results:
        gd = "%.2f s (%d h, threads %s), %.2f s" % (g[0], g[2], g[1], g[3]) if g else "-"
        ratio = "%.2f" % (best / g[0]) if g else "-"
        cratio = "%.2f" % (cpu / g[3]) if g else "-"
        print("| %s | %s | %.2f / %.2f s, %.2f s | %s | %s | %s | %s |"
              % (name, shape, med, best, cpu, "%.0f MB" % peak if peak else "-", gd, ratio, cratio))
    if args.compare:
        print()
        print("outputs: %s" % ("all the same as the reference" if differ == 0 else "%d files differ" % differ))
        sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()

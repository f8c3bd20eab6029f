#!/usr/bin/env python3
"""Mutation campaign over whole runs of the program.

Builds the example basin and small variants of it (one event; a legacy .rag
file in the labelled and in the old layout; an old-layout pdl file; an
elv_max.r2c grid; six-hourly data with disaggregation), then, run after run,
damages one to three input files of a variant (numbers replaced by huge,
negative, NaN, infinite or unreadable values; lines dropped, duplicated,
cut or swapped; bytes flipped; quotes and control characters put in), runs
the program in a scratch copy with a time limit and checks what it left:

  - the exit status is 0 or 1 (no signal, no hang);
  - no input file changed;
  - no written grid holds NaN, an infinity or a field of stars (stars in the
    frames of a grid with disaggregated hours are allowed: those hours are
    not cut to the field's width), and every written grid reads back with
    `r2ctool info`;
  - no report or station list holds NaN or an infinity the program formed;
  - no NUL byte in any file written, no raw control character on the console.

Usage: fuzz/mutate_run.py [--runs N] [--jobs J] [--seed S] [--build DIR]
Findings are kept under --keep (default fuzz-findings/) with the damaged
inputs, the console and the reason. Standard library only.
"""
import argparse
import concurrent.futures
import hashlib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)

# ---------------------------------------------------------------- variants


def read(p):
    with open(p, "rb") as f:
        return f.read()


def write(p, data):
    os.makedirs(os.path.dirname(p), exist_ok=True)
    with open(p, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def edit(p, old, new):
    s = read(p).decode()
    assert old in s, (p, old)
    write(p, s.replace(old, new, 1))


def tb0_stations(path):
    """Names, x, y and the first data lines of the example's gauge table."""
    names = xs = ys = None
    data = []
    in_data = False
    for line in read(path).decode().splitlines():
        w = line.split()
        if not w:
            continue
        if in_data:
            if not line.startswith("#"):
                data.append([float(v) for v in w])
            continue
        if w[0].lower() == ":columnname":
            names = w[1:]
        elif w[0].lower() == ":columnlocationx":
            xs = [float(v) for v in w[1:]]
        elif w[0].lower() == ":columnlocationy":
            ys = [float(v) for v in w[1:]]
        elif w[0].lower() == ":endheader":
            in_data = True
    return names, xs, ys, data


def single_event(d, gauge="raing\\20230701_rag.tb0", hours=744):
    evt = os.path.join(d, "event", "event.evt")
    s = read(evt).decode()
    s = s[: s.index(":noeventstofollow")] + ":noeventstofollow     0\n#\n"
    s = s.replace("raing\\20230701_rag.tb0", gauge)
    s = re.sub(r":hoursraindata\s+\d+", ":hoursraindata        %d" % hours, s)
    write(evt, s)
    for f in ("20230801.evt", "20230901.evt"):
        os.remove(os.path.join(d, "event", f))


def make_variants(root):
    ex = os.path.join(SOURCE, "examples")
    variants = {}

    def base(name):
        d = os.path.join(root, name)
        shutil.copytree(ex, d, ignore=shutil.ignore_patterns("*.py"))
        variants[name] = d
        return d

    base("chain")
    single_event(base("single"))

    names, xs, ys, data = tb0_stations(os.path.join(ex, "raing", "20230701_rag.tb0"))
    hours = 48
    rows = data[:hours]

    d = base("rag_labelled")
    lines = ["#", "FileType    .rag", "Projection  UTM", "Ellipsoid   GRS80", "Zone        17", "StartTime",
             "SampleDate  2023-07-01", "SampleTime  01:00", "Counts", "NoStations  %d" % len(names),
             "NoHours     %d" % hours, "DeltaT      1", "Conversion  1.0", "Names",
             " ".join(names), " ".join("%.1f" % x for x in xs), " ".join("%.1f" % y for y in ys),
             "first echoed line", "second echoed line"]
    lines += [" ".join("%.2f" % v for v in r) for r in rows]
    write(os.path.join(d, "raing", "20230701.rag"), "\n".join(lines) + "\n")
    single_event(d, "raing\\20230701.rag", hours)

    d = base("rag_old")
    # Positions in whole km (the watershed's integer unit): north, east, name.
    lines = ["old layout gauges", "%5d%5d%5.1f" % (len(names), hours, 1.0)]
    lines += ["%5d%5d %s" % (int(y / 1000), int(x / 1000), n[:12]) for n, x, y in zip(names, xs, ys)]
    lines.append(" ".join("0.25" for _ in names))
    lines += ["".join("%8.2f" % v for v in r) for r in rows]
    write(os.path.join(d, "raing", "20230701.rag"), "\n".join(lines) + "\n")
    single_event(d, "raing\\20230701.rag", hours)

    d = base("pdl_old")
    write(os.path.join(d, "basin", "demo.pdl"),
          "    1 4800 4814  500  519    0    0    0    0    0    0    0    0  0.0  0.0\n")
    single_event(d)

    d = base("elv_max")
    rnd = random.Random(7)
    grid = "\n".join(" ".join("%.1f" % rnd.uniform(150, 950) for _ in range(20)) for _ in range(15))
    write(os.path.join(d, "basin", "elv_max.r2c"),
          ":FileType r2c ASCII EnSim 1.0\n:Projection UTM\n:Zone 17\n:Ellipsoid GRS80\n"
          ":xOrigin 500000.0\n:yOrigin 4800000.0\n:xCount 20\n:yCount 15\n:xDelta 1000.0\n"
          ":yDelta 1000.0\n:AttributeName 1 elevation\n:EndHeader\n" + grid + "\n")
    evt = os.path.join(d, "event", "event.evt")
    edit(evt, ":noeventstofollow     2", ":noeventstofollow     1")

    d = base("disagg")
    tb0 = os.path.join(d, "raing", "20230701_rag.tb0")
    edit(tb0, ":DeltaT                  1", ":DeltaT                  6")
    s = read(tb0).decode()
    head, body = s.split(":EndHeader", 1)
    body_lines = body.split("\n")
    write(tb0, head + ":EndHeader" + "\n".join(body_lines[:40]) + "\n")
    single_event(d, hours=234)
    evt = os.path.join(d, "event", "event.evt")
    edit(evt, ":smrflg               n", ":smrflg               y")
    edit(evt, ":disaggregate         0.0", ":disaggregate         2.0")
    return variants


# ---------------------------------------------------------------- mutations

NUMBERS = [b"3e38", b"-3e38", b"1e38", b"1e30", b"-1e30", b"5e12", b"1e12", b"-1e12", b"1e9", b"99999",
           b"1e5", b"100001", b"nan", b"NaN", b"inf", b"-inf", b"Infinity", b"-Infinity", b"1e39", b"0", b"-0",
           b"-1", b"-999", b"1e-30", b"1e-45", b"2147483647", b"-2147483648", b"4294967296", b"x1", b"1,2",
           b"1d5", b"1.e", b'""', b"''", b"13", b"0", b"40", b"-2", b"24", b"99999", b"29"]
CONTROLS = [b"\r", b"\x00", b"\x1b", b"\t", b"\x0c", b"\x7f", b"\x01"]
NUMBER_RE = re.compile(rb"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?")


def mutate(data, rnd):
    lines = data.split(b"\n")
    kind = rnd.choice(["number", "number", "number", "number", "drop", "dup", "cut", "swap", "flip", "control",
                       "quote", "truncate", "long", "empty_value"])
    if kind == "number":
        spots = [m for m in NUMBER_RE.finditer(data)]
        if spots:
            m = rnd.choice(spots)
            return data[: m.start()] + rnd.choice(NUMBERS) + data[m.end():], kind
        kind = "flip"
    if not lines:
        return data, kind
    i = rnd.randrange(len(lines))
    if kind == "drop":
        del lines[i]
    elif kind == "dup":
        lines.insert(i, lines[i])
    elif kind == "cut":
        lines[i] = lines[i][: rnd.randrange(len(lines[i]) + 1)]
    elif kind == "swap":
        j = rnd.randrange(len(lines))
        lines[i], lines[j] = lines[j], lines[i]
    elif kind == "control":
        p = rnd.randrange(len(lines[i]) + 1)
        lines[i] = lines[i][:p] + rnd.choice(CONTROLS) + lines[i][p:]
    elif kind == "quote":
        p = rnd.randrange(len(lines[i]) + 1)
        lines[i] = lines[i][:p] + rnd.choice([b'"', b'""', b"'", b'" "']) + lines[i][p:]
    elif kind == "long":
        p = rnd.randrange(len(lines[i]) + 1)
        lines[i] = lines[i][:p] + b"x" * rnd.choice([30, 61, 200]) + lines[i][p:]
    elif kind == "empty_value":
        w = lines[i].split()
        if w:
            lines[i] = w[0] + b' ""'
    elif kind == "truncate":
        return data[: rnd.randrange(len(data) + 1)], kind
    elif kind == "flip":
        if data:
            b = bytearray(data)
            p = rnd.randrange(len(b))
            b[p] ^= 1 << rnd.randrange(8)
            return bytes(b), kind
    return b"\n".join(lines), kind


# ---------------------------------------------------------------- checks

BAD_WORD = re.compile(rb"(?i)^[-+]?(nan|inf|infinity)$")


def digest(p):
    return hashlib.sha256(read(p)).hexdigest()


def inputs_of(d):
    out = {}
    for sub in ("event", "basin", "raing"):
        for base, _, files in os.walk(os.path.join(d, sub)):
            for f in files:
                p = os.path.join(base, f)
                out[os.path.relpath(p, d)] = digest(p)
    return out


def input_words(d, rels):
    words = set()
    for r in rels:
        try:
            words.update(w.lower() for w in read(os.path.join(d, r)).split())
        except OSError:
            pass
    return words


def check_run(d, inputs, status, console, r2ctool, disaggregating):
    problems = []
    if status not in (0, 1):
        problems.append("exit status %s" % status)
    if b"\x00" in console:
        problems.append("NUL byte on the console")
    if re.search(rb"[\x01-\x08\x0b-\x1f\x7f]", console):
        problems.append("raw control character on the console")
    for rel, h in inputs.items():
        p = os.path.join(d, rel)
        if not os.path.exists(p) or digest(p) != h:
            problems.append("input changed: " + rel)
    echoed = input_words(d, inputs.keys())
    for base, _, files in os.walk(d):
        for f in files:
            p = os.path.join(base, f)
            rel = os.path.relpath(p, d)
            if rel in inputs or rel in ("console.txt", "junk"):
                continue
            data = read(p)
            if b"\x00" in data:
                problems.append("NUL byte in " + rel)
            if f.endswith(".r2c"):
                in_header = True
                for line in data.split(b"\n"):
                    if in_header:
                        if line.lower().startswith(b":endheader"):
                            in_header = False
                        if b"*" in line and not line.startswith(b"#"):
                            problems.append("stars in the header of %s: %r" % (rel, line[:80]))
                        continue
                    if line.startswith(b":"):
                        continue
                    for w in line.split():
                        if BAD_WORD.match(w):
                            problems.append("%s in %s" % (w.decode(), rel))
                            break
                    if b"*" in line and not (disaggregating and rel != "nimbex_sum.r2c"):
                        problems.append("stars in " + rel)
                    if problems:
                        break
                if not any(rel in x for x in problems):
                    res = subprocess.run([r2ctool, "info", p], capture_output=True, timeout=60)
                    if res.returncode != 0:
                        msg = res.stderr.decode(errors="replace").strip()
                        # A grid of an event without rain has a header and no frame.
                        if "no grid after the header" not in msg and not (disaggregating and "*" in msg):
                            problems.append("r2ctool info refuses %s: %s" % (rel, msg[-200:]))
            else:
                for w in data.split():
                    if BAD_WORD.match(w) and w.lower() not in echoed:
                        problems.append("%s in %s" % (w.decode(errors="replace"), rel))
                        break
    return problems


def one_run(args):
    n, variant_dir, variant, seed, nimbex, r2ctool, keep, timeout = args
    rnd = random.Random(seed)
    work = tempfile.mkdtemp(prefix="mut_")
    try:
        d = os.path.join(work, "basin_copy")
        shutil.copytree(variant_dir, d)
        files = sorted(inputs_of(d))
        changes = []
        for _ in range(rnd.choice([1, 1, 1, 2, 3])):
            rel = rnd.choice(files)
            p = os.path.join(d, rel)
            data, kind = mutate(read(p), rnd)
            write(p, data)
            changes.append("%s:%s" % (rel, kind))
        inputs = inputs_of(d)
        disaggregating = any(re.search(rb"(?im)^\s*:smrflg\s+[ya]", read(os.path.join(d, r)))
                             for r in inputs if r.startswith("event"))
        try:
            res = subprocess.run([nimbex], cwd=d, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, timeout=timeout)
            status, console = res.returncode, res.stdout
        except subprocess.TimeoutExpired as e:
            status, console = "timeout", e.stdout or b""
        problems = check_run(d, inputs, status, console, r2ctool, disaggregating)
        if problems and keep:
            dest = os.path.join(keep, "%06d_%s" % (n, variant))
            shutil.copytree(d, dest, dirs_exist_ok=True)
            write(os.path.join(dest, "console.txt"), console)
            write(os.path.join(dest, "FINDING.txt"), "\n".join(problems + ["", "changes:"] + changes) + "\n")
        return variant, status, problems
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=1000)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--build", default=os.path.join(SOURCE, "build"))
    ap.add_argument("--keep", default="fuzz-findings")
    ap.add_argument("--timeout", type=float, default=60.0)
    a = ap.parse_args()
    nimbex = os.path.join(os.path.abspath(a.build), "nimbex")
    r2ctool = os.path.join(os.path.abspath(a.build), "r2ctool")
    for exe in (nimbex, r2ctool):
        if not os.access(exe, os.X_OK):
            sys.exit("missing %s: build the targets nimbex and r2ctool first" % exe)
    root = tempfile.mkdtemp(prefix="mut_variants_")
    try:
        variants = make_variants(root)
        # Every variant must run to a normal ending before it is damaged.
        for name, d in variants.items():
            scratch = tempfile.mkdtemp(prefix="mut_check_")
            shutil.copytree(d, os.path.join(scratch, "b"))
            res = subprocess.run([nimbex], cwd=os.path.join(scratch, "b"), stdin=subprocess.DEVNULL,
                                 capture_output=True, timeout=a.timeout)
            shutil.rmtree(scratch, ignore_errors=True)
            if res.returncode != 0:
                sys.exit("variant %s does not run: %s" % (name, res.stdout.decode()[-500:]))
        names = sorted(variants)
        tasks = [(n, variants[names[n % len(names)]], names[n % len(names)], a.seed * 1000003 + n, nimbex, r2ctool,
                  a.keep, a.timeout) for n in range(a.runs)]
        counts = {"0": 0, "1": 0, "other": 0}
        findings = 0
        kinds = {}
        with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
            for variant, status, problems in pool.map(one_run, tasks):
                counts[str(status) if status in (0, 1) else "other"] += 1
                if problems:
                    findings += 1
                    for p in problems:
                        k = re.sub(r"[0-9]+", "N", p.split(":")[0])[:60]
                        kinds[k] = kinds.get(k, 0) + 1
        print("runs %d: normal endings %d, stops %d, other %d; runs with findings %d"
              % (a.runs, counts["0"], counts["1"], counts["other"], findings))
        for k, v in sorted(kinds.items(), key=lambda kv: -kv[1]):
            print("  %6d  %s" % (v, k))
        return 1 if findings else 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

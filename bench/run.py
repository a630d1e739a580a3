"""Drives the benchmark: generates the files, runs Quorvel (quorvel_bench), the
libcsv loader (csv_peer), Python's csv module (peer.py) and the floor, each
run in a process of its own, and prints medians of the runs as a table and
as JSON. Whole-process wall time and peak resident memory (from the
process's own rusage) are the headline figures; the in-process phase
timings come from the programs.

    python3 bench/run.py BUILD_DIR WORK_DIR [--tiny] [--scale] [--runs N] [--only NAME,...] [--json FILE]
"""
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = None
MEMORY_LIMIT = 6 << 30  # a run past it counts as failed
CPU_LIMIT = 120  # seconds


def run(command):
    """Wall seconds, peak RSS in bytes and the JSON the program printed, or None when it failed."""
    measure = os.path.join(BUILD, "bench", "bench_measure")
    done = subprocess.run([measure, str(MEMORY_LIMIT >> 20), str(CPU_LIMIT)] + command,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    lines = done.stdout.decode().strip().splitlines()
    if done.returncode != 0 or len(lines) < 2:
        return None
    measured = json.loads(lines[-1])
    return {"wall": measured["wall"], "rss": measured["rss"], "out": json.loads(lines[-2])}


def median_run(command, runs):
    results = []
    for _ in range(runs):
        r = run(command)
        if r is None:
            return None
        results.append(r)
    merged = {"wall": statistics.median(r["wall"] for r in results), "rss": statistics.median(r["rss"] for r in results)}
    for key, value in results[0]["out"].items():
        if isinstance(value, float):
            merged[key] = statistics.median(r["out"][key] for r in results)
        else:
            merged[key] = value
    return merged


def cases(tiny, scale):
    d = 1000 if tiny else 1
    out = [
        ("narrow", "generate", 1000000 // d, 10),
        ("wide", "generate", 100000 // d, 100),
        ("small", "generate", max(1000 // d, 5), 10),
        ("wide-last", "generate-wide-last", 200000 // d, 5001 if not tiny else 51),
    ]
    if scale:
        for lines in (100000, 1000000, 5000000):
            out.append(("scale-%dk" % (lines // d // 1000) if not tiny else "scale-%d" % (lines // d),
                        "generate", lines // d, 10))
    return out


def ratio(a, b):
    return a / b if a and b else None


def main():
    args = sys.argv[1:]
    global BUILD
    build, work = args[0], args[1]
    BUILD = build
    tiny = "--tiny" in args
    scale = "--scale" in args
    runs = int(args[args.index("--runs") + 1]) if "--runs" in args else (1 if tiny else 3)
    only = args[args.index("--only") + 1].split(",") if "--only" in args else None
    json_path = args[args.index("--json") + 1] if "--json" in args else os.path.join(work, "results.json")
    bench = os.path.join(build, "bench", "quorvel_bench")
    peer = os.path.join(build, "bench", "csv_peer")
    os.makedirs(work, exist_ok=True)
    results = []
    failures = 0
    for name, how, lines, fields in cases(tiny, scale):
        if only and name not in only:
            continue
        path = os.path.join(work, name + ".csv")
        out = os.path.join(work, name + ".out")
        subprocess.run([bench, how, path, str(lines), str(fields)], check=True)
        size = os.path.getsize(path)
        print("== %s: %d lines, %.1f MB" % (name, lines + (how != "generate"), size / 1e6), flush=True)
        row = {"file": name, "bytes": size, "lines": lines + (how != "generate")}
        # Quorvel rewrites its file on save: each save run works on a copy.
        copy = os.path.join(work, name + ".copy.csv")

        def fresh():
            with open(path, "rb") as src, open(copy, "wb") as dst:
                dst.write(src.read())
            return copy

        row["quorvel_load"] = median_run([bench, "load", path], runs)
        row["quorvel_save"] = None
        saves = []
        for _ in range(runs):
            r = run([bench, "save", fresh()])
            if r is None:
                saves = None
                break
            saves.append(r["wall"])
        row["quorvel_save"] = statistics.median(saves) if saves else None
        row["quorvel_ops"] = median_run([bench, "ops", fresh()], runs)
        row["libcsv_load"] = median_run([peer, "load", path], runs)
        row["libcsv_save"] = median_run([peer, "save", path, out], runs)
        row["python_load"] = median_run([sys.executable, os.path.join(HERE, "peer.py"), "load", path], runs)
        row["python_save"] = median_run([sys.executable, os.path.join(HERE, "peer.py"), "save", path, out], runs)
        row["floor"] = median_run([peer, "floor", path, out], runs)
        for f in (out, copy, path):
            if os.path.exists(f):
                os.remove(f)

        q, c = row["quorvel_load"], row["libcsv_load"]
        if q is None or c is None or q.get("rows") != c.get("rows") or q.get("columns") != c.get("columns"):
            if q is not None and c is not None:
                print("  row/column counts differ: quorvel %s x %s, libcsv %s x %s"
                      % (q.get("rows"), q.get("columns"), c.get("rows"), c.get("columns")))
            failures += 1
        results.append(row)
        print_row(row, flush=True)

    print()
    print_table(results)
    with open(json_path, "w") as f:
        json.dump(results, f, indent=1)
    print("\nJSON: %s" % json_path)
    return 1 if failures else 0


def fmt(value, unit="s"):
    if value is None:
        return "fail"
    if unit == "s":
        return "%.3f s" % value
    if unit == "MB":
        return "%.0f MB" % (value / 1e6)
    if unit == "x":
        return "%.2fx" % value
    if unit == "ns":
        return "%.1f ns" % value
    return str(value)


def get(d, key):
    return d[key] if d and key in d else None


def summary(row):
    q, c, p, fl = row["quorvel_load"], row["libcsv_load"], row["python_load"], row["floor"]
    ops = row["quorvel_ops"]
    cs, ps = row["libcsv_save"], row["python_save"]
    cells = None
    if ops and ops.get("characters") is not None:
        cells = ops["rows"] * ops["columns"]
    lines = row["lines"]
    s = {
        "file": row["file"],
        "MB": row["bytes"] / 1e6,
        "quorvel load": get(q, "wall"),
        "libcsv load": get(c, "wall"),
        "python load": get(p, "wall"),
        "floor": get(fl, "wall"),
        "Q/libcsv load": ratio(get(q, "wall"), get(c, "wall")),
        "Q/python load": ratio(get(q, "wall"), get(p, "wall")),
        "quorvel RSS": get(q, "rss"),
        "libcsv RSS": get(c, "rss"),
        "Q/libcsv RSS": ratio(get(q, "rss"), get(c, "rss")),
        "Q bytes/cell": get(q, "rss") / cells if get(q, "rss") and cells else None,
        "quorvel save": row["quorvel_save"],
        "libcsv load+write": get(cs, "wall"),
        "python load+write": get(ps, "wall"),
        "Q/libcsv save": ratio(row["quorvel_save"], get(cs, "wall")),
        "scan ns/cell": get(ops, "scan") * 1e9 / cells if get(ops, "scan") is not None and cells else None,
        "find ns/row": max(get(ops, k) for k in ("find_down", "find_up", "find_down_case", "find_up_case")) * 1e9 / ops["rows"]
        if ops and ops.get("rows") else None,
        "insert+delete": get(ops, "insert") + get(ops, "delete") if ops else None,
        "load us/line": get(q, "load") * 1e6 / lines if get(q, "load") else None,
    }
    return s


UNITS = {"MB": "mb", "quorvel RSS": "MB", "libcsv RSS": "MB", "Q bytes/cell": "n", "scan ns/cell": "ns",
         "find ns/row": "ns", "insert+delete": "s", "load us/line": "n"}


def cell(key, value):
    unit = UNITS.get(key, "x" if "/" in key else "s")
    if key == "file":
        return value
    if value is None:
        return "-"
    if unit == "mb":
        return "%.1f" % value
    if unit == "n":
        return "%.2f" % value
    return fmt(value, unit)


def print_row(row, flush=False):
    s = summary(row)
    print("  " + "; ".join("%s %s" % (k, cell(k, v)) for k, v in s.items() if k != "file"), flush=flush)


def print_table(results):
    rows = [summary(r) for r in results]
    if not rows:
        return
    keys = list(rows[0].keys())
    print("| " + " | ".join(keys) + " |")
    print("|" + "---|" * len(keys))
    for s in rows:
        print("| " + " | ".join(cell(k, s[k]) for k in keys) + " |")


if __name__ == "__main__":
    sys.exit(main())

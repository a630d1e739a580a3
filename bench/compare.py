"""Two builds of Quorvel side by side with the libcsv peer, runs interleaved so
that a machine's slower moments fall on all three alike: whole-process load
(and release), peak memory, load + edit + save against the peer's load +
write, find and getVariant from the benchmark's ops run. Medians, and the
slowest load against its median.

    python3 bench/compare.py BASE_BUILD NEW_BUILD WORK_DIR RUNS FILE[,FILE...]

The builds are release trees (scripts/build.sh release); FILE names WORK_DIR/FILE.csv,
made by quorvel_bench generate; the peer is NEW_BUILD's csv_peer.
"""
import json
import os
import shutil
import statistics
import subprocess
import sys


def run(build, args):
    measure = os.path.join(build, "bench", "bench_measure")
    lines = subprocess.run([measure, "8000", "300"] + args, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL).stdout.decode().strip().splitlines()
    if len(lines) < 2:
        return None
    result = json.loads(lines[-1])
    result["out"] = json.loads(lines[-2])
    return result


def main():
    base, new, work, runs, files = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5].split(",")
    peer = os.path.join(new, "bench", "csv_peer")
    for name in files:
        path = os.path.join(work, name + ".csv")
        copy = os.path.join(work, name + ".copy.csv")
        out = os.path.join(work, name + ".out")
        got = {key: [] for key in ("base_load", "new_load", "peer_load", "base_save", "new_save", "peer_save",
                                   "base_ops", "new_ops")}
        for _ in range(runs):
            for who, build in (("base", base), ("new", new)):
                bench = os.path.join(build, "bench", "quorvel_bench")
                got[who + "_load"].append(run(build, [bench, "load", path]))
                for mode in ("save", "ops"):
                    shutil.copy(path, copy)  # a save rewrites its file
                    got[who + "_" + mode].append(run(build, [bench, mode, copy]))
            got["peer_load"].append(run(new, [peer, "load", path]))
            got["peer_save"].append(run(new, [peer, "save", path, out]))
        for f in (copy, out):
            if os.path.exists(f):
                os.remove(f)

        def median(key, field):
            values = [field(r) for r in got[key] if r]
            return statistics.median(values) if values else float("nan")

        wall, rss = (lambda r: r["wall"]), (lambda r: r["rss"])
        ops = got["new_ops"][0]["out"]
        rows, cells = ops["rows"], ops["rows"] * ops["columns"]
        print("== %s: %d runs" % (name, runs))
        for who in ("base", "new", "peer"):
            slowest = max(r["wall"] for r in got[who + "_load"] if r)
            print("  %-4s load %.3f s (slowest %.2fx)  peak %.0f MB  load+edit+save %.3f s"
                  % (who, median(who + "_load", wall), slowest / median(who + "_load", wall),
                     median(who + "_load", rss) / 1e6, median(who + "_save", wall)))
            if who != "peer":
                finds = ["%s %.2f" % (f, median(who + "_ops", lambda r, f=f: r["out"][f]) / rows * 1e9)
                         for f in ("find_down", "find_up", "find_down_case", "find_up_case")]
                print("       ns a row: %s; getVariant %.1f ns a cell"
                      % (", ".join(finds), median(who + "_ops", lambda r: r["out"]["scan"]) / cells * 1e9))
        for who in ("base", "new"):
            print("  %s / peer: load %.2fx  memory %.2fx  load+edit+save %.2fx"
                  % (who, median(who + "_load", wall) / median("peer_load", wall),
                     median(who + "_load", rss) / median("peer_load", rss),
                     median(who + "_save", wall) / median("peer_save", wall)))
        sys.stdout.flush()


if __name__ == "__main__":
    main()

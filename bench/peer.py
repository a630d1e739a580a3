"""The Python peer of the benchmark: the csv module reading the file into a
list of rows (load) and writing it back with every field quoted (save).
Prints one line of JSON with its timings in seconds.

    python3 peer.py load FILE
    python3 peer.py save FILE OUT
"""
import csv
import json
import sys
import time

start = time.perf_counter()
with open(sys.argv[2], newline="", encoding="latin-1") as f:
    rows = list(csv.reader(f))
loaded = time.perf_counter()
result = {"rows": len(rows), "columns": max((len(r) for r in rows), default=0), "load": loaded - start}
if sys.argv[1] == "save":
    with open(sys.argv[3], "w", newline="", encoding="latin-1") as f:
        csv.writer(f, quoting=csv.QUOTE_ALL, lineterminator="\r\n").writerows(rows)
    result["write"] = time.perf_counter() - loaded
print(json.dumps(result))

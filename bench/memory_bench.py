"""Resident set size across 10^6 validate calls on the benchmark corpus: after warm-up it must
stay flat (within 1 MiB), or something leaks per call.

Usage: memory_bench.py QUERIES.txt SCHEMA.json [CALLS]
"""
import os
import sys

import _tessark

PAGE = os.sysconf("SC_PAGE_SIZE")


def rss_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def main():
    queries_path, schema_path = sys.argv[1], sys.argv[2]
    calls = int(sys.argv[3]) if len(sys.argv) > 3 else 1_000_000
    with open(queries_path, encoding="utf-8") as f:
        queries = [line.rstrip("\n") for line in f if line.strip()]
    with open(schema_path, encoding="utf-8") as f:
        validator = _tessark.Tessark(_tessark.Schema.from_json(f.read()))

    def run(n):
        for i in range(n):
            validator.validate(queries[i % len(queries)])

    run(100_000)  # warm-up: allocator pools, interned strings
    before = rss_bytes()
    run(calls)
    after = rss_bytes()
    growth = after - before
    print(f"rss after warm-up {before / 2**20:.1f} MiB, after {calls} validate calls "
          f"{after / 2**20:.1f} MiB, growth {growth / 2**10:.0f} KiB")
    if growth > 2**20:
        print("FAIL: resident set grew by more than 1 MiB")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

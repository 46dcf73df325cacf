#!/usr/bin/env python3
"""Python-level validation throughput on the benchmark corpus: single Tessark.validate calls
and Tessark.validate_batch with 1 and 2 pool threads (TESSARK_NUM_THREADS), each measured in a
fresh interpreter because the pool's size is fixed when it starts.

Usage: validate_bench.py QUERIES_TXT SCHEMA_JSON [SECONDS]"""
import json
import os
import subprocess
import sys

MEASURE = r"""
import json, sys, time
from _tessark import Schema, Tessark
queries_path, schema_path, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
with open(queries_path, encoding="utf-8") as f:
    queries = [line.rstrip("\n") for line in f if line.strip()]
with open(schema_path, encoding="utf-8") as f:
    schema = Schema.from_json(f.read())
validator = Tessark(schema)
batch = (queries * (10000 // len(queries) + 1))[:10000]

def rate(run, per_call):
    done, start = 0, time.perf_counter()
    while True:
        run()
        done += per_call
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            return done / elapsed

def singles():
    for q in queries:
        validator.validate(q)

print(json.dumps({"single": rate(singles, len(queries)),
                  "batch": rate(lambda: validator.validate_batch(batch), len(batch))}))
"""


def measure(threads, queries, schema, seconds):
    env = dict(os.environ, TESSARK_NUM_THREADS=str(threads))
    out = subprocess.run([sys.executable, "-c", MEASURE, queries, schema, str(seconds)],
                         env=env, capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    queries, schema = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 2.0
    if not (os.path.exists(queries) and os.path.exists(schema)):
        print(f"corpus not found ({queries}, {schema}); skipping")
        return
    one = measure(1, queries, schema, seconds)
    two = measure(2, queries, schema, seconds)
    print(f"validate (single calls):    {one['single']:12,.0f} queries/s")
    print(f"validate_batch, 1 thread:   {one['batch']:12,.0f} queries/s")
    print(f"validate_batch, 2 threads:  {two['batch']:12,.0f} queries/s"
          f"  ({two['batch'] / one['batch']:.2f}x)")


if __name__ == "__main__":
    main()

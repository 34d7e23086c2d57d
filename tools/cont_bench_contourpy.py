#!/usr/bin/python3
"""Times contourpy's serial algorithm on the field of bench/cont_bench.cpp.

Run the benchmark once with KEZ_CONT_BENCH_DUMP=/tmp/field.bin to write the
field and its levels, then: /usr/bin/python3 tools/cont_bench_contourpy.py /tmp/field.bin
"""
import sys
import time

import numpy as np
import contourpy

NX, NY = 1440, 721
raw = np.fromfile(sys.argv[1], dtype=np.float32)
z = raw[: NX * NY].reshape(NY, NX).astype(np.float64)
levels = [float(v) for v in raw[NX * NY:]]


def best(fn, runs=5):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times) * 1000


gen = contourpy.contour_generator(z=z, name="serial", line_type="Separate", fill_type="OuterOffset")
lines = best(lambda: [gen.lines(v) for v in levels])
fills = best(lambda: [gen.filled(a, b) for a, b in zip(levels[:-1], levels[1:])])
print(f"contourpy serial lines: {lines:.1f} ms  filled: {fills:.1f} ms")

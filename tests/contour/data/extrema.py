"""Highs and lows of a grid by brute force: every point against every
neighbour of its (2r+1) x (2r+1) window, -9999 neighbours counted as
missing, at most one of them allowed; equal neighbours spoil both.

Input file: "nx ny r" on the first line, then the values row after row
(top row first). Output: "H row col" or "L row col", one a line."""
import sys

import numpy as np

MISS = -9999.0

with open(sys.argv[1]) as f:
    nx, ny, r = (int(t) for t in f.readline().split())
    g = np.array(f.read().split(), dtype=np.float32).reshape(ny, nx)

for row in range(ny):
    for col in range(nx):
        v = g[row, col]
        if v == MISS:
            continue
        win = g[max(row - r, 0):row + r + 1, max(col - r, 0):col + r + 1].copy()
        mask = np.ones(win.shape, dtype=bool)
        mask[row - max(row - r, 0), col - max(col - r, 0)] = False
        others = win[mask]
        missing = np.count_nonzero(others == MISS)
        counted = others[others != MISS]
        if missing > 1:
            continue
        if np.all(v > counted):
            print("H", row, col)
        elif np.all(v < counted):
            print("L", row, col)

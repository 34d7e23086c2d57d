"""Highs and lows of a grid by brute force: every point against every
neighbour of its (2r+1) x (2r+1) window, -9999 neighbours counted as
missing, at most one of them allowed. Equal values within a window of
each other, and theirs in turn, form a plateau; a plateau is a high when
each of its points is at least as high as every neighbour and one of them
exceeds a neighbour (a 1 x 1 grid is a high), a low likewise, and it is
marked once, at its point nearest its centroid (of those as near, the
first in the grid's order, rows top first).

Input file: "nx ny r" on the first line, then the values row after row
(top row first). Output: "H row col" or "L row col", one a line."""
import sys

import numpy as np

MISS = -9999.0

with open(sys.argv[1]) as f:
    nx, ny, r = (int(t) for t in f.readline().split())
    g = np.array(f.read().split(), dtype=np.float32).reshape(ny, nx)

weak = {}  # (row, col) -> (as high, as low, exceeds one, undercuts one)
for row in range(ny):
    for col in range(nx):
        v = g[row, col]
        if v == MISS:
            continue
        r0, c0 = max(row - r, 0), max(col - r, 0)
        win = g[r0:row + r + 1, c0:col + r + 1]
        rows, cols = np.indices(win.shape)
        w = win[(rows + r0 != row) | (cols + c0 != col)]
        if np.count_nonzero(w == MISS) > 1:
            weak[row, col] = (False, False, False, False)
            continue
        w = w[w != MISS]
        weak[row, col] = (bool(np.all(v >= w)), bool(np.all(v <= w)), bool(np.any(v > w) or w.size == 0),
                          bool(np.any(v < w)))

# plateaus: union of equal values within a window of each other
parent = {p: p for p in weak}


def find(p):
    while parent[p] != p:
        parent[p] = parent[parent[p]]
        p = parent[p]
    return p


for (row, col) in weak:
    for dr in range(-r, r + 1):
        for dc in range(-r, r + 1):
            q = (row + dr, col + dc)
            if q in weak and q != (row, col) and g[q] == g[row, col]:
                parent[find(q)] = find((row, col))

groups = {}
for p in sorted(weak):
    groups.setdefault(find(p), []).append(p)
marks = []
for members in groups.values():
    mr = sum(p[0] for p in members) / len(members)
    mc = sum(p[1] for p in members) / len(members)
    centre = min(members, key=lambda p: ((p[0] - mr) ** 2 + (p[1] - mc) ** 2, p))
    if all(weak[p][0] for p in members) and any(weak[p][2] for p in members):
        marks.append(("H", centre))
    elif all(weak[p][1] for p in members) and any(weak[p][3] for p in members):
        marks.append(("L", centre))
for kind, (row, col) in sorted(marks, key=lambda m: m[1]):
    print(kind, row, col)

#!/usr/bin/python3
"""Writes the bundled map outline files from the binned shoreline and
border data of Debian's gmt-gshhg-low package.

Each shoreline or border piece of a bin becomes one record of the outline
file format (big-endian binary): a 22-byte header (unsigned 16-bit point
count, four 32-bit float bounds, a 32-bit offset) followed by the points as
32-bit float latitude, longitude pairs; a zero-count header ends the file.

    /usr/bin/python3 tools/make_maps.py [data-dir]
"""
import struct
import sys

import netCDF4
import numpy as np

SRC = "/usr/share/gmt-gshhg/"


def pieces(name, levels):
    """Yields (lat, lon) arrays of the segments of a binned file whose
    hierarchical level is in levels."""
    nc = netCDF4.Dataset(SRC + name)
    nc.set_auto_maskandscale(False)
    size = nc["Bin_size_in_minutes"][0] / 60.0
    nlon = int(nc["N_bins_in_360_longitude_range"][0])
    first_seg = nc["Id_of_first_segment_in_a_bin"][:]
    nseg = nc["N_segments_in_a_bin"][:]
    if "N_points_for_a_segment" in nc.variables:
        npts = nc["N_points_for_a_segment"][:].astype(np.int64)
        level = nc["Hierarchial_level_of_a_segment"][:].astype(np.int64)
    else:
        # shorelines pack count, level, exit and entry sides into one number
        info = nc["Embedded_npts_levels_exit_entry_for_a_segment"][:].astype(np.int64)
        npts, level = info >> 9, (info >> 6) & 7
    first_pt = nc["Id_of_first_point_in_a_segment"][:]
    dlon = nc["Relative_longitude_from_SW_corner_of_bin"][:].astype(np.int64) & 0xFFFF
    dlat = nc["Relative_latitude_from_SW_corner_of_bin"][:].astype(np.int64) & 0xFFFF
    for b in range(len(first_seg)):
        row, col = divmod(b, nlon)
        west = col * size
        if west >= 180.0:
            west -= 360.0
        south = 90.0 - (row + 1) * size
        for s in range(first_seg[b], first_seg[b] + nseg[b]):
            if int(level[s]) not in levels:
                continue
            p0, n = int(first_pt[s]), int(npts[s])
            if n < 2:
                continue
            lon = west + dlon[p0:p0 + n] * size / 65535.0
            lat = south + dlat[p0:p0 + n] * size / 65535.0
            yield lat, lon


def write(path, sources):
    count = 0
    with open(path, "wb") as out:
        for name, levels in sources:
            for lat, lon in pieces(name, levels):
                for i in range(0, len(lat) - 1, 65000):
                    la, lo = lat[i:i + 65001], lon[i:i + 65001]
                    out.write(struct.pack(">H4fi", len(la), la.max(), la.min(), lo.max(), lo.min(), 0))
                    pts = np.empty(2 * len(la), dtype=">f4")
                    pts[0::2], pts[1::2] = la, lo
                    out.write(pts.tobytes())
                    count += len(la)
        out.write(struct.pack(">H4fi", 0, 0, 0, 0, 0, 0))
    print(path, count, "points")


def main():
    d = sys.argv[1] if len(sys.argv) > 1 else "data"
    # continental maps: low-resolution coasts and lakes, national and state borders
    write(d + "/kez.map", [("binned_GSHHS_l.nc", {1, 2}), ("binned_border_l.nc", {1, 2})])
    # hemispheric and world maps: crude coasts, national borders
    write(d + "/cont.map", [("binned_GSHHS_c.nc", {1})])
    write(d + "/country.map", [("binned_border_c.nc", {1})])
    # regional maps: intermediate coasts, national and state borders
    write(d + "/kezfine.map", [("binned_GSHHS_i.nc", {1, 2}), ("binned_border_i.nc", {1, 2})])


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Edition 1 fields of every parameter and ecCodes' edition 2 conversions of
them, for the decoder's parameter test.

Usage: /usr/bin/python3 eccodes_pairs.py SOURCE OUT1 OUT2

SOURCE is an edition 1 message. For every parameter number 1 to 255 of the
WMO table (as NCEP's table version 2 holds it) the message is written to
OUT1 with that number, and ecCodes' conversion of it to edition 2 to OUT2,
in the same order; numbers ecCodes cannot convert are left out of both.
"""
import sys

import eccodes as ec


def main():
    source, out1, out2 = sys.argv[1:4]
    with open(source, 'rb') as f:
        base = ec.codes_grib_new_from_file(f)
    with open(out1, 'wb') as f1, open(out2, 'wb') as f2:
        for n in range(1, 256):
            h1 = ec.codes_clone(base)
            h2 = None
            try:
                ec.codes_set_long(h1, 'centre', 7)
                ec.codes_set_long(h1, 'table2Version', 2)
                ec.codes_set_long(h1, 'indicatorOfParameter', n)
                h2 = ec.codes_clone(h1)
                ec.codes_set_long(h2, 'edition', 2)
                ec.codes_write(h2, f2)
                ec.codes_write(h1, f1)
            except ec.CodesInternalError:
                pass
            finally:
                ec.codes_release(h1)
                if h2 is not None:
                    ec.codes_release(h2)
    ec.codes_release(base)


main()

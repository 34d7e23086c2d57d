/*
 * tools: small tools of the runtime frame.
 *
 * Line readers with their newline convention, byte order and the swapping
 * read and write helpers, small numeric tools, and the conversion between
 * WMO station numbers and station identifiers.
 */
#include "kez.h"

/* ---- line readers, byte order and small numeric tools -------------------- */

/* ---- WMO station numbers and station identifiers ------------------------- */

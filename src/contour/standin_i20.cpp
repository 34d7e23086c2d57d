/*
 * STAND-IN (branch i20): the vector-legend switch that the corner labels
 * read, under its real name, until the vector plotter (vect_plt) lands (the
 * lead drops this file then). No legend is drawn yet, so it is always off.
 */
#include "kezcont.h"

int VECT_get_vect() { return 0; }

/*
 * STAND-IN (branch i28): the derived-variable evaluation that the grid file
 * search wrappers call before the grid calculator lands. It computes
 * nothing. Drop this file when the derived-variables module provides it.
 */
#include "kezgrd.h"

int GRD_calc_var() { return 1; }

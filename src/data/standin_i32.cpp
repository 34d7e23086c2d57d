/*
 * STAND-IN (branch i32): the raw output of station plots under its real
 * names, until the raw-output module lands (the lead drops this file
 * then). No file is opened and nothing is written.
 */
#include "kezraw.h"

int RAW_date_open(const Date* /*date*/) { return 0; }
int RAW_save_station(const CTY_locate* /*data*/) { return -1; }
int RAW_save_data(const RAW_data* /*data*/) { return -1; }
int RAW_save_end() { return -1; }
int RAW_close_file() { return 0; }

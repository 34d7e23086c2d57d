/*
 * kezraw.h: station data of the suite.
 *
 * RAW_data is one drawable station datum: a data source fills it for one
 * variable at one station, the station plotter draws it, and the data
 * pipeline's station store keeps its two values for the analysis.
 */
#ifndef KEZRAW_H
#define KEZRAW_H

#include "kez.h"
#include "kezgks.h"

inline constexpr int RAW_FORMAT_LEN = 80; /* 79 characters and the end */
inline constexpr int RAW_DATA_LEN = 40;   /* 39 characters and the end */

/* One station datum; -9999 marks what is unset or missing. */
struct RAW_data {
  float x;                     /* plot position in the current domain */
  float y;
  int type;                    /* plot-type code */
  Gattribs attr;               /* fields at -9999 take the plot's attributes */
  char format[RAW_FORMAT_LEN]; /* plot-format items, ":"-separated */
  char data[RAW_DATA_LEN];     /* text value */
  float value[2];              /* the value (or wind direction, degrees), and the
                                  wind speed (knots) of the wind types */
};

#endif /* KEZRAW_H */

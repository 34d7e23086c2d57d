/*
 * date: the calendar of the suite.
 *
 * The Date record, conversions between a Date and seconds since
 * 1970-01-01 00:00 UTC, month and day names and the current time. All
 * times are UTC; a date is stepped by converting it to seconds, adding and
 * converting back.
 */
#include "kez.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                  "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr const char* months_lc[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr const char* months_long[] = {"January", "February", "March",     "April",
                                       "May",     "June",     "July",      "August",
                                       "September", "October", "November", "December"};

bool month_ok(int month) { return month >= 1 && month <= 12; }

/* The current UTC time as "YY MON DD  HH:MM:SSZ" (20 characters). */
void current_text(char* str, size_t size) {
  Date now;
  DATE_get_gmdate(nullptr, &now);
  std::snprintf(str, size, "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2dZ", now.year % 100,
                DATE_month(now.month), now.day, now.hour, now.min, now.sec);
}

} // namespace

int DATE_init(Date* date) {
  *date = Date{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999};
  return 0;
}

const char* DATE_month(int month) { return month_ok(month) ? months[month - 1] : ""; }

const char* DATE_month_lower(int month) { return month_ok(month) ? months_lc[month - 1] : ""; }

const char* DATE_month_long(int month) { return month_ok(month) ? months_long[month - 1] : ""; }

int DATE_print_current(M_type level) {
  char text[32];
  current_text(text, sizeof text);
  MESS_print(level, "%s", text);
  return 0;
}

int DATE_get_current_str(char* str) {
  current_text(str, 21);
  return 0;
}

int DATE_get_gmdate(const long int* secs, Date* date) {
  time_t t = secs ? static_cast<time_t>(*secs) : std::time(nullptr);
  struct tm tm {};
  gmtime_r(&t, &tm);
  date->year = tm.tm_year + 1900;
  date->month = tm.tm_mon + 1;
  date->day = tm.tm_mday;
  date->jday = tm.tm_yday + 1;
  date->wday = tm.tm_wday;
  date->hour = tm.tm_hour;
  date->min = tm.tm_min;
  date->sec = tm.tm_sec;
  return 0;
}

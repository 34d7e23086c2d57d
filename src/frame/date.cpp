/*
 * date: the calendar of the suite.
 *
 * The Date record, conversions between a Date and seconds since
 * 1970-01-01 00:00 UTC, day-of-year and day-count arithmetic, month names,
 * the current time, the display time zone that date labels print in, and
 * the decode window: a base time taken from a data file's date and the
 * "decode_hour" resource, with a window of minutes around it against which
 * decoders test the time of each observation, and the date labels that name
 * dates and forecast times in headers and plots.
 *
 * All times are UTC; a date is stepped by converting it to seconds, adding
 * and converting back. DATE_num_sec counts every fourth year as a leap year
 * (right from 1901 to 2099) so that stored times keep their values; the
 * day-number inverse and the day-of-year functions follow the Gregorian
 * calendar.
 */
#include "kez.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr const char* months_lc[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr const char* months_long[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

/* Days before the start of month m (index m - 1), then the year's length. */
constexpr int num_day[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr int num_day_leap[13] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};

constexpr long long kDaysPer400Years = 146097;

/* The zone that labels print times in; times themselves stay UTC. */
struct DisplayZone {
  std::string tz_str = "Z"; /* printed after times: "Z", or a blank and a name */
  int tz_pm = 0;            /* 0 24-hour "Z" style, 1 AM/PM, -1 AM/PM with UTC in brackets */
  int tz_off = 0;           /* seconds added to UTC for display */
};

/* The window of observation times a decoder keeps around a file's time. */
struct DecodeWindow {
  Date file_date{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999}; /* adjusted */
  long long base = 0;                                                     /* seconds of file_date */
  long long begin = 0;                                                    /* base + 60 * min_pre */
  long long end = 0;                                                      /* base + 60 * min_post */
  int min_pre = -15; /* minutes, negative: the window starts before base */
  int min_post = 10;
};

struct DateState {
  DisplayZone zone;
  DecodeWindow window;
  Date scratch{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999}; /* DATE_to_struct */
};

DateState state;

/* Registered from above at start-up; constant-initialised, so that no
 * dynamic initialisation of this module can undo a registration. */
struct DateHooks {
  DATE_model_namer model_namer = nullptr;
};

constinit DateHooks hooks;

/* The name of a model number through the registered namer; 0, or -1 when
 * there is none to ask or it fails. */
int model_name(std::string* name, int model) { return hooks.model_namer ? hooks.model_namer(name, model) : -1; }

bool month_ok(int month) { return month >= 1 && month <= 12; }

const int* day_table(int year) { return DATE_is_leap(year) ? num_day_leap : num_day; }

int year_length(long long year) { return DATE_is_leap(static_cast<int>(year)) ? 366 : 365; }

/* Leap days between 1970 and the start of the date's month, counting every
 * fourth year as a leap year. */
long long leap_days(int year, int month) {
  long long y = static_cast<long long>(year) - 1900;
  long long leap = y / 4 - 17;
  if (month <= 2 && y % 4 == 0) leap -= 1;
  return leap;
}

void normalise(Date* date) {
  if (date->year < 0) date->year = 1980;
  if (date->year <= 49) date->year += 2000;
  if (date->year <= 199) date->year += 1900;
  if (!month_ok(date->month)) date->month = 1;
  if (date->day < 0 || date->day > 31) date->day = 1;
  if (date->hour < 0 || date->hour > 23) date->hour = 0;
  if (date->min < 0 || date->min > 59) date->min = 0;
  if (date->sec < 0 || date->sec > 59) date->sec = 0;
}

void fill_from_tm(const struct tm& tm, Date* date) {
  date->year = tm.tm_year + 1900;
  date->month = tm.tm_mon + 1;
  date->day = tm.tm_mday;
  date->jday = tm.tm_yday + 1;
  date->wday = tm.tm_wday;
  date->hour = tm.tm_hour;
  date->min = tm.tm_min;
  date->sec = tm.tm_sec;
}

time_t time_of(const long int* secs) { return secs ? static_cast<time_t>(*secs) : std::time(nullptr); }

/* The current UTC time as "YY MON DD  HH:MM:SSZ" (20 characters). */
void current_text(char* str, size_t size) {
  Date now;
  DATE_get_gmdate(nullptr, &now);
  std::snprintf(str, size, "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2dZ", now.year % 100, DATE_month(now.month), now.day,
                now.hour, now.min, now.sec);
}

/* ---- the decode window ---- */

/* A negative decode hour or minute -(100 * offset + step) asks for the
 * file's value rounded down to a multiple of step, plus offset. A step of 0
 * is no rounding: the file's value stays. */
int resolve_rounding(int value, int file_value) {
  if (value >= 0 || value == -9999 || file_value == -9999) return value;
  int code = -value;
  int offset = code / 100;
  int step = code % 100;
  if (step == 0) return file_value;
  int down = file_value >= 0 ? file_value / step : -((-file_value + step - 1) / step);
  return down * step + offset;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

/* Digits, with a sign when signed_ok; moves p past them. */
bool read_number(const char*& p, bool signed_ok, int* value) {
  const char* s = p;
  bool negative = false;
  if (signed_ok && (*s == '-' || *s == '+')) negative = *s++ == '-';
  if (!is_digit(*s)) return false;
  long long v = 0;
  for (; is_digit(*s); ++s)
    if (v < 100000000) v = v * 10 + (*s - '0');
  *value = static_cast<int>(negative ? -v : v);
  p = s;
  return true;
}

/* One matched form of "decode_hour". */
struct DecodeForm {
  enum Kind { given, current, keep_fixed } kind = given;
  int hour = 0;          /* given: the decode hour */
  int min = 0;           /* given, and current with has_min: the decode minute */
  bool has_min = false;  /* current: cu:M */
  bool file_min = false; /* current: cu:cu, the file's minute */
  bool has_back = false; /* current: cu-N, the file date moved back */
  int back = 0;          /* hours */
  bool has_pre = false;
  int pre = 0; /* minutes before the base, positive */
  bool has_post = false;
  int post = 0; /* minutes after the base */
};

/* An optional "-P" or "-P+Q" that must end the text. */
bool read_window(const char* p, DecodeForm* form) {
  if (*p == '-') {
    ++p;
    if (!read_number(p, false, &form->pre)) return false;
    form->has_pre = true;
    if (*p == '+') {
      ++p;
      if (!read_number(p, false, &form->post)) return false;
      form->has_post = true;
    }
  }
  return *p == '\0';
}

bool is_cu(const char* p) { return (p[0] == 'c' || p[0] == 'C') && (p[1] == 'u' || p[1] == 'U'); }

bool parse_current(const char* p, DecodeForm* form) {
  form->kind = DecodeForm::current;
  p += 2;
  if (*p == '\0') return true;
  if (*p == ':') {
    ++p;
    if (is_cu(p)) {
      form->file_min = true;
      p += 2;
    } else if (read_number(p, true, &form->min)) {
      form->has_min = true;
    } else {
      return false;
    }
    return read_window(p, form);
  }
  if (*p != '-') return false;
  ++p;
  int first = 0;
  if (!read_number(p, false, &first)) return false;
  if (*p == '+') {
    /* cu-P+Q */
    form->pre = first;
    form->has_pre = true;
    ++p;
    if (!read_number(p, false, &form->post)) return false;
    form->has_post = true;
    return *p == '\0';
  }
  form->back = first;
  form->has_back = true;
  return read_window(p, form);
}

bool bad_rounding(int value) { return value < 0 && (-value) % 100 == 0; }

/* Matches the whole text against the forms of "decode_hour". */
bool parse_decode_hour(const char* text, DecodeForm* form) {
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
  size_t lead = trimmed.find_first_not_of(" \t");
  if (lead == std::string::npos) return false;
  const char* p = trimmed.c_str() + lead;
  if (is_cu(p)) return parse_current(p, form) && !(form->has_min && bad_rounding(form->min));
  if (*p == ':') {
    form->kind = DecodeForm::keep_fixed;
    return read_window(p + 1, form) && form->has_pre;
  }
  form->kind = DecodeForm::given;
  if (!read_number(p, true, &form->hour)) return false;
  if (*p == ':') {
    ++p;
    if (!read_number(p, true, &form->min)) return false;
  }
  if (!read_window(p, form)) return false;
  return !bad_rounding(form->hour) && !bad_rounding(form->min);
}

} // namespace

int DATE_init(Date* date) {
  if (!date) return -1;
  *date = Date{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999};
  return 0;
}

const char* DATE_month(int month) { return month_ok(month) ? months[month - 1] : ""; }

const char* DATE_month_lower(int month) { return month_ok(month) ? months_lc[month - 1] : ""; }

const char* DATE_month_long(int month) { return month_ok(month) ? months_long[month - 1] : ""; }

int DATE_print(M_type level, const Date* date) {
  if (!date) return -1;
  MESS_print(level, "%d/%d/%d %2.2d:%2.2d:%2.2d\n", date->year, date->month, date->day, date->hour, date->min,
             date->sec);
  return 0;
}

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

int DATE_get_simple_current_str(char* str) {
  Date now;
  DATE_get_gmdate(nullptr, &now);
  std::snprintf(str, 10, "%2.2d-%2.2d:%2.2dZ", now.day, now.hour, now.min);
  return 0;
}

int DATE_get_current_gmdate(Date* date) { return DATE_get_gmdate(nullptr, date); }

long int DATE_get_time(long int* secs) {
  long int now = static_cast<long int>(std::time(nullptr));
  if (secs) *secs = now;
  return now;
}

struct tm* DATE_get_gmtime(const long int* secs) {
  time_t t = time_of(secs);
  return std::gmtime(&t);
}

struct tm* DATE_get_localtime(const long int* secs) {
  time_t t = time_of(secs);
  return std::localtime(&t);
}

int DATE_get_gmdate(const long int* secs, Date* date) {
  time_t t = time_of(secs);
  struct tm tm {};
  gmtime_r(&t, &tm);
  fill_from_tm(tm, date);
  return 0;
}

int DATE_get_localdate(const long int* secs, Date* date) {
  time_t t = time_of(secs);
  struct tm tm {};
  localtime_r(&t, &tm);
  fill_from_tm(tm, date);
  return 0;
}

long int DATE_num_sec(Date* date) {
  normalise(date);
  long long days = date->day - 1 + num_day[date->month - 1] + leap_days(date->year, date->month);
  long long secs = date->sec + 60LL * date->min + 3600LL * date->hour + 86400LL * days +
                   31536000LL * (static_cast<long long>(date->year) - 1970);
  return static_cast<long int>(secs);
}

long int DATE_num_sec_tm(const struct tm* datim) {
  /* The full year, so that years before 1950 and from 2100 on keep their
   * century. */
  Date date{datim->tm_year + 1900, datim->tm_mon + 1, datim->tm_mday, -9999, -9999,
            datim->tm_hour,        datim->tm_min,     datim->tm_sec};
  return DATE_num_sec(&date);
}

int DATE_is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 1 : 0; }

int DATE_date_days(int year, int month, int day) {
  if (!month_ok(month)) month = month < 1 ? 1 : 12;
  long long days = day + num_day[month - 1] + leap_days(year, month) + 365LL * (static_cast<long long>(year) - 1970);
  return static_cast<int>(days);
}

int DATE_days_date(int days, int* year, int* month, int* day) {
  /* Day 1 is 1970-01-01; 0 and below count back into the years before. */
  long long n = days;
  long long y = 1970;
  if (n > kDaysPer400Years) {
    long long cycles = (n - 1) / kDaysPer400Years;
    y += 400 * cycles;
    n -= cycles * kDaysPer400Years;
  } else if (n <= -kDaysPer400Years) {
    long long cycles = -n / kDaysPer400Years;
    y -= 400 * cycles;
    n += cycles * kDaysPer400Years;
  }
  while (n > year_length(y)) n -= year_length(y++);
  while (n <= 0) n += year_length(--y);
  const int* table = day_table(static_cast<int>(y));
  int m = 1;
  while (m < 12 && n > table[m]) ++m;
  if (year) *year = static_cast<int>(y);
  if (month) *month = m;
  if (day) *day = static_cast<int>(n - table[m - 1]);
  return 0;
}

int DATE_time_date(int rsecs, int* hour, int* min, int* sec) {
  if (rsecs < 0) {
    *hour = 0;
    *min = 0;
    *sec = rsecs;
    return 1;
  }
  *hour = rsecs / 3600;
  *min = rsecs % 3600 / 60;
  *sec = rsecs % 60;
  return 1;
}

int DATE_julian_monday(int year, int julian, int* month, int* day) {
  const int* table = day_table(year);
  if (julian < 1) julian = 1;
  if (julian > table[12]) julian = table[12];
  int m = 1;
  while (m < 12 && julian > table[m]) ++m;
  *month = m;
  *day = julian - table[m - 1];
  return 0;
}

int DATE_monday_julian(int year, int month, int day, int* julian) {
  if (month < 1) month = 1;
  if (month > 12) month = 12;
  /* Summed wide: a hostile day (a fixed day part of 2147483647) must not
   * overflow; the result is bounded to an int. */
  const long long j = static_cast<long long>(day_table(year)[month - 1]) + day;
  *julian = static_cast<int>(std::clamp<long long>(j, INT_MIN, INT_MAX));
  return 0;
}

Date* DATE_to_struct(int year, int month, int day, int hour, int min) {
  state.scratch = Date{year, month, day, -9999, -9999, hour, min, 0};
  return &state.scratch;
}

int DATE_set_TZ(const char* str) {
  if (!str) return 0;
  const char* p = str;
  if (*p == '-') {
    state.zone.tz_pm = -1;
    ++p;
  } else if (*p == '+') {
    state.zone.tz_pm = 1;
    ++p;
  }
  const char* colon = std::strchr(p, ':');
  size_t name_len = colon ? static_cast<size_t>(colon - p) : std::strlen(p);
  if (name_len > 4) name_len = 4;
  state.zone.tz_str = " " + std::string(p, name_len);
  double hours = colon ? std::atof(colon + 1) : 0.0;
  if (!std::isfinite(hours) || std::fabs(hours) > 26.0) {
    MESS_print(M_warn, "DATE_set_TZ: Offset out of range in: %s\n", str);
    hours = 0.0;
  }
  state.zone.tz_off = static_cast<int>(3600.0 * hours);
  return 0;
}

int DATE_get_tz_off() { return state.zone.tz_off; }

const char* DATE_get_tz_str() { return state.zone.tz_str.c_str(); }

int DATE_get_tz_pm() { return state.zone.tz_pm; }

int DATE_set_datim(const Date* date) {
  if (!date) return -1;
  DecodeWindow& w = state.window;
  w.file_date = *date;
  Date fixed;
  FILE_get_time(&fixed);
  int dec_hour = fixed.hour;
  int dec_min = fixed.min;

  const char* text = RES_get("decode_hour");
  DecodeForm form;
  if (text && parse_decode_hour(text, &form)) {
    if (form.kind != DecodeForm::keep_fixed) {
      if (form.kind == DecodeForm::given) {
        dec_hour = form.hour;
        dec_min = form.min;
      } else {
        if (form.has_back) {
          long int secs = DATE_num_sec(&w.file_date) - 3600L * form.back;
          DATE_get_gmdate(&secs, &w.file_date);
        }
        dec_hour = w.file_date.hour;
        if (form.has_min)
          dec_min = form.min;
        else
          dec_min = form.file_min || form.has_back ? w.file_date.min : 0;
      }
      dec_hour = resolve_rounding(dec_hour, w.file_date.hour);
      dec_min = resolve_rounding(dec_min, w.file_date.min);
      MESS_print(M_mess, "Decoding for: %2.2d:%2.2dZ\n", dec_hour, dec_min);
    }
    if (form.has_pre) w.min_pre = -form.pre;
    if (form.has_post) w.min_post = form.post;
    if (form.has_pre || (form.kind == DecodeForm::current && form.has_min))
      MESS_print(M_mess, "Decoding range: %d +%d mins\n", w.min_pre, w.min_post);
    DATE_set_range(w.min_pre, w.min_post);
  }

  if (dec_hour != -9999) w.file_date.hour = resolve_rounding(dec_hour, w.file_date.hour);
  if (dec_min != -9999) w.file_date.min = resolve_rounding(dec_min, w.file_date.min);
  if (w.file_date.min == -9999) w.file_date.min = 0;
  w.base = DATE_num_sec(&w.file_date);
  w.begin = w.base + 60LL * w.min_pre;
  w.end = w.base + 60LL * w.min_post;
  return 0;
}

int DATE_get_datim(Date* date) {
  if (!date) return -1;
  *date = state.window.file_date;
  return 0;
}

int DATE_set_range(int pre, int post) {
  state.window.min_pre = pre;
  state.window.min_post = post;
  return 0;
}

int DATE_chk_range(int date) {
  if (date == -9999) return 0;
  const DecodeWindow& w = state.window;
  int hour = date / 100;
  int minute = date % 100;
  int d = hour - w.file_date.hour;
  if (d > 11) d -= 24;
  if (d < -11) d += 24;
  long long t = w.base + 3600LL * d + 60LL * (minute - w.file_date.min);
  int in = w.begin <= t && t <= w.end ? 1 : 0;
  MESS_print(M_debug_c, "%d %lld %lld-%lld = %d\n", date, t - w.base, w.begin - w.base, w.end - w.base, in);
  return in;
}

/* ==== date labels =========================================================== */
/*
 * The short texts that name dates and forecast times in file headers, plot
 * labels and listings: date labels ('12Z  5 JAN 98'), sequence texts
 * (YYYYMMDDHHNN), forecast periods ("1.5 day") and forecast labels that join
 * the period, the model and the valid time. Times show in the display zone;
 * the dates themselves stay UTC.
 */
namespace {

constexpr const char* day_of_week[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

/* The parts of a forecast-hour code t1 * 1000000 + t2 * 1000 + t3. */
struct ForecastCode {
  int t1 = 0;        /* time operation */
  int t2 = 0;        /* start of the period */
  int t3 = -9999;    /* end of the period; -9999 none */
  int label = -9999; /* the hour a label shows */
};

ForecastCode decode_fhour(int code) {
  ForecastCode fc;
  if (code == -9999) return fc;
  fc.t1 = code / 1000000;
  fc.t2 = code % 1000000 / 1000;
  fc.t3 = code % 1000;
  if (fc.t2 == 800 || fc.t2 == 900) fc.t2 = 0;
  if (fc.t3 == 800 || fc.t3 == 900) fc.t3 = 0;
  fc.label = fc.t1 < 6 ? fc.t3 : fc.t2;
  return fc;
}

/* Seconds from a base time to the end of a period: hours, days above 800,
 * months above 900; none for a code without a period. */
long int period_secs(long int base, int t3) {
  if (t3 == -9999) return 0;
  if (t3 > 900) {
    Date date;
    DATE_get_gmdate(&base, &date);
    date.month += t3 - 900;
    date.year += (date.month - 1) / 12;
    date.month = (date.month - 1) % 12 + 1;
    return DATE_num_sec(&date) - base;
  }
  if (t3 > 800) return 86400L * (t3 - 800);
  return 3600L * t3;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* fmt, ...) {
  char buf[DATE_LABEL_LEN];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

/* The time of a label: hour h and minute m in the display zone, hour u and
 * minute v in UTC. The 24-hour form pads the hour to two digits unless
 * short_hour. */
std::string hour_text(int h, int m, bool with_min, int u, int v, bool short_hour) {
  const DisplayZone& z = state.zone;
  const char* tz = z.tz_str.c_str();
  if (z.tz_pm == 0) {
    if (with_min) return format("%2.2d%2.2d%s", h, m, tz);
    return format(short_hour ? "%d%s" : "%2.2d%s", h, tz);
  }
  const int h12 = h % 12 == 0 ? 12 : h % 12;
  const char* half = h >= 12 ? "PM" : "AM";
  std::string text = with_min ? format("%d:%2.2d %s%s", h12, m, half, tz) : format("%d %s%s", h12, half, tz);
  if (z.tz_pm == -1) text += with_min ? format(" [%2.2d%2.2dZ]", u, v) : format(" [%2.2dZ]", u);
  return text;
}

/* A shown time: the display-zone date of secs and its UTC hour and minute. */
struct Shown {
  Date local;
  int u, v;
};

Shown shown_at(long int secs) {
  Shown s;
  Date utc;
  DATE_get_gmdate(&secs, &utc);
  long int local = secs + state.zone.tz_off;
  DATE_get_gmdate(&local, &s.local);
  s.u = utc.hour;
  s.v = utc.min;
  return s;
}

int two_digit_year(int year) { return (year < 0 ? 1980 : year) % 100; }

std::string make_label(const Date& in) {
  Date d = in;
  int u = d.hour, v = d.min;
  if (state.zone.tz_off != 0) {
    Date copy = in;
    Shown s = shown_at(DATE_num_sec(&copy));
    d = s.local;
    u = s.u;
    v = s.v;
  }
  const int yy = two_digit_year(d.year);
  if (d.month == -9999) return format("%2.2d", yy);
  const char* mon = DATE_month(month_ok(d.month) ? d.month : 1);
  if (d.day == -9999) return format("%3s %2.2d", mon, yy);
  const int day = d.day < 0 || d.day > 31 ? 1 : d.day;
  if (d.hour == -9999) return format("%2d %3s %2.2d", day, mon, yy);
  const int hour = d.hour < 0 || d.hour > 23 ? 0 : d.hour;
  if (d.min == -9999) return format("%s %2d %3s %2.2d", hour_text(hour, 0, false, u, v, false).c_str(), day, mon, yy);
  const int min = d.min < 0 || d.min > 59 ? 0 : d.min;
  return format("%s %2d %3s %2.2d", hour_text(hour, min, true, u, v, false).c_str(), day, mon, yy);
}

/* Forecast periods that read better in days. */
struct DayPeriod {
  int hours;
  const char* text;
};

constexpr DayPeriod day_periods[] = {
    {12, "0.5 day"}, {24, "1 day"}, {36, "1.5 day"}, {48, "2 day"}, {60, "2.5 day"},
};

std::string fhour_text(int fhour, int flag) {
  if (fhour > 900) return format("%d month", fhour - 900);
  if (fhour > 800) return format("%d day", fhour - 800);
  if (flag)
    for (const DayPeriod& p : day_periods)
      if (p.hours == fhour) return p.text;
  if (fhour > 60 && fhour % 24 == 0) return format("%d day", fhour / 24);
  if (fhour > 60 && fhour % 24 == 12) return format("%d.5 day", fhour / 24);
  if (fhour == 0 || fhour == -9999) return "";
  return format("%d hour", fhour);
}

/* The base date of a forecast label with its out-of-range fields replaced. */
Date corrected(const Date& in) {
  Date d = in;
  if (d.hour != -9999 && (d.hour < 0 || d.hour > 23)) d.hour = 0;
  if (d.day < 1 || d.day > 31) d.day = 1;
  if (!month_ok(d.month)) d.month = 1;
  if (d.year < 0) d.year = 1980;
  return d;
}

/* Seconds of a corrected base date, unset hour and minute counting as 0. */
long int base_secs(const Date& d) {
  Date t = d;
  if (t.min == -9999) t.min = 0;
  if (t.hour == -9999) t.hour = 0;
  return DATE_num_sec(&t);
}

std::string label_for_time_mod(int fhour, const char* model, const Date& date) {
  const ForecastCode fc = decode_fhour(fhour);
  const bool no_hour = date.hour == -9999;
  const bool has_model = model && *model;
  std::string s = fhour_text(fc.label, no_hour);
  if (fc.label != 0 && fc.label != -9999) s += ' ';
  if (model) s += model;

  const Date c = corrected(date);
  if (fc.t1 == 0 && (fc.label == 0 || fc.label == -9999)) {
    s += has_model ? " analysis for " : "Analysis for ";
    return s + make_label(c);
  }
  const bool forecast = fc.t2 <= 0 || fc.t3 != 0;
  if (forecast)
    s += " valid";
  else
    s += has_model ? " analysis valid" : "Analysis valid";

  const long int base = base_secs(c);
  const Shown t = shown_at(base + period_secs(base, fc.t3));
  const Date& d = t.local;
  const char* mon = DATE_month(d.month);
  const std::string hour = hour_text(d.hour, d.min, false, t.u, t.v, true);
  if (forecast) {
    if (no_hour) return s + format(" %3s %2d %3s %2d", day_of_week[d.wday], d.day, mon, d.year % 100);
    return s + format(" %s %3s %2d %3s %2.2d", hour.c_str(), day_of_week[d.wday], d.day, mon, d.year % 100);
  }
  if (no_hour) return s + format(" %2d %3s %2d", d.day, mon, d.year % 100);
  return s + format(" %s %2d %3s %2.2d", hour.c_str(), d.day, mon, d.year % 100);
}

int copy_label(const std::string& text, char* str) {
  if (!str) return -1;
  std::snprintf(str, DATE_LABEL_LEN, "%s", text.c_str());
  return 0;
}

/* Month names by their first letter, or their first and third: later
 * letters must share the case of the first ('?' is any letter). */
struct MonthKey {
  const char* key;
  int month;
};

constexpr MonthKey month_keys[] = {
    {"F", 2},   {"S", 9},   {"O", 10},  {"N", 11},  {"D", 12},  {"JA", 1},
    {"J?N", 6}, {"J?L", 7}, {"M?R", 3}, {"M?Y", 5}, {"A?R", 4}, {"A?G", 8},
};

bool month_key_matches(const char* key, const char* str) {
  const bool upper = std::isupper(static_cast<unsigned char>(str[0])) != 0;
  if (std::toupper(static_cast<unsigned char>(str[0])) != key[0]) return false;
  for (size_t i = 1; key[i]; ++i) {
    if (!str[i - 1] || !str[i]) return false;
    if (key[i] == '?') continue;
    const char want = upper ? key[i] : static_cast<char>(std::tolower(static_cast<unsigned char>(key[i])));
    if (str[i] != want) return false;
  }
  return true;
}

} // namespace

int DATE_make_label(const Date* date, char* str) {
  if (!str) return -1;
  if (!date) return copy_label("", str);
  return copy_label(make_label(*date), str);
}

int DATE_make_seq(Date* date, char* str) {
  if (!str || !date) return -1;
  if (date->year < 0) date->year = 1980;
  if (!month_ok(date->month)) date->month = 1;
  if (date->day < 0 || date->day > 31) date->day = 1;
  if (date->hour < 0 || date->hour > 23) date->hour = 0;
  if (date->min < 0 || date->min > 59) date->min = 0;
  return copy_label(format("%4.4d%2.2d%2.2d%2.2d%2.2d", date->year, date->month, date->day, date->hour, date->min),
                    str);
}

int DATE_decode_seq(const char* str, Date* date) {
  if (!str || !date) return -1;
  std::sscanf(str, "%4d%2d%2d%2d%2d", &date->year, &date->month, &date->day, &date->hour, &date->min);
  return 0;
}

int DATE_decode_label(const char* str, Date* date) {
  if (!date) return -1;
  DATE_init(date);
  if (!str) return 0;
  const size_t n = std::strlen(str);
  int hour = -9999, min = -9999, sec = -9999, day = 0, year = 0;
  char mon[4] = "";
  bool ok = std::sscanf(str, "%2dZ %2d %3s %2d", &hour, &day, mon, &year) == 4;
  if (!ok && n >= 15) {
    const char* tail = str + n - 15;
    ok = std::sscanf(tail, "%2d%2dZ %2d %3s %2d", &hour, &min, &day, mon, &year) == 5;
    if (ok && tail[0] == ' ') std::sscanf(tail, "%1d%2d", &hour, &min);
  }
  if (!ok && n >= 19)
    ok = std::sscanf(str + n - 19, "%2d:%2d:%2dZ %2d %3s %2d", &hour, &min, &sec, &day, mon, &year) == 6;
  if (!ok && n >= 13) {
    min = -9999;
    sec = -9999;
    ok = std::sscanf(str + n - 13, "%2dZ %2d %3s %2d", &hour, &day, mon, &year) == 4;
  }
  if (!ok) return 0;
  if (year <= 49) year += 2000;
  if (year <= 199) year += 1900;
  date->year = year;
  date->month = DATE_decode_month(mon);
  date->day = day;
  date->hour = hour;
  date->min = min;
  date->sec = sec;
  return 0;
}

int DATE_decode_month(const char* str) {
  if (!str || !*str) return 0;
  for (const MonthKey& k : month_keys)
    if (month_key_matches(k.key, str)) return k.month;
  return 0;
}

char* DATE_fhour_label(char* str, int fhour, int flag) {
  copy_label(fhour_text(fhour, flag), str);
  return str;
}

int DATE_format_label(char* str, const char* format_text, int fhour, const char* model, const Date* date) {
  if (!str || !format_text) return -1;
  const Date d = date ? *date : Date{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999};
  std::string out;
  for (const char* p = format_text; *p; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    const char code = *++p;
    if (!code) break;
    switch (code) {
      case 'F': out += fhour_text(decode_fhour(fhour).label, d.hour == -9999); break;
      case 'f': out += format("%d", fhour); break;
      case 'x':
        if (model) out += model;
        break;
      case 'y': out += format("%2.2d", d.year % 100); break;
      case 'm': out += format("%2.2d", d.month); break;
      case 'M': out += format("%3.3s", DATE_month(d.month)); break;
      case 'd': out += format("%2.2d", d.day); break;
      case 'h':
        if (d.hour != -9999) out += format("%2.2d", d.hour);
        break;
      case 'n':
        if (d.min != -9999) out += format("%2.2d", d.min);
        break;
      default: out += code; break;
    }
  }
  return copy_label(out, str);
}

DATE_model_namer DATE_set_model_namer(DATE_model_namer namer) {
  const DATE_model_namer old = hooks.model_namer;
  hooks.model_namer = namer;
  return old;
}

int DATE_make_label_for(int fhour, int model, long int seconds, std::string* str) {
  if (!str) return -1;
  const ForecastCode fc = decode_fhour(fhour);
  std::string s = fhour_text(fc.label, 0);
  if (fc.label != 0 && fc.label != -9999) s += ' ';
  std::string name;
  if (model_name(&name, model) == 0) s += name;
  if (seconds == 0) {
    if (fc.label == 0) s += " analysis";
    *str = s;
    return -1;
  }
  bool forecast = false;
  if (fc.t2 <= 5 || fc.t3 != 0) {
    forecast = fc.label != 0;
    s += forecast ? " valid" : " analysis for";
  } else {
    s += " analysis valid";
  }
  const Shown t = shown_at(seconds + period_secs(seconds, fc.t3));
  const Date& d = t.local;
  const std::string hour = hour_text(d.hour, d.min, false, t.u, t.v, false);
  if (forecast)
    s += format(" %s %3s %2d %3s %2.2d", hour.c_str(), day_of_week[d.wday], d.day, DATE_month(d.month), d.year % 100);
  else
    s += format(" %s %2d %3s %2.2d", hour.c_str(), d.day, DATE_month(d.month), d.year % 100);
  *str = s;
  return 0;
}

int DATE_make_label_for(int fhour, int model, long int seconds, char* str) {
  std::string text;
  int result = DATE_make_label_for(fhour, model, seconds, &text);
  copy_label(text, str);
  return result;
}

int DATE_make_label_for_time_mod(int fhour, const char* model, const Date* date, std::string* str) {
  if (!str || !date) return -1;
  *str = label_for_time_mod(fhour, model, *date);
  return 0;
}

int DATE_make_label_for_time_mod(int fhour, const char* model, const Date* date, char* str) {
  if (!str || !date) return -1;
  return copy_label(label_for_time_mod(fhour, model, *date), str);
}

int DATE_make_label_for_time(int fhour, int model, const Date* date, std::string* str) {
  std::string name;
  if (model_name(&name, model) != 0) name.clear();
  return DATE_make_label_for_time_mod(fhour, name.c_str(), date, str);
}

int DATE_make_label_for_time(int fhour, int model, const Date* date, char* str) {
  std::string text;
  int result = DATE_make_label_for_time(fhour, model, date, &text);
  if (result == 0) copy_label(text, str);
  return result;
}

int DATE_make_label_valid_time(int fhour, const Date* date, char* str) {
  if (!str || !date) return -1;
  const ForecastCode fc = decode_fhour(fhour);
  const Date c = corrected(*date);
  const long int base = base_secs(c);
  const Shown t = shown_at(base + period_secs(base, fc.t3));
  const Date& d = t.local;
  if (date->hour == -9999)
    return copy_label(format("%3s %2d %3s %2.2d", day_of_week[d.wday], d.day, DATE_month(d.month), d.year % 100), str);
  return copy_label(format("%s %3s %2d %3s %2.2d", hour_text(d.hour, d.min, false, t.u, t.v, true).c_str(),
                           day_of_week[d.wday], d.day, DATE_month(d.month), d.year % 100),
                    str);
}

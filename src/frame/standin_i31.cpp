/*
 * STAND-IN (branch i31): FMT_print_float and FMT_print_int over the
 * frame's check_user_format, until the station datum drawer meets the
 * frame's own format checker. See standin_i31.h.
 */
#include "standin_i31.h"

#include <cstdio>

#include "kez.h"

namespace {

const char* choose(const char* caller, const char* format, const char* fallback, char kind) {
  if (check_user_format(format, kind)) return format;
  MESS_print(M_warn, "%s: Bad format \"%s\", using \"%s\"\n", caller ? caller : "FMT_check", format ? format : "",
             fallback ? fallback : "");
  return check_user_format(fallback, kind) ? fallback : nullptr;
}

} // namespace

std::string FMT_print_float(const char* caller, const char* format, const char* fallback, double value) {
  const char* f = choose(caller, format, fallback, 'f');
  if (!f) return {};
  char buf[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(buf, sizeof buf, f, value);
#pragma GCC diagnostic pop
  return buf;
}

std::string FMT_print_int(const char* caller, const char* format, const char* fallback, long value) {
  const char* f = choose(caller, format, fallback, 'd');
  if (!f) return {};
  char buf[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(buf, sizeof buf, f, static_cast<int>(value));
#pragma GCC diagnostic pop
  return buf;
}

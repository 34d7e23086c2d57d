/*
 * sfc_cdf: surface files in netCDF, the old layout and the layout 2.0.
 *
 * The netCDF branches of the surface file calls of sfc_read. The old layout
 * (dimension "station") keeps each report as an identifier, a region, a
 * weather text, cloud types and two rows of numbers in the report's own
 * units; it is only read. The layout 2.0 (dimension "report", or "ob" in
 * some foreign files) keeps one variable per quantity in metric units; it is
 * read and written, and the variables that only some observation hours
 * carry are defined only in files of those hours. A file holds one report
 * per record, so reports are read by index and the header knows how many
 * there are.
 *
 * Everything goes through the netCDF access layer (cdf), for which a
 * variable the file does not have is the id -1: it reads back missing and
 * takes no writes, so the layouts look their names up once per file. Every
 * file is hostile: the record count and the dimension lengths bound every
 * read, texts are cut to the report's fields, values the library never
 * wrote (its default fill, non-numbers) read as missing, and a foreign
 * variable of another shape or type gives missing members, not a guess.
 */
#include "kezsfc.h"

#include "cdf_lib.h"
#include "kezcdf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// clang-format off
/* The variables of the layout 2.0, in the order of definition. */
enum class V {
  id, region, time, lat, lon, elev, T, TD, PSL, ALTIM, SPD, DIR, GUST, WX, ZCL, CC, cloudtype,
  VIS, Ptend, delP, PRECIP, reftime, SNOW, SST, wave_per, wave_hgt, Tmax, Tmin, Tmax6, Tmin6,
  sunshine, remarks, count
};
// clang-format on
constexpr size_t kVars = static_cast<size_t>(V::count);

enum class Kind { text, number, byte };
/* The dimensions after "report". */
enum class Dims { single, id, time, layers, remarks };
/* The observation hours at which a variable is defined. */
enum class Hours { always, every3, every6, every12, extremes, hour8 };
/* How a member is stored: as it is, in degrees Celsius, or scaled (the
 * factors into and out of the file are the layout's own, not exact
 * inverses). */
enum class Conv { as_is, celsius, scaled };

struct VarDef {
  const char* name;
  Kind kind;
  Dims dims;
  const char* long_name; /* null: none */
  const char* units;     /* null: none */
  bool fill;             /* a _FillValue of -9999 */
  Hours hours;
  float SFC_report::*member; /* the plain numbers; null for the others */
  Conv conv;
  double to_file, from_file; /* factors of Conv::scaled */
};

// clang-format off
constexpr VarDef vars[kVars] = {
    {"id", Kind::text, Dims::id, "station id", nullptr, false, Hours::always, nullptr, Conv::as_is, 1, 1},
    {"region", Kind::text, Dims::id, "region id", nullptr, false, Hours::always, nullptr, Conv::as_is, 1, 1},
    {"time", Kind::text, Dims::time, "time", "text_time", false, Hours::always, nullptr, Conv::as_is, 1, 1},
    {"lat", Kind::number, Dims::single, "latitude", "degrees_N", true, Hours::always, &SFC_report::lat, Conv::as_is, 1, 1},
    {"lon", Kind::number, Dims::single, "longitude", "degrees_E", true, Hours::always, &SFC_report::lon, Conv::as_is, 1, 1},
    {"elev", Kind::number, Dims::single, "elevation", "meters", true, Hours::always, &SFC_report::elev, Conv::as_is, 1, 1},
    {"T", Kind::number, Dims::single, "temperature", "celsius", true, Hours::always, &SFC_report::t, Conv::celsius, 1, 1},
    {"TD", Kind::number, Dims::single, "dew point", "celsius", true, Hours::always, &SFC_report::td, Conv::celsius, 1, 1},
    {"PSL", Kind::number, Dims::single, "sealevel pressure", "hectopascals", true, Hours::always, &SFC_report::pmb, Conv::as_is, 1, 1},
    {"ALTIM", Kind::number, Dims::single, "altimeter setting", "hectopascals", true, Hours::always, &SFC_report::alt, Conv::scaled, 33.85399, 0.0295386},
    {"SPD", Kind::number, Dims::single, "wind speed", "meters/second", true, Hours::always, &SFC_report::w_spd, Conv::scaled, 0.5144, 1.944},
    {"DIR", Kind::number, Dims::single, "wind direction", "degrees", true, Hours::always, &SFC_report::w_dir, Conv::as_is, 1, 1},
    {"GUST", Kind::number, Dims::single, "wind gusts", "meters/second", true, Hours::always, &SFC_report::w_gust, Conv::scaled, 0.5144, 1.944},
    {"WX", Kind::byte, Dims::layers, "weather", "WMO table 4677", false, Hours::always, nullptr, Conv::as_is, 1, 1},
    {"ZCL", Kind::number, Dims::layers, "cloudbase", "meters", true, Hours::always, nullptr, Conv::scaled, 0.3048, 3.2808},
    {"CC", Kind::text, Dims::layers, "cloudcover", "WMO table 2700", false, Hours::always, nullptr, Conv::as_is, 1, 1},
    {"cloudtype", Kind::text, Dims::layers, "cloudtypes", "WMO tables 0509, 0513, 0515", false, Hours::always, nullptr, Conv::as_is, 1, 1},
    {"VIS", Kind::number, Dims::single, "visibility", "kilometers", true, Hours::always, &SFC_report::vis, Conv::scaled, 1.60934, 0.62137},
    {"Ptend", Kind::text, Dims::single, "Pressure tendency", "WMO table 0200", false, Hours::every3, nullptr, Conv::as_is, 1, 1},
    {"delP", Kind::number, Dims::single, "Pressure change", "hectopascals", true, Hours::every3, &SFC_report::ptend, Conv::as_is, 1, 1},
    {"PRECIP", Kind::number, Dims::single, "precipitation amount", "millimeters", true, Hours::every3, nullptr, Conv::scaled, 25.4, 0.03937},
    {"reftime_PRECIP", Kind::number, Dims::single, "precipitation reference time", "hours", false, Hours::every3, nullptr, Conv::as_is, 1, 1},
    {"SNOW", Kind::number, Dims::single, "snowcover", "millimeters", true, Hours::every12, &SFC_report::scover, Conv::scaled, 25.4, 0.03937},
    {"SST", Kind::number, Dims::single, "sea surface temperature", "celsius", true, Hours::every6, &SFC_report::sst, Conv::as_is, 1, 1},
    {"wave_per", Kind::number, Dims::single, "wave period", "seconds", true, Hours::every6, &SFC_report::wav_per, Conv::as_is, 1, 1},
    {"wave_hgt", Kind::number, Dims::single, "wave height", "meters", true, Hours::every6, &SFC_report::wav_hgt, Conv::as_is, 1, 1},
    {"Tmax", Kind::number, Dims::single, "maximum temperature", "celsius", true, Hours::extremes, &SFC_report::max_t, Conv::celsius, 1, 1},
    {"Tmin", Kind::number, Dims::single, "minimum temperature", "celsius", true, Hours::extremes, &SFC_report::min_t, Conv::celsius, 1, 1},
    {"Tmax6", Kind::number, Dims::single, "6 hour maximum temperature", "celsius", true, Hours::every6, &SFC_report::max6_t, Conv::celsius, 1, 1},
    {"Tmin6", Kind::number, Dims::single, "6 hour minimum temperature", "celsius", true, Hours::every6, &SFC_report::min6_t, Conv::celsius, 1, 1},
    {"sunshine", Kind::number, Dims::single, "equivalent solar radiation", "minutes", true, Hours::hour8, &SFC_report::solar, Conv::as_is, 1, 1},
    {"remarks", Kind::text, Dims::remarks, nullptr, nullptr, false, Hours::always, nullptr, Conv::as_is, 1, 1},
};
// clang-format on

/* Dimension lengths of the layout 2.0. */
constexpr int time_len = 20;
constexpr int id_len = 12;
constexpr int layers = 4;
constexpr int remarks_len = 100;
/* Cloud layers with a cover character, and with a cloud type. */
constexpr int cover_layers = 4;
constexpr int type_layers = 3;

constexpr const char* default_history = "Surface converted file from KEZ decoders";

/* Characters of the old layout's texts "id", "region" and "wx". */
constexpr int old_text_len = 11;
/* Columns of the old layout's rows of numbers. */
constexpr int int_columns = 13;
constexpr int float_columns = 15;
constexpr int extreme_column = 12; /* the minimum by day, the maximum by night */
// clang-format off
constexpr float SFC_report::*float_members[float_columns] = {
    &SFC_report::lat,    &SFC_report::lon,    &SFC_report::vis,   &SFC_report::pmb,
    &SFC_report::t,      &SFC_report::td,     &SFC_report::w_dir, &SFC_report::w_spd,
    &SFC_report::w_gust, &SFC_report::alt,    &SFC_report::rain6, &SFC_report::rain24,
    nullptr,             &SFC_report::scover, &SFC_report::ptend};
// clang-format on

/* Codes of the cover letters in the layout 2.0; other characters go as
 * they are. */
constexpr struct {
  char letter, code;
} cover_codes[] = {{SFC_CLD_CLEAR, '0'},  {SFC_CLD_FEW, '1'},      {SFC_CLD_SCATTERED, '2'},
                   {SFC_CLD_BROKEN, '6'}, {SFC_CLD_OVERCAST, '8'}, {SFC_CLD_OBSCURED, '9'}};
constexpr char no_code = '/';

struct Cdf {
  int fd = CDF_NO_ID;           /* netCDF id of the open file */
  int type = 0;                 /* SFC_FT_CDF_OLD or SFC_FT_CDF; 0 none open */
  bool header = false;          /* the ids below belong to the open file */
  int index = 0;                /* the report index last asked for */
  int num_station = 0;          /* records of the file */
  int remark_len = 0;           /* characters of "remarks" */
  std::array<int, kVars> ids{}; /* layout 2.0 */
  int id = CDF_NO_ID, region = CDF_NO_ID, wx = CDF_NO_ID, cld = CDF_NO_ID; /* old layout */
  int intdata = CDF_NO_ID, fltdata = CDF_NO_ID;
  int int_cols = 0, float_cols = 0; /* columns of the rows the file has */
  double missing_f = KEZ_FMISS, missing_i = KEZ_MISS;
  bool version1 = false; /* old layout without "version": west longitudes positive */
  std::string datim;
  Date date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
};

Cdf state;

int& id_of(V v) { return state.ids[static_cast<size_t>(v)]; }

void forget_ids() {
  state.ids.fill(CDF_NO_ID);
  state.id = state.region = state.wx = state.cld = state.intdata = state.fltdata = CDF_NO_ID;
  state.int_cols = state.float_cols = 0;
  state.num_station = 0;
  state.remark_len = 0;
  state.header = false;
}

bool present(float v) { return v != KEZ_FMISS && std::isfinite(v); }

/* A value of the file: the library's default fill (never written by a
 * writer) and non-numbers are missing. */
float from_file(double v) {
  if (!std::isfinite(v) || std::fabs(v) >= 1e30 || v == KEZ_FMISS) return KEZ_FMISS;
  return static_cast<float>(v);
}

double convert(Conv conv, double v, bool into_file, const VarDef& d) {
  switch (conv) {
    case Conv::celsius: return into_file ? (v - 32) * 5 / 9 : v * 9 / 5 + 32;
    case Conv::scaled: return v * (into_file ? d.to_file : d.from_file);
    case Conv::as_is: break;
  }
  return v;
}

float read_float(V v) {
  const float f = from_file(CDF_get_float(id_of(v)));
  if (!present(f)) return KEZ_FMISS;
  const VarDef& d = vars[static_cast<size_t>(v)];
  return from_file(convert(d.conv, f, false, d));
}

void write_float(V v, float value) {
  const VarDef& d = vars[static_cast<size_t>(v)];
  double out = KEZ_FMISS;
  if (present(value)) out = convert(d.conv, value, true, d);
  if (!std::isfinite(out) || std::fabs(out) > 3e38) out = KEZ_FMISS;
  CDF_put_float(id_of(v), static_cast<float>(out));
}

/* A text of the report, which need not end in a NUL. */
std::string text_of(const char* s, size_t room) { return std::string(s, strnlen(s, room)); }

void copy_text(char* to, size_t room, const std::string& from) {
  const size_t n = std::min(from.size(), room - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

/* Up to max characters of a text variable at the position. */
std::string read_text(int var, int max) {
  if (var == CDF_NO_ID || max <= 0) return std::string();
  std::string buf(static_cast<size_t>(max) + 1, '\0');
  if (CDF_get_str(var, max, buf.data()) != 1) return std::string();
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

bool hour_meets(Hours h, int hour) {
  /* A file of no known hour keeps every variable: nothing is lost. */
  if (hour < 0 || hour > 23) return true;
  switch (h) {
    case Hours::always: return true;
    case Hours::every3: return hour % 3 == 0;
    case Hours::every6: return hour % 6 == 0;
    case Hours::every12: return hour % 12 == 0;
    case Hours::extremes: return hour == 0 || (hour >= 5 && hour <= 8) || hour == 12;
    case Hours::hour8: return hour == 8;
  }
  return false;
}

/* ---- headers -------------------------------------------------------------- */

/* A length of a dimension, 0 when the file does not have it. */
int dim_len(const char* name) {
  const int dim = CDF_get_dim(name);
  if (dim == CDF_NO_ID) return 0;
  return std::max(CDF_get_dim_size(dim), 0);
}

template <class T>
double first(const std::string& buf) {
  T v;
  std::memcpy(&v, buf.data(), sizeof v);
  return static_cast<double>(v);
}

/* The first value of a numeric global attribute, or fallback. */
double number_att(const char* name, double fallback) {
  nc_type type = NC_NAT;
  int len = 0;
  if (ncattinq(state.fd, NC_GLOBAL, name, &type, &len) == -1 || len < 1) return fallback;
  if (type == NC_CHAR || type < NC_BYTE || type > NC_DOUBLE) return fallback;
  /* The library copies every value of the attribute, in its own type. */
  std::string buf(static_cast<size_t>(len) * sizeof(double), '\0');
  if (ncattget(state.fd, NC_GLOBAL, name, buf.data()) == -1) return fallback;
  switch (type) {
    case NC_BYTE: return first<signed char>(buf);
    case NC_SHORT: return first<short>(buf);
    case NC_INT: return first<int>(buf);
    case NC_FLOAT: return first<float>(buf);
    case NC_DOUBLE: return first<double>(buf);
    default: return fallback;
  }
}

void read_date_att(const char* name) {
  char datim[SFC_DATIM_LEN] = "";
  if (CDF_get_glob_att(name, datim, sizeof datim) != 0) datim[0] = '\0';
  state.datim = datim;
}

void load_old_header() {
  state.num_station = dim_len("station");
  state.id = CDF_get_var("id");
  state.region = CDF_get_var("region");
  state.wx = CDF_get_var("wx");
  state.cld = CDF_get_var("cld");
  state.intdata = CDF_get_var("intdata");
  state.fltdata = CDF_get_var("fltdata");
  state.int_cols = std::min(dim_len("idata"), int_columns);
  state.float_cols = std::min(dim_len("fdata"), float_columns);
  state.missing_f = number_att("missing_val_f", KEZ_FMISS);
  state.missing_i = number_att("missing_val_i", KEZ_MISS);
  read_date_att("datetime");
  nc_type type = NC_NAT;
  int len = 0;
  state.version1 = ncattinq(state.fd, NC_GLOBAL, "version", &type, &len) == -1;
}

void load_header() {
  forget_ids();
  CDF_set_fd(state.fd);
  CDF_print_errors(0);
  if (state.type == SFC_FT_CDF_OLD) {
    load_old_header();
  } else {
    int rec = CDF_get_dim("report");
    if (rec == CDF_NO_ID) rec = CDF_get_dim("ob");
    state.num_station = rec == CDF_NO_ID ? 0 : std::max(CDF_get_dim_size(rec), 0);
    state.remark_len = dim_len("remarks_len");
    for (size_t i = 0; i < kVars; ++i) state.ids[i] = CDF_get_var(vars[i].name);
    read_date_att("filetime");
  }
  CDF_print_errors(1);
  DATE_decode_label(state.datim.c_str(), &state.date);
  state.header = true;
}

/* ---- the old layout ---------------------------------------------------------- */

/* The identifier: leading blanks skipped. */
void read_old_id(SFC_report* r) {
  std::string id = read_text(state.id, old_text_len);
  id.erase(0, std::min(id.find_first_not_of(' '), id.size()));
  copy_text(r->id, SFC_ID_LEN, id);
}

/* A row of numbers of the record; missing where the file says so. */
template <size_t N>
void read_row(int var, int cols, double missing, std::array<double, N>* row) {
  row->fill(KEZ_FMISS);
  if (var == CDF_NO_ID || cols <= 0) return;
  std::array<double, N> got{};
  CDF_set_range(2, state.index, 1, 0, cols);
  if (CDF_get_double_array(var, got.data()) != 0) return;
  for (size_t i = 0; i < static_cast<size_t>(cols); ++i) (*row)[i] = got[i] == missing ? KEZ_FMISS : from_file(got[i]);
}

int int_value(double v) {
  if (v == KEZ_FMISS || !std::isfinite(v) || std::fabs(v) > 2e9) return KEZ_MISS;
  return static_cast<int>(v);
}

void read_old(SFC_report* r, int rep_type) {
  CDF_set_pos(1, state.index);
  read_old_id(r);
  if (rep_type == SFC_REP_ID) return;
  CDF_set_pos(1, state.index);
  copy_text(r->area, SFC_ID_LEN, read_text(state.region, old_text_len));
  std::array<double, int_columns> ints;
  std::array<double, float_columns> floats;
  read_row(state.intdata, state.int_cols, state.missing_i, &ints);
  read_row(state.fltdata, state.float_cols, state.missing_f, &floats);
  /* A version-1 file keeps west longitudes positive. */
  auto place = [&] {
    r->lat = static_cast<float>(floats[0]);
    r->lon = static_cast<float>(state.version1 && floats[1] != KEZ_FMISS ? -floats[1] : floats[1]);
  };
  place();
  r->prior = int_value(ints[1]);
  r->elev = static_cast<float>(ints[2]);
  r->wmo = int_value(ints[3]);
  r->type = std::max(int_value(ints[4]), 0); /* bits; none when missing */
  if (rep_type == SFC_REP_LOCATION) return;

  CDF_set_pos(1, state.index);
  const std::string wx = read_text(state.wx, old_text_len);
  copy_text(r->weather, SFC_WEATHER_LEN, wx.empty() ? " " : wx);
  CDF_set_pos(1, state.index);
  const std::string types = read_text(state.cld, type_layers);
  for (size_t i = 0; i < static_cast<size_t>(type_layers); ++i) r->cld_type[i] = i < types.size() ? types[i] : ' ';
  r->time = int_value(ints[0]);
  /* Layers without a cover are left out, so that the covers counted are
   * the first layers of the report. */
  r->num_cld = 0;
  for (size_t i = 0; i < static_cast<size_t>(cover_layers); ++i) {
    const int c = int_value(ints[9 + i]);
    if (c <= ' ' || c > '~') continue;
    r->cld_cover[r->num_cld] = static_cast<char>(c);
    r->cld_height[r->num_cld] = static_cast<float>(ints[5 + i]);
    ++r->num_cld;
  }
  for (size_t i = 0; i < static_cast<size_t>(float_columns); ++i)
    if (float_members[i]) r->*float_members[i] = static_cast<float>(floats[i]);
  place();
  const bool by_day = state.date.hour >= 10 && state.date.hour <= 21;
  (by_day ? r->min_t : r->max_t) = static_cast<float>(floats[extreme_column]);
}

/* ---- the layout 2.0: reading ------------------------------------------------- */

/* The leading number of a time label; missing when it has none. */
int label_time(const std::string& label) {
  const std::string head = label.substr(0, 10);
  const char* s = head.c_str();
  while (*s == ' ') ++s;
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (end == s || v < -99999 || v > 99999) return KEZ_MISS;
  return static_cast<int>(v);
}

void read_new(SFC_report* r, int rep_type) {
  CDF_set_pos(1, state.index);
  copy_text(r->id, SFC_ID_LEN, read_text(id_of(V::id), SFC_ID_LEN - 1));
  if (rep_type == SFC_REP_ID) return;
  CDF_set_pos(1, state.index);
  if (id_of(V::region) == CDF_NO_ID)
    copy_text(r->area, SFC_ID_LEN, "UN");
  else
    copy_text(r->area, SFC_ID_LEN, read_text(id_of(V::region), SFC_ID_LEN - 1));
  r->wmo = KEZ_MISS;
  if (rep_type == SFC_REP_LOCATION) {
    CDF_set_pos(1, state.index);
    for (V v : {V::lat, V::lon, V::elev}) r->*vars[static_cast<size_t>(v)].member = read_float(v);
    return;
  }
  CDF_set_pos(1, state.index);
  r->time = label_time(read_text(id_of(V::time), 10));
  CDF_set_pos(1, state.index);
  for (size_t i = 0; i < kVars; ++i)
    if (vars[i].member) r->*vars[i].member = read_float(static_cast<V>(i));

  CDF_set_pos(2, state.index, 0);
  WX_wmo_weather(CDF_get_byte(id_of(V::WX)), r->weather);

  /* A layer without a cover ends the layers; the writer marks it '/'. */
  r->num_cld = 0;
  for (int layer = 0; layer < cover_layers; ++layer) {
    CDF_set_pos(2, state.index, layer);
    const char cover = CDF_get_char(id_of(V::CC));
    if (cover == no_code || cover == ' ' || cover == '\0') break;
    r->cld_height[layer] = read_float(V::ZCL);
    r->cld_cover[layer] = cover;
    r->num_cld = layer + 1;
  }

  CDF_set_pos(1, state.index);
  const char tend = CDF_get_char(id_of(V::Ptend));
  r->ptend_t = tend >= 0 && tend <= 8 ? tend : KEZ_MISS;
  r->rain6 = r->rain24 = KEZ_FMISS;
  const float amount = read_float(V::PRECIP);
  (from_file(CDF_get_float(id_of(V::reftime))) == 24 ? r->rain24 : r->rain6) = amount;

  for (int layer = 0; layer < type_layers; ++layer) {
    CDF_set_pos(2, state.index, layer);
    const char c = CDF_get_char(id_of(V::cloudtype));
    r->cld_type[layer] = c == no_code || c == '\0' ? ' ' : c;
  }
  CDF_set_pos(1, state.index);
  const int room = state.remark_len > 0 ? std::min(state.remark_len, SFC_COMMENT_LEN - 1) : SFC_COMMENT_LEN - 1;
  copy_text(r->comment, SFC_COMMENT_LEN, read_text(id_of(V::remarks), room));
}

/* ---- the layout 2.0: writing ------------------------------------------------- */

int define_var(const VarDef& d, int report, int dim_of_kind) {
  if (d.dims == Dims::single)
    CDF_set_shape(1, report);
  else
    CDF_set_shape(2, report, dim_of_kind);
  int id = CDF_NO_ID;
  switch (d.kind) {
    case Kind::text: id = CDF_def_char_var(d.name); break;
    case Kind::byte: id = CDF_def_byte_var(d.name); break;
    case Kind::number: id = CDF_def_float_var(d.name); break;
  }
  if (id < 0) return CDF_NO_ID;
  CDF_put_base_att(id, d.long_name, d.units);
  if (d.fill) CDF_put_fill_att(id);
  return id;
}

/* The observation's time as a label of the day nearest to the file's
 * date: an observation just before a whole hour belongs to the hour after
 * it, so 2350 in a file of 00 UTC is 23:50 of the day before. Empty for a
 * report without a time (it reads back missing). */
std::string time_label(const SFC_report& r) {
  if (r.time == KEZ_MISS) return std::string();
  const int hh = r.time / 100, mm = r.time % 100;
  char buf[64];
  if (r.time < 0 || hh > 23 || mm > 59) {
    MESS_print(M_warn, "SFC_write: %s: time %d is not a time of day; written missing\n",
               text_of(r.id, SFC_ID_LEN).c_str(), r.time);
    return std::string();
  }
  const Date& f = state.date;
  if (f.year == KEZ_MISS || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour < 0 || f.hour > 23) {
    std::snprintf(buf, sizeof buf, "%2.2d%2.2dZ", hh, mm);
    return buf;
  }
  int days = DATE_date_days(f.year, f.month, f.day);
  const int file_min = f.hour * 60 + std::max(f.min, 0);
  const int obs_min = hh * 60 + mm;
  if (obs_min - file_min > 12 * 60) --days;
  if (file_min - obs_min > 12 * 60) ++days;
  int year = 0, month = 0, day = 0;
  DATE_days_date(days, &year, &month, &day);
  std::snprintf(buf, sizeof buf, "%2.2d%2.2dZ %2d %3s %2.2d", hh, mm, day, DATE_month(month),
                ((year % 100) + 100) % 100);
  return buf;
}

char cover_code(char c) {
  if (c == ' ' || c == '\0') return no_code;
  for (const auto& cc : cover_codes)
    if (c == cc.letter) return cc.code;
  return c;
}

void write_new(const SFC_report& r, int index) {
  CDF_set_pos(1, index);
  CDF_put_str(id_of(V::id), text_of(r.id, SFC_ID_LEN).c_str());
  CDF_set_pos(1, index);
  CDF_put_str(id_of(V::region), text_of(r.area, SFC_ID_LEN).c_str());
  CDF_set_pos(1, index);
  CDF_put_str(id_of(V::time), time_label(r).c_str());

  CDF_set_pos(1, index);
  for (size_t i = 0; i < kVars; ++i)
    if (vars[i].member) write_float(static_cast<V>(i), r.*vars[i].member);

  CDF_set_pos(2, index, 0);
  CDF_put_byte(id_of(V::WX), static_cast<char>(WX_weather_wmo(text_of(r.weather, SFC_WEATHER_LEN).c_str())));

  const int ncld = std::clamp(r.num_cld, 0, SFC_MAX_CLOUD);
  for (int layer = 0; layer < cover_layers; ++layer) {
    CDF_set_pos(2, index, layer);
    const bool used = layer < ncld;
    write_float(V::ZCL, used ? r.cld_height[layer] : KEZ_FMISS);
    CDF_put_char(id_of(V::CC), used ? cover_code(r.cld_cover[layer]) : no_code);
  }

  CDF_set_pos(1, index);
  CDF_put_char(id_of(V::Ptend), r.ptend_t >= 0 && r.ptend_t <= 8 ? static_cast<char>(r.ptend_t) : no_code);
  const bool day = present(r.rain24);
  CDF_put_float(id_of(V::reftime), day ? 24.0f : 6.0f);
  write_float(V::PRECIP, day ? r.rain24 : r.rain6);

  for (int layer = 0; layer < type_layers; ++layer) {
    CDF_set_pos(2, index, layer);
    const char c = r.cld_type[layer];
    CDF_put_char(id_of(V::cloudtype), c == ' ' || c == '\0' ? no_code : c);
  }
  CDF_set_pos(1, index);
  CDF_put_str(id_of(V::remarks), text_of(r.comment, SFC_COMMENT_LEN).c_str());
}

} // namespace

int SFC_cdf_chktype(const char* filename) {
  CDF_print_errors(0);
  const int fd = CDF_open(filename, CDF_READ);
  int type = -1;
  if (fd >= 0) {
    type = CDF_get_dim("station") != CDF_NO_ID ? SFC_FT_CDF_OLD : SFC_FT_CDF;
    CDF_close();
  }
  CDF_print_errors(1);
  return type;
}

int SFC_cdf_open(const char* filename, int f_access, int f_type) {
  SFC_cdf_close();
  if (f_type != SFC_FT_CDF_OLD && f_type != SFC_FT_CDF) return -1;
  if (f_access != SFC_ACC_READ && f_type == SFC_FT_CDF_OLD) {
    MESS_print(M_error, "SFC_open: %s: the old netCDF layout is only read\n", filename);
    return -1;
  }
  CDF_print_errors(0);
  const int fd = CDF_open(filename, f_access == SFC_ACC_READ    ? CDF_READ
                                    : f_access == SFC_ACC_WRITE ? CDF_CREATE
                                                                : CDF_WRITE);
  CDF_print_errors(1);
  if (fd < 0) return -1;
  state.fd = fd;
  state.type = f_type;
  state.index = 0;
  /* A file read or written into has its names now; a new one gets them
   * from its header. */
  if (f_access == SFC_ACC_WRITE)
    forget_ids();
  else
    load_header();
  return fd;
}

int SFC_cdf_getinfo(SFC_info* info) {
  if (!info || state.type == 0 || !state.header) return -1;
  copy_text(info->datim, SFC_DATIM_LEN, state.datim);
  info->date = state.date;
  info->num_stat = state.num_station;
  return 0;
}

int SFC_cdf_putinfo(const SFC_info* info) {
  if (!info || state.type != SFC_FT_CDF || state.header) return -1;
  state.date = info->date;
  state.datim = text_of(info->datim, SFC_DATIM_LEN);
  CDF_set_fd(state.fd);
  const int report = CDF_def_dim("report", 0);
  const int time_dim = CDF_def_dim("time_len", time_len);
  const int id_dim = CDF_def_dim("id_len", id_len);
  const int layer_dim = CDF_def_dim("layers", layers);
  const int remarks_dim = CDF_def_dim("remarks_len", remarks_len);
  if (report < 0 || time_dim < 0 || id_dim < 0 || layer_dim < 0 || remarks_dim < 0) return -1;
  for (size_t i = 0; i < kVars; ++i) {
    const VarDef& d = vars[i];
    if (!hour_meets(d.hours, state.date.hour)) continue;
    const int dim = d.dims == Dims::id       ? id_dim
                    : d.dims == Dims::time   ? time_dim
                    : d.dims == Dims::layers ? layer_dim
                                             : remarks_dim;
    state.ids[i] = define_var(d, report, dim);
  }
  CDF_put_glob_att("title", "Surface converted data");
  CDF_put_glob_att("version", "2.0");
  CDF_put_glob_att("history", info->cmdline ? info->cmdline : default_history);
  CDF_put_glob_att("filetime", state.datim.c_str());
  if (CDF_end_def() == -1) return -1;
  state.header = true;
  state.remark_len = remarks_len;
  return 0;
}

int SFC_cdf_read(SFC_report* report, int rep_type, const int* statnum) {
  if (!report || !statnum || state.type == 0 || !state.header) return -1;
  if (*statnum != -1) {
    if (*statnum < 0) return -1;
    state.index = *statnum;
  }
  if (state.index >= state.num_station) return -1;
  SFC_initialize(report);
  if (rep_type != SFC_REP_FULL && rep_type != SFC_REP_ID && rep_type != SFC_REP_LOCATION) return 0;
  CDF_set_fd(state.fd);
  if (state.type == SFC_FT_CDF_OLD)
    read_old(report, rep_type);
  else
    read_new(report, rep_type);
  return 0;
}

int SFC_cdf_write(const SFC_report* report, const int* statnum) {
  if (!report || !statnum || *statnum < 0 || state.type != SFC_FT_CDF || !state.header) return -1;
  CDF_set_fd(state.fd);
  write_new(*report, *statnum);
  return 0;
}

int SFC_cdf_rewind() {
  if (state.type == 0) return -1;
  state.index = 0;
  return 0;
}

int SFC_cdf_close() {
  if (state.type == 0) return -1;
  CDF_set_fd(state.fd);
  CDF_close();
  state.type = 0;
  state.fd = CDF_NO_ID;
  forget_ids();
  return 0;
}

/*
 * cdf: the netCDF access layer.
 *
 * Owns the current netCDF id and the current position (corner and edge
 * lengths) that every put and get of the surface and upper-air file layouts
 * use, and wraps the library's classic interface in one short call per
 * value. An id of CDF_NO_ID is a variable the file does not have: gets give
 * their absent result and puts do nothing, without calling the library.
 *
 * The library's calls read and write memory in the variable's own stored
 * type and over as many dimensions as the variable has, whatever the caller
 * meant. Files are hostile, so before every transfer the variable is looked
 * at: more dimensions than a position holds, an unknown type, or a slab
 * larger than the caller's buffer is refused, and values stored in another
 * numeric type are converted here instead of being copied raw. The
 * library's error option never ends the process.
 */
#include "kezcdf.h"

#include "cdf_lib.h"
#include "kez.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Cdf {
  int fd = 0;
  std::array<long, CDF_MAX_DIMS> start{}; /* corner; also the dimension ids of a shape */
  std::array<long, CDF_MAX_DIMS> count{}; /* edge lengths */
  int ndim = 0;                           /* entries the last position call set */
  bool verbose = false;                   /* report refusals as the library reports errors */
};

Cdf state;

/* The library starts out ending the process on any error. */
void never_fatal() { ncopts &= ~NC_FATAL; }

bool absent(int var) { return state.fd == CDF_NO_ID || var == CDF_NO_ID; }

void refuse(const char* who, int var, const char* why) {
  if (state.verbose) MESS_print(M_warn, "%s: Variable %d %s\n", who, var, why);
}

bool known_type(nc_type t) { return t >= NC_BYTE && t <= NC_DOUBLE; }

size_t type_size(nc_type t) {
  switch (t) {
    case NC_SHORT: return sizeof(short);
    case NC_INT: return sizeof(int);
    case NC_FLOAT: return sizeof(float);
    case NC_DOUBLE: return sizeof(double);
    default: return 1;
  }
}

/* A variable as the library stores it. */
struct Shape {
  nc_type type = NC_NAT;
  int ndims = 0;
  std::array<long, CDF_MAX_DIMS> len{}; /* records so far for the record dimension */
  std::array<bool, CDF_MAX_DIMS> record{};
};

bool var_shape(int var, Shape* s) {
  never_fatal();
  int nd = 0;
  nc_type t = NC_NAT;
  if (ncvarinq(state.fd, var, nullptr, &t, &nd, nullptr, nullptr) == -1) return false;
  if (nd < 0 || nd > CDF_MAX_DIMS || !known_type(t)) return false;
  std::array<int, CDF_MAX_DIMS> ids{};
  if (nd > 0 && ncvarinq(state.fd, var, nullptr, nullptr, nullptr, ids.data(), nullptr) == -1) return false;
  int unlim = -1;
  if (ncinquire(state.fd, nullptr, nullptr, nullptr, &unlim) == -1) return false;
  s->type = t;
  s->ndims = nd;
  for (int i = 0; i < nd; ++i) {
    long len = 0;
    if (ncdiminq(state.fd, ids[static_cast<size_t>(i)], nullptr, &len) == -1 || len < 0) return false;
    s->len[static_cast<size_t>(i)] = len;
    s->record[static_cast<size_t>(i)] = ids[static_cast<size_t>(i)] == unlim;
  }
  return true;
}

/* Elements of the current slab for a variable of this shape, or -1 when it
 * is invalid or (for reading) leaves what the file holds. Records beyond
 * the last may be written: the file grows. */
long slab_elements(const Shape& s, bool reading) {
  long n = 1;
  for (size_t i = 0; i < static_cast<size_t>(s.ndims); ++i) {
    const long st = state.start[i], ct = state.count[i];
    if (st < 0 || ct < 0) return -1;
    if ((reading || !s.record[i]) && (st > s.len[i] || ct > s.len[i] - st)) return -1;
    if (__builtin_mul_overflow(n, ct, &n)) return -1;
  }
  return n;
}

/* Bytes and chars are copied as they are; every other pair converts. */
bool raw_pair(nc_type a, nc_type b) {
  auto bytewise = [](nc_type t) { return t == NC_BYTE || t == NC_CHAR; };
  return a == b || (bytewise(a) && bytewise(b));
}

bool convertible(nc_type a, nc_type b) { return raw_pair(a, b) || (a != NC_CHAR && b != NC_CHAR); }

double load(nc_type t, const void* p, size_t i) {
  switch (t) {
    case NC_BYTE: return static_cast<const signed char*>(p)[i];
    case NC_SHORT: return static_cast<const short*>(p)[i];
    case NC_INT: return static_cast<const int*>(p)[i];
    case NC_FLOAT: return static_cast<const float*>(p)[i];
    case NC_DOUBLE: return static_cast<const double*>(p)[i];
    default: return static_cast<const unsigned char*>(p)[i];
  }
}

/* Stores v as element i of type t; false when it does not fit. */
bool store(nc_type t, void* p, size_t i, double v) {
  auto fits = [v](double lo, double hi) { return !std::isnan(v) && v >= lo && v <= hi; };
  switch (t) {
    case NC_BYTE:
      if (!fits(SCHAR_MIN, SCHAR_MAX)) return false;
      static_cast<signed char*>(p)[i] = static_cast<signed char>(v);
      return true;
    case NC_SHORT:
      if (!fits(SHRT_MIN, SHRT_MAX)) return false;
      static_cast<short*>(p)[i] = static_cast<short>(v);
      return true;
    case NC_INT:
      if (!fits(INT_MIN, INT_MAX)) return false;
      static_cast<int*>(p)[i] = static_cast<int>(v);
      return true;
    case NC_FLOAT:
      if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return false;
      static_cast<float*>(p)[i] = static_cast<float>(v);
      return true;
    case NC_DOUBLE: static_cast<double*>(p)[i] = v; return true;
    default: return false;
  }
}

/* Reads one value at the position (one) or the slab into out, as type
 * want; a slab must have at most cap elements. The number read, -1 on
 * failure. Values that the wanted type cannot hold become the missing value
 * for float and double results and fail the others. */
long get_values(const char* who, int var, nc_type want, void* out, long cap, bool one) {
  Shape s;
  if (!var_shape(var, &s)) {
    refuse(who, var, "is not a variable of up to 10 dimensions of a known type");
    return -1;
  }
  if (!convertible(want, s.type)) {
    refuse(who, var, "holds text where numbers are wanted, or numbers where text is");
    return -1;
  }
  long n = 1;
  if (!one) {
    n = slab_elements(s, true);
    if (n < 0 || n > cap) {
      refuse(who, var, "has no such slab, or one larger than the buffer");
      return -1;
    }
  }
  auto get = [&](void* dst) {
    never_fatal();
    return one ? ncvarget1(state.fd, var, state.start.data(), dst)
               : ncvarget(state.fd, var, state.start.data(), state.count.data(), dst);
  };
  if (raw_pair(want, s.type)) return get(out) == -1 ? -1 : n;
  std::vector<unsigned char> buf(static_cast<size_t>(n) * type_size(s.type));
  if (n > 0 && get(buf.data()) == -1) return -1;
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    double v = load(s.type, buf.data(), i);
    if (!store(want, out, i, v)) {
      if (want != NC_FLOAT && want != NC_DOUBLE) return -1;
      store(want, out, i, KEZ_FMISS);
    }
  }
  return n;
}

/* Writes one value at the position (one) or the slab from in, given as
 * type have; a slab must have at most cap elements. 0, or -1. */
int put_values(const char* who, int var, nc_type have, const void* in, long cap, bool one) {
  Shape s;
  if (!var_shape(var, &s)) {
    refuse(who, var, "is not a variable of up to 10 dimensions of a known type");
    return -1;
  }
  if (!convertible(have, s.type)) {
    refuse(who, var, "cannot take a value of this type");
    return -1;
  }
  long n = 1;
  if (!one) {
    n = slab_elements(s, false);
    if (n < 0 || n > cap) {
      refuse(who, var, "has no such slab, or one larger than the values given");
      return -1;
    }
  }
  auto put = [&](const void* src) {
    never_fatal();
    return one ? ncvarput1(state.fd, var, state.start.data(), src)
               : ncvarput(state.fd, var, state.start.data(), state.count.data(), src);
  };
  if (raw_pair(have, s.type)) return put(in) == -1 ? -1 : 0;
  std::vector<unsigned char> buf(static_cast<size_t>(n) * type_size(s.type));
  for (size_t i = 0; i < static_cast<size_t>(n); ++i)
    if (!store(s.type, buf.data(), i, load(have, in, i))) {
      refuse(who, var, "cannot hold the value given");
      return -1;
    }
  return put(buf.data()) == -1 ? -1 : 0;
}

/* Elements the caller of an array call gave room for: the edge lengths of
 * the entries that its position call set. */
long caller_elements() {
  long n = 1;
  for (size_t i = 0; i < static_cast<size_t>(state.ndim); ++i)
    if (state.count[i] < 0 || __builtin_mul_overflow(n, state.count[i], &n)) return -1;
  return n;
}

bool count_ok(const char* who, int num) {
  if (num >= 0 && num <= CDF_MAX_DIMS) return true;
  MESS_print(M_warn, "%s: %d dimensions, at most %d are possible\n", who, num, CDF_MAX_DIMS);
  return false;
}

int def_typed(const char* name, nc_type type) {
  if (!name || state.fd == CDF_NO_ID) return -1;
  std::array<int, CDF_MAX_DIMS> dims{};
  for (size_t i = 0; i < static_cast<size_t>(state.ndim); ++i) {
    if (state.start[i] < INT_MIN || state.start[i] > INT_MAX) return -1;
    dims[i] = static_cast<int>(state.start[i]);
  }
  never_fatal();
  return ncvardef(state.fd, name, type, state.ndim, dims.data());
}

int put_att(int id, const char* name, nc_type type, int len, const void* value) {
  /* -1 is the library's id of the global attributes: a variable that is
   * not there must not label the file. */
  if (id == CDF_NO_ID || state.fd == CDF_NO_ID) return 0;
  never_fatal();
  return ncattput(state.fd, id, name, type, len, value) == -1 ? -1 : 0;
}

bool long_fits(long v) { return v >= INT_MIN && v <= INT_MAX; }

/* ---- header check ------------------------------------------------------------------ */

/* The library believes the counts and lengths of a classic header and
 * allocates for them before it reads them, so a few bytes can ask it for
 * gigabytes. This walk checks that every count fits in what the file still
 * holds before the library sees the file. */
constexpr int kTagDimension = 0x0A;
constexpr int kTagVariable = 0x0B;
constexpr int kTagAttribute = 0x0C;

class HeaderWalk {
 public:
  HeaderWalk(FILE* fp, long long size, bool wide) : fp_(fp), left_(size), wide_(wide) {}

  bool skip(long long n) {
    if (n < 0 || n > left_ || std::fseek(fp_, static_cast<long>(n), SEEK_CUR) != 0) return false;
    left_ -= n;
    return true;
  }
  /* A big-endian number of 4 bytes, or 8 where the format is wide. */
  bool number(long long* v, bool wide) {
    const int n = wide ? 8 : 4;
    if (left_ < n) return false;
    unsigned long long u = 0;
    for (int i = 0; i < n; ++i) {
      int c = std::getc(fp_);
      if (c == EOF) return false;
      u = (u << 8) | static_cast<unsigned>(c);
    }
    left_ -= n;
    if (u > static_cast<unsigned long long>(LLONG_MAX)) return false;
    *v = static_cast<long long>(u);
    return true;
  }
  bool count(long long* v) { return number(v, wide_); }
  /* A count of items of at least min_bytes each. */
  bool items(long long* v, long long min_bytes) { return count(v) && *v <= left_ / min_bytes; }
  bool name() {
    long long len = 0;
    return count(&len) && len <= NC_MAX_NAME && skip(padded(len));
  }
  /* A list header: a tag and a count; an absent list is two zeros. */
  bool list(int tag, long long* n, long long min_bytes) {
    long long t = 0;
    if (!number(&t, false) || !items(n, min_bytes)) return false;
    return t == tag || (t == 0 && *n == 0);
  }
  bool attributes() {
    long long n = 0;
    if (!list(kTagAttribute, &n, 12)) return false;
    for (long long i = 0; i < n; ++i) {
      long long type = 0, len = 0;
      if (!name() || !number(&type, false)) return false;
      const long long size = element_size(type);
      if (size == 0 || !count(&len) || len > left_ / size || !skip(padded(len * size))) return false;
    }
    return true;
  }
  long long element_size(long long type) const {
    switch (type) {
      case NC_BYTE:
      case NC_CHAR: return 1;
      case NC_SHORT: return 2;
      case NC_INT:
      case NC_FLOAT: return 4;
      case NC_DOUBLE: return 8;
      case NC_UBYTE: return wide_ ? 1 : 0;
      case NC_USHORT: return wide_ ? 2 : 0;
      case NC_UINT: return wide_ ? 4 : 0;
      case NC_INT64:
      case NC_UINT64: return wide_ ? 8 : 0;
      default: return 0;
    }
  }

 private:
  static long long padded(long long n) { return (n + 3) / 4 * 4; }
  FILE* fp_;
  long long left_;
  bool wide_;
};

bool header_sane(FILE* fp, long long size, int version) {
  HeaderWalk w(fp, size, version == 5);
  long long n = 0, v = 0;
  if (!w.count(&v) || !w.list(kTagDimension, &n, 8)) return false;
  for (long long i = 0; i < n; ++i)
    if (!w.name() || !w.count(&v)) return false;
  if (!w.attributes() || !w.list(kTagVariable, &n, 28)) return false;
  for (long long i = 0; i < n; ++i) {
    long long nd = 0;
    if (!w.name() || !w.items(&nd, 4)) return false;
    for (long long j = 0; j < nd; ++j)
      if (!w.count(&v)) return false;
    /* attributes, type (an unknown one divides by zero in the library),
     * size, offset of the data */
    if (!w.attributes() || !w.number(&v, false) || w.element_size(v) == 0 || !w.count(&v) ||
        !w.number(&v, version != 1))
      return false;
  }
  return true;
}

/* The HDF5 library under netCDF-4 can crash on a damaged file (a bad free
 * while it lists the groups), and no header check reaches deep enough to
 * foresee it. So a netCDF-4 file is first opened and its variables and
 * attributes listed in a child process; a child that dies or hangs marks
 * the file damaged and the caller never touches it. */
enum class Probe { opens, refused, damaged };

constexpr int kProbeRefused = 2; /* the library declined the file cleanly */
/* Generous: large files open slowly on a busy machine. The fuzz build sets
 * a short limit, so that a file that keeps the library looping costs its
 * unit seconds instead of outlasting the fuzzer's time-out. */
#ifndef KEZ_NETCDF_PROBE_SECONDS
#define KEZ_NETCDF_PROBE_SECONDS 60
#endif
constexpr int kProbeSeconds = KEZ_NETCDF_PROBE_SECONDS;

[[noreturn]] void probe_child(const char* filename) {
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, SIG_DFL);
  ncopts = 0;
  const int id = ncopen(filename, NC_NOWRITE);
  if (id < 0) _exit(kProbeRefused);
  int ndims = 0, nvars = 0, ngatts = 0, unlim = 0;
  if (ncinquire(id, &ndims, &nvars, &ngatts, &unlim) < 0) _exit(kProbeRefused);
  std::vector<char> name(NC_MAX_NAME + 1);
  for (int v = -1; v < nvars; ++v) {
    int natts = ngatts;
    if (v >= 0) {
      nc_type type{};
      int nd = 0;
      std::vector<int> dims(NC_MAX_VAR_DIMS);
      if (ncvarinq(id, v, name.data(), &type, &nd, dims.data(), &natts) < 0) _exit(kProbeRefused);
    }
    for (int a = 0; a < natts; ++a) {
      nc_type type{};
      int len = 0;
      if (ncattname(id, v, a, name.data()) < 0 || ncattinq(id, v, name.data(), &type, &len) < 0) _exit(kProbeRefused);
    }
  }
  ncclose(id);
  _exit(0);
}

Probe probe_netcdf4(const char* filename) {
  std::fflush(nullptr); /* the child must not write the parent's buffers twice */
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return Probe::opens; /* cannot tell: open it as before */
  if (pid == 0) {
    /* A child caught in a loop of the library outlives a parent that is
     * killed before its time-out; it must end with the parent. */
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kProbeRefused);
    probe_child(filename);
  }
  int status = 0;
  for (int waited_ms = 0;; waited_ms += 10) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0) return Probe::opens;
    if (waited_ms >= kProbeSeconds * 1000) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return Probe::damaged;
    }
    usleep(10000);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return Probe::opens;
  if (WIFEXITED(status) && WEXITSTATUS(status) == kProbeRefused) return Probe::refused;
  return Probe::damaged;
}

} // namespace

int CDF_check_header(const char* filename) {
  if (!filename) return 0;
  /* Not FILE_open: a name is never a command here. */
  FILE* fp = std::fopen(filename, "rb");
  if (!fp) return 1; /* the library reports it */
  std::unique_ptr<FILE, int (*)(FILE*)> guard(fp, std::fclose);
  unsigned char magic[4];
  struct stat sb {};
  if (std::fread(magic, 1, 4, fp) != 4) return 1;
  if (fstat(fileno(fp), &sb) != 0 || !S_ISREG(sb.st_mode)) return 1;
  if (std::memcmp(magic, "\x89HDF", 4) == 0) {
    /* loaded here, not in the child: every child would load it again */
    if (!CDF_load_library("CDF_check_header")) return 0;
    switch (probe_netcdf4(filename)) {
      case Probe::opens: return 1;
      case Probe::refused:
        /* opening it here would only repeat the refusal (and the library's leaks) */
        MESS_print(M_warn, "CDF_check_header: The netCDF library cannot open this netCDF-4 file: %s\n", filename);
        return 0;
      case Probe::damaged: break;
    }
    MESS_print(M_warn, "CDF_check_header: Damaged netCDF-4 file: %s\n", filename);
    return 0;
  }
  if (std::memcmp(magic, "CDF", 3) != 0) return 1;
  if ((magic[3] == 1 || magic[3] == 2 || magic[3] == 5) &&
      header_sane(fp, static_cast<long long>(sb.st_size) - 4, magic[3]))
    return 1;
  MESS_print(M_warn, "CDF_check_header: Damaged netCDF header: %s\n", filename);
  return 0;
}

/* ---- state and files ------------------------------------------------------------ */

int CDF_set_fd(int val) {
  state.fd = val;
  return 0;
}

int CDF_print_errors(int val) {
  state.verbose = val == 1;
  ncopts = state.verbose ? NC_VERBOSE : 0;
  return 0;
}

int CDF_open(const char* filename, int access) {
  if (!filename) return -1;
  if ((access == CDF_READ || access == CDF_WRITE) && !CDF_check_header(filename)) {
    state.fd = CDF_NO_ID;
    return -1;
  }
  never_fatal();
  switch (access) {
    case CDF_READ: state.fd = ncopen(filename, NC_NOWRITE); break;
    case CDF_CREATE: state.fd = nccreate(filename, NC_CLOBBER); break;
    case CDF_WRITE: state.fd = ncopen(filename, NC_WRITE); break;
    default: MESS_print(M_warn, "CDF_open: Invalid access %d for %s\n", access, filename); return -1;
  }
  if (state.fd < 0) state.fd = CDF_NO_ID;
  return state.fd;
}

int CDF_close() {
  if (state.fd == CDF_NO_ID) return -1;
  never_fatal();
  return ncclose(state.fd);
}

int CDF_end_def() {
  if (state.fd == CDF_NO_ID) return -1;
  never_fatal();
  return ncendef(state.fd);
}

/* ---- dimensions and variables ---------------------------------------------------- */

int CDF_def_dim(const char* name, int size) {
  if (!name || size < 0 || state.fd == CDF_NO_ID) return -1;
  never_fatal();
  return ncdimdef(state.fd, name, size);
}

int CDF_get_dim(const char* name) {
  if (!name || state.fd == CDF_NO_ID) return -1;
  never_fatal();
  return ncdimid(state.fd, name);
}

int CDF_get_dim_size(int dim) {
  if (state.fd == CDF_NO_ID) return -1;
  never_fatal();
  if (dim == CDF_RECORD_DIM && ncinquire(state.fd, nullptr, nullptr, nullptr, &dim) == -1) return -1;
  if (dim < 0) return -1;
  long len = 0;
  if (ncdiminq(state.fd, dim, nullptr, &len) == -1 || len < 0 || len > INT_MAX) return -1;
  return static_cast<int>(len);
}

int CDF_set_shape(int num, ...) {
  if (!count_ok("CDF_set_shape", num)) return -1;
  va_list ap;
  va_start(ap, num);
  for (size_t i = 0; i < static_cast<size_t>(num); ++i) state.start[i] = va_arg(ap, int);
  va_end(ap);
  state.ndim = num;
  return 0;
}

int CDF_def_var(const char* name, int type, int ndims, ...) {
  if (!count_ok("CDF_def_var", ndims)) return -1;
  std::array<int, CDF_MAX_DIMS> dims{};
  va_list ap;
  va_start(ap, ndims);
  for (size_t i = 0; i < static_cast<size_t>(ndims); ++i) dims[i] = va_arg(ap, int);
  va_end(ap);
  if (!name || state.fd == CDF_NO_ID) return -1;
  never_fatal();
  return ncvardef(state.fd, name, static_cast<nc_type>(type), ndims, dims.data());
}

int CDF_def_float_var(const char* name) { return def_typed(name, NC_FLOAT); }
int CDF_def_long_var(const char* name) { return def_typed(name, NC_INT); }
int CDF_def_short_var(const char* name) { return def_typed(name, NC_SHORT); }
int CDF_def_byte_var(const char* name) { return def_typed(name, NC_BYTE); }
int CDF_def_char_var(const char* name) { return def_typed(name, NC_CHAR); }

int CDF_get_var(const char* name) {
  if (!name || state.fd == CDF_NO_ID) return -1;
  never_fatal();
  return ncvarid(state.fd, name);
}

/* ---- attributes ----------------------------------------------------------------- */

int CDF_put_glob_att(const char* name, const char* value) {
  if (!name || !value || state.fd == CDF_NO_ID) return -1;
  never_fatal();
  return ncattput(state.fd, NC_GLOBAL, name, NC_CHAR, static_cast<int>(std::strlen(value)), value) == -1 ? -1 : 0;
}

int CDF_get_glob_att(const char* name, char* value, int size) {
  if (!name || !value || size <= 0 || state.fd == CDF_NO_ID) return -1;
  never_fatal();
  nc_type type = NC_NAT;
  int len = 0;
  if (ncattinq(state.fd, NC_GLOBAL, name, &type, &len) == -1) return -1;
  if (type != NC_CHAR || len < 0) {
    if (state.verbose) MESS_print(M_warn, "CDF_get_glob_att: Attribute %s is not text\n", name);
    return -1;
  }
  /* The library copies the whole attribute: take it into a buffer of its
   * own length, then hand over what fits. */
  std::string text(static_cast<size_t>(len), '\0');
  if (len > 0 && ncattget(state.fd, NC_GLOBAL, name, text.data()) == -1) return -1;
  size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(value, text.data(), n);
  value[n] = '\0';
  return 0;
}

int CDF_put_base_att(int id, const char* long_name, const char* units) {
  if (long_name) put_att(id, "long_name", NC_CHAR, static_cast<int>(std::strlen(long_name)), long_name);
  if (units) put_att(id, "units", NC_CHAR, static_cast<int>(std::strlen(units)), units);
  return 0;
}

int CDF_put_float_range_att(int id, float min, float max) {
  const float range[2] = {min, max};
  return put_att(id, "valid_range", NC_FLOAT, 2, range);
}

int CDF_put_long_range_att(int id, long int min, long int max) {
  if (!long_fits(min) || !long_fits(max)) return -1;
  const nclong range[2] = {static_cast<nclong>(min), static_cast<nclong>(max)};
  return put_att(id, "valid_range", NC_INT, 2, range);
}

int CDF_put_fill_att(int id) {
  const float fill = CDF_FILL;
  return put_att(id, "_FillValue", NC_FLOAT, 1, &fill);
}

int CDF_put_long_fill_att(int id, long int val) {
  if (!long_fits(val)) return -1;
  const nclong fill = static_cast<nclong>(val);
  return put_att(id, "_FillValue", NC_INT, 1, &fill);
}

/* ---- positions ------------------------------------------------------------------ */

int CDF_set_pos(int num, ...) {
  if (!count_ok("CDF_set_pos", num)) return -1;
  va_list ap;
  va_start(ap, num);
  for (size_t i = 0; i < static_cast<size_t>(num); ++i) {
    state.start[i] = va_arg(ap, int);
    state.count[i] = 1;
  }
  va_end(ap);
  state.ndim = num;
  return 0;
}

int CDF_set_range(int num, ...) {
  if (!count_ok("CDF_set_range", num)) return -1;
  va_list ap;
  va_start(ap, num);
  for (size_t i = 0; i < static_cast<size_t>(num); ++i) {
    state.start[i] = va_arg(ap, int);
    state.count[i] = va_arg(ap, int);
  }
  va_end(ap);
  state.ndim = num;
  return 0;
}

/* ---- values --------------------------------------------------------------------- */

int CDF_put_str(int var, const char* str) {
  if (absent(var)) return 0;
  if (!str || state.ndim >= CDF_MAX_DIMS) return -1;
  Shape s;
  if (!var_shape(var, &s) || s.ndims < 1) {
    refuse("CDF_put_str", var, "is not a text variable of up to 10 dimensions");
    return -1;
  }
  /* Cut to the string dimension; the terminator goes along when it fits. */
  long n = static_cast<long>(std::strlen(str)) + 1;
  const size_t last = static_cast<size_t>(s.ndims) - 1;
  if (!s.record[last] && n > s.len[last]) n = s.len[last];
  const size_t k = static_cast<size_t>(state.ndim);
  state.start[k] = 0;
  state.count[k] = n;
  return put_values("CDF_put_str", var, NC_CHAR, str, n, false);
}

int CDF_put_float(int var, float value) {
  if (absent(var)) return 0;
  return put_values("CDF_put_float", var, NC_FLOAT, &value, 1, true);
}

int CDF_put_float_array(int var, const float* array) {
  if (absent(var)) return 0;
  if (!array) return -1;
  return put_values("CDF_put_float_array", var, NC_FLOAT, array, caller_elements(), false);
}

int CDF_put_long(int var, long int value) {
  if (absent(var)) return 0;
  if (!long_fits(value)) return -1;
  const nclong v = static_cast<nclong>(value);
  return put_values("CDF_put_long", var, NC_INT, &v, 1, true);
}

int CDF_put_short(int var, short int value) {
  if (absent(var)) return 0;
  return put_values("CDF_put_short", var, NC_SHORT, &value, 1, true);
}

int CDF_put_byte(int var, char value) {
  if (absent(var)) return 0;
  return put_values("CDF_put_byte", var, NC_BYTE, &value, 1, true);
}

int CDF_put_byte_array(int var, const char* array) {
  if (absent(var)) return 0;
  if (!array) return -1;
  return put_values("CDF_put_byte_array", var, NC_BYTE, array, caller_elements(), false);
}

int CDF_put_char(int var, char value) {
  if (absent(var)) return 0;
  return put_values("CDF_put_char", var, NC_CHAR, &value, 1, true);
}

int CDF_get_str(int var, int len, char* str) {
  if (absent(var)) return 0;
  if (!str || len < 0) return -1;
  str[0] = '\0';
  if (state.ndim >= CDF_MAX_DIMS) return -1;
  Shape s;
  if (!var_shape(var, &s) || s.ndims < 1) {
    refuse("CDF_get_str", var, "is not a text variable of up to 10 dimensions");
    return -1;
  }
  /* A foreign file's strings may be shorter than the caller's. */
  long n = len;
  const size_t last = static_cast<size_t>(s.ndims) - 1;
  if (n > s.len[last]) n = s.len[last];
  const size_t k = static_cast<size_t>(state.ndim);
  state.start[k] = 0;
  state.count[k] = n;
  if (get_values("CDF_get_str", var, NC_CHAR, str, n, false) < 0) {
    str[0] = '\0';
    return -1;
  }
  str[n] = '\0';
  return 1;
}

float CDF_get_float(int var) {
  float v = CDF_FILL;
  if (absent(var) || get_values("CDF_get_float", var, NC_FLOAT, &v, 1, true) < 0) return CDF_FILL;
  return v;
}

int CDF_get_float_array(int var, float* array) {
  if (absent(var) || !array) return -1;
  return get_values("CDF_get_float_array", var, NC_FLOAT, array, caller_elements(), false) < 0 ? -1 : 0;
}

double CDF_get_double(int var) {
  double v = CDF_FILL;
  if (absent(var) || get_values("CDF_get_double", var, NC_DOUBLE, &v, 1, true) < 0) return CDF_FILL;
  return v;
}

int CDF_get_double_array(int var, double* array) {
  if (absent(var) || !array) return -1;
  return get_values("CDF_get_double_array", var, NC_DOUBLE, array, caller_elements(), false) < 0 ? -1 : 0;
}

char CDF_get_byte(int var) {
  char v = -1;
  if (absent(var) || get_values("CDF_get_byte", var, NC_BYTE, &v, 1, true) < 0) return -1;
  return v;
}

int CDF_get_byte_array(int var, char* array) {
  if (absent(var) || !array) return -1;
  return get_values("CDF_get_byte_array", var, NC_BYTE, array, caller_elements(), false) < 0 ? -1 : 0;
}

char CDF_get_char(int var) {
  char v = ' ';
  if (absent(var) || get_values("CDF_get_char", var, NC_CHAR, &v, 1, true) < 0) return ' ';
  return v;
}

long int CDF_get_long(int var) {
  nclong v = KEZ_MISS;
  if (absent(var) || get_values("CDF_get_long", var, NC_INT, &v, 1, true) < 0) return KEZ_MISS;
  return v;
}

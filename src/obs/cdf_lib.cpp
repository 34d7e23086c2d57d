/*
 * cdf_lib: the netCDF library, loaded on first use (see cdf_lib.h).
 *
 * Owns the handle of the library and the addresses of its calls, found
 * once, on the first call of any stand-in. Each stand-in hands the suite's
 * error option to the library and calls through the address; when the
 * library could not be loaded, it prints the one message (the first time)
 * and gives the library's own failure result.
 */
#include "cdf_lib.h"

#include "kez.h"

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#ifndef KEZ_NETCDF_SONAME
#error "KEZ_NETCDF_SONAME: the netCDF library's file name, found when the build is configured"
#endif

namespace {

#define CDF_LIB_ENUM(name) call_##name,
#define CDF_LIB_NAME(name) #name,
enum Call : size_t { CDF_LIB_CALLS(CDF_LIB_ENUM) kCalls };
constexpr std::array<const char*, kCalls> kCallNames = {CDF_LIB_CALLS(CDF_LIB_NAME)};
#undef CDF_LIB_ENUM
#undef CDF_LIB_NAME

struct Library {
  std::string chosen; /* the library a test asked for; empty: the configured one */
  std::mutex lock;    /* held while loading */
  std::atomic<bool> tried{false};
  std::array<void*, kCalls> calls{};
  int* opts = nullptr; /* the library's own error option */
  std::string error;   /* why the library cannot be used; empty when it can */
  std::atomic<bool> reported{false};
};

Library state;

const char* soname() { return state.chosen.empty() ? KEZ_NETCDF_SONAME : state.chosen.c_str(); }

/* What the loader says went wrong, never empty. */
std::string loader_error(const char* fallback) {
  const char* e = dlerror();
  return e ? e : fallback;
}

/* Opens the library and finds its calls; on failure, error says why. */
void load() {
  state.calls.fill(nullptr);
  state.opts = nullptr;
  state.error.clear();
  dlerror();
  void* handle = dlopen(soname(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    state.error = loader_error("not found");
    return;
  }
  for (size_t c = 0; c < kCalls && state.error.empty(); ++c) {
    dlerror();
    state.calls[c] = dlsym(handle, kCallNames[c]);
    if (!state.calls[c]) state.error = loader_error(kCallNames[c]);
  }
  if (state.error.empty()) {
    /* A program that links the library too may hold the variable the
     * library uses (a copy relocation); the library binds to the first
     * definition in the global scope, as this lookup does. */
    state.opts = static_cast<int*>(dlsym(RTLD_DEFAULT, "ncopts"));
    dlerror();
    if (!state.opts) state.opts = static_cast<int*>(dlsym(handle, "ncopts"));
    if (!state.opts) state.error = loader_error("ncopts");
  }
  if (!state.error.empty()) {
    state.calls.fill(nullptr);
    state.opts = nullptr;
    dlclose(handle);
  }
}

bool usable(const char* who) {
  if (!state.tried.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> hold(state.lock);
    if (!state.tried.load(std::memory_order_relaxed)) {
      load();
      state.tried.store(true, std::memory_order_release);
    }
  }
  if (state.error.empty()) return true;
  if (!state.reported.exchange(true))
    MESS_print(M_error, "%s: The netCDF library %s cannot be loaded: %s\n", who, soname(), state.error.c_str());
  return false;
}

/* Calls the library's function of type F, or gives fail. */
template <typename F, typename R, typename... A>
R forward(Call c, const char* who, R fail, A... args) {
  if (!usable(who)) return fail;
  /* a program that links the library too keeps its own option */
  const int theirs = *state.opts;
  *state.opts = kez_ncopts & ~NC_FATAL;
  const R result = reinterpret_cast<F*>(state.calls[c])(args...);
  *state.opts = theirs;
  return result;
}

} // namespace

int CDF_load_library(const char* who) { return usable(who) ? 1 : 0; }

void CDF_set_library(const char* name) {
  std::lock_guard<std::mutex> hold(state.lock);
  state.chosen = name ? name : "";
  state.tried = false;
  state.reported = false;
}

/* The classic calls fail with -1, the others with a status. */
#define CDF_LIB_FORWARD(name, fail, ...) \
  return forward<decltype(kez_##name)>(call_##name, #name, static_cast<int>(fail), __VA_ARGS__)

extern "C" {

/* The library's own starting value; the suite's callers set it before use. */
int kez_ncopts = NC_FATAL | NC_VERBOSE;

int kez_ncopen(const char* path, int mode) { CDF_LIB_FORWARD(ncopen, -1, path, mode); }
int kez_nccreate(const char* path, int cmode) { CDF_LIB_FORWARD(nccreate, -1, path, cmode); }
int kez_ncclose(int ncid) { CDF_LIB_FORWARD(ncclose, -1, ncid); }
int kez_ncendef(int ncid) { CDF_LIB_FORWARD(ncendef, -1, ncid); }
int kez_ncinquire(int ncid, int* ndimsp, int* nvarsp, int* nattsp, int* unlimdimp) {
  CDF_LIB_FORWARD(ncinquire, -1, ncid, ndimsp, nvarsp, nattsp, unlimdimp);
}
int kez_ncdimdef(int ncid, const char* name, long len) { CDF_LIB_FORWARD(ncdimdef, -1, ncid, name, len); }
int kez_ncdimid(int ncid, const char* name) { CDF_LIB_FORWARD(ncdimid, -1, ncid, name); }
int kez_ncdiminq(int ncid, int dimid, char* name, long* lenp) {
  CDF_LIB_FORWARD(ncdiminq, -1, ncid, dimid, name, lenp);
}
int kez_ncvardef(int ncid, const char* name, nc_type xtype, int ndims, const int* dimidsp) {
  CDF_LIB_FORWARD(ncvardef, -1, ncid, name, xtype, ndims, dimidsp);
}
int kez_ncvarid(int ncid, const char* name) { CDF_LIB_FORWARD(ncvarid, -1, ncid, name); }
int kez_ncvarinq(int ncid, int varid, char* name, nc_type* xtypep, int* ndimsp, int* dimidsp, int* nattsp) {
  CDF_LIB_FORWARD(ncvarinq, -1, ncid, varid, name, xtypep, ndimsp, dimidsp, nattsp);
}
int kez_ncvarget(int ncid, int varid, const long* startp, const long* countp, void* ip) {
  CDF_LIB_FORWARD(ncvarget, -1, ncid, varid, startp, countp, ip);
}
int kez_ncvarput(int ncid, int varid, const long* startp, const long* countp, const void* op) {
  CDF_LIB_FORWARD(ncvarput, -1, ncid, varid, startp, countp, op);
}
int kez_ncvarget1(int ncid, int varid, const long* indexp, void* ip) {
  CDF_LIB_FORWARD(ncvarget1, -1, ncid, varid, indexp, ip);
}
int kez_ncvarput1(int ncid, int varid, const long* indexp, const void* op) {
  CDF_LIB_FORWARD(ncvarput1, -1, ncid, varid, indexp, op);
}
int kez_ncattput(int ncid, int varid, const char* name, nc_type xtype, int len, const void* op) {
  CDF_LIB_FORWARD(ncattput, -1, ncid, varid, name, xtype, len, op);
}
int kez_ncattinq(int ncid, int varid, const char* name, nc_type* xtypep, int* lenp) {
  CDF_LIB_FORWARD(ncattinq, -1, ncid, varid, name, xtypep, lenp);
}
int kez_ncattget(int ncid, int varid, const char* name, void* ip) {
  CDF_LIB_FORWARD(ncattget, -1, ncid, varid, name, ip);
}
int kez_ncattname(int ncid, int varid, int attnum, char* name) {
  CDF_LIB_FORWARD(ncattname, -1, ncid, varid, attnum, name);
}
int kez_nc_inq_varndims(int ncid, int varid, int* ndimsp) {
  CDF_LIB_FORWARD(nc_inq_varndims, NC_ENOTBUILT, ncid, varid, ndimsp);
}
int kez_nc_get_att_string(int ncid, int varid, const char* name, char** ip) {
  CDF_LIB_FORWARD(nc_get_att_string, NC_ENOTBUILT, ncid, varid, name, ip);
}
int kez_nc_free_string(size_t len, char** data) { CDF_LIB_FORWARD(nc_free_string, NC_ENOTBUILT, len, data); }
}

/*
 * cdf_lib.h: the netCDF library, loaded on first use.
 *
 * The netCDF library brings some forty shared libraries with it (HDF5,
 * curl, TLS, Kerberos, LDAP, ICU, ...), whose loading and start-up cost
 * every process of the suite most of its start-up time although most runs
 * read no netCDF file. So the library is not linked: cdf_lib opens it with
 * dlopen when a netCDF call is first made and looks up the calls the suite
 * uses.
 *
 * Include this header instead of <netcdf.h>. It takes the library's
 * declarations, constants and types from <netcdf.h>, declares a stand-in of
 * each call used with the library's own prototype, and renames the calls
 * to their stand-ins, so that code calls ncopen or sets ncopts as it would
 * with the library linked. The stand-ins carry names of their own
 * (kez_ncopen, ...) so that they never take the place of the library's
 * own symbols in a process that links the library as well.
 *
 * ncopts is the suite's copy of the library's error option; each call hands
 * it to the library first, without NC_FATAL: a netCDF error never ends the
 * process. When the library cannot be loaded (or lacks a call), the first
 * call prints one message naming the library and the loader's reason, and
 * every call fails as the library fails: -1 from the classic calls,
 * NC_ENOTBUILT from the others.
 */
#ifndef KEZ_SFC_CDF_LIB_H
#define KEZ_SFC_CDF_LIB_H

#include <netcdf.h>

/* The calls the suite makes, as X(name) lines. */
#define CDF_LIB_CALLS(X) \
  X(ncopen)              \
  X(nccreate)            \
  X(ncclose)             \
  X(ncendef)             \
  X(ncinquire)           \
  X(ncdimdef)            \
  X(ncdimid)             \
  X(ncdiminq)            \
  X(ncvardef)            \
  X(ncvarid)             \
  X(ncvarinq)            \
  X(ncvarget)            \
  X(ncvarput)            \
  X(ncvarget1)           \
  X(ncvarput1)           \
  X(ncattput)            \
  X(ncattinq)            \
  X(ncattget)            \
  X(ncattname)           \
  X(nc_inq_varndims)     \
  X(nc_get_att_string)   \
  X(nc_free_string)

/* Each stand-in has exactly the library's prototype. */
#define CDF_LIB_DECLARE(name) decltype(::name) kez_##name;
extern "C" {
CDF_LIB_CALLS(CDF_LIB_DECLARE)
extern int kez_ncopts;
}
#undef CDF_LIB_DECLARE

#define ncopen kez_ncopen
#define nccreate kez_nccreate
#define ncclose kez_ncclose
#define ncendef kez_ncendef
#define ncinquire kez_ncinquire
#define ncdimdef kez_ncdimdef
#define ncdimid kez_ncdimid
#define ncdiminq kez_ncdiminq
#define ncvardef kez_ncvardef
#define ncvarid kez_ncvarid
#define ncvarinq kez_ncvarinq
#define ncvarget kez_ncvarget
#define ncvarput kez_ncvarput
#define ncvarget1 kez_ncvarget1
#define ncvarput1 kez_ncvarput1
#define ncattput kez_ncattput
#define ncattinq kez_ncattinq
#define ncattget kez_ncattget
#define ncattname kez_ncattname
#define nc_inq_varndims kez_nc_inq_varndims
#define nc_get_att_string kez_nc_get_att_string
#define nc_free_string kez_nc_free_string
#define ncopts kez_ncopts

/* Loads the library now if it is not loaded yet: 1 when it is usable, else
 * 0 after the one message (which begins with who). A process that forks a
 * child to make netCDF calls loads the library first, so that the child
 * does not load it. */
int CDF_load_library(const char* who);

/* For tests of a missing library: the library to load, on the next call,
 * instead of the one the suite was built with (NULL: that one again). No
 * netCDF file may be open. */
void CDF_set_library(const char* name);

#endif

/* Linked into every fuzz target. The netCDF and HDF5 libraries leak what
 * they allocated when a damaged netCDF-4 file fails to open; that is theirs,
 * not ours, and would otherwise end every run that meets such a file. */
extern "C" const char* __lsan_default_suppressions() { return "leak:libnetcdf\nleak:libhdf5\n"; }

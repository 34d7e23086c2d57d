/* netCDF grid files of arbitrary bytes, classic and netCDF-4, in the suite's
 * layout and as foreign model output: the header, then records by number,
 * whole and header only, forward, again, back, past the end and after a
 * rewind. Every grid read whole is then written into a file of the suite's
 * layout, which must read back with the same size, header numbers, texts
 * and values: what the reader hands on must survive the suite's own file.
 * "GRIDVAR" and "GRIBQP" are set once, so that a file with a variable of
 * that name (a dictionary word) reaches the extra field and the
 * precipitation hours. */
#include "kez_fuzz.h"
#include "kezgrd.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

/* Records compared after the round trip, and the largest grid written. */
constexpr size_t kMaxKept = 4;
constexpr long kMaxWritten = 1000000;

struct Kept {
  GRD_report head{};
  std::vector<float> values;
};

/* Reads record n into g (values too when whole); false when there is none. */
bool read_one(int h, int n, int rep_type, GRD_report* g) {
  int num = n;
  return GRD_read(h, g, rep_type, &num) == 0;
}

bool same_header(const GRD_report& a, const GRD_report& b) {
  const Domain &x = a.domain, &y = b.domain;
  return a.source == b.source && a.version == b.version && a.model == b.model && a.type == b.type &&
         a.ltype == b.ltype && a.level == b.level && a.time == b.time && a.var == b.var && x.proj == y.proj &&
         x.nx == y.nx && x.ny == y.ny && x.clat == y.clat && x.clon == y.clon && x.plat == y.plat && x.plon == y.plon &&
         x.dx == y.dx && x.dy == y.dy && std::strcmp(a.units, b.units) == 0 && std::strcmp(a.datim, b.datim) == 0 &&
         std::strncmp(a.info, b.info, 49) == 0;
}

/* Writes the kept grids into the suite's layout and reads them back. */
void round_trip(const std::vector<Kept>& kept) {
  GRD_info info{};
  DATE_init(&info.date);
  for (const Kept& k : kept) {
    info.max_x = std::max(info.max_x, k.head.domain.nx);
    info.max_y = std::max(info.max_y, k.head.domain.ny);
  }
  if (static_cast<long>(info.max_x) * info.max_y > kMaxWritten) return;
  const std::string out = kez_fuzz::scratch_dir() + "/suite.nc";
  int type = GRD_TYPE_NETCDF;
  int h = GRD_open(out.c_str(), GRD_ACCESS_WRITE, &type);
  if (h < 0 || GRD_putinfo(h, &info) != 0) std::abort();
  for (size_t i = 0; i < kept.size(); ++i) {
    GRD_report g = kept[i].head;
    g.grid = const_cast<float*>(kept[i].values.data());
    const int n = static_cast<int>(i);
    if (GRD_write(h, &g, GRD_READ_ALL, &n) != 0) std::abort();
  }
  GRD_close(h);
  type = GRD_TYPE_DETECT;
  h = GRD_open(out.c_str(), GRD_ACCESS_READ, &type);
  if (h < 0 || type != GRD_TYPE_NETCDF || GRD_getinfo(h, &info) != 0) std::abort();
  for (size_t i = 0; i < kept.size(); ++i) {
    GRD_report g{};
    GRD_init(&g);
    if (!read_one(h, static_cast<int>(i), GRD_READ_ALL, &g) || !same_header(g, kept[i].head) ||
        std::memcmp(g.grid, kept[i].values.data(), kept[i].values.size() * sizeof(float)) != 0)
      std::abort();
    std::free(g.grid);
  }
  GRD_close(h);
}

} // namespace

/* The netCDF and HDF5 libraries leak what they allocated when a damaged
 * netCDF-4 file fails to open (a plain nc_open of such a file does too);
 * those are not this suite's leaks. */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = [] {
    kez_fuzz::quiet();
    setenv("GRIDVAR", "gridvar", 1);
    setenv("GRIBQP", "6", 1);
    return true;
  }();
  (void)once;
  const std::string path = kez_fuzz::write_file("grid.nc", data, size);
  int type = GRD_TYPE_NETCDF;
  const int h = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  if (h < 0) return 0;
  std::vector<Kept> kept;
  GRD_info info{};
  if (GRD_getinfo(h, &info) == 0) {
    /* Header then whole; the next; once more; back to the start; far past
     * the end; and the current record (-1) after a rewind. */
    const int order[][2] = {{0, GRD_READ_HEADER},  {0, GRD_READ_ALL},      {1, GRD_READ_ALL}, {1, GRD_READ_ALL},
                            {3, GRD_READ_HEADER2}, {2, GRD_READ_ALL},      {0, GRD_READ_ALL}, {5, GRD_READ_ALL},
                            {4, GRD_READ_ALL},     {1000, GRD_READ_HEADER}};
    for (const auto& [n, rep] : order) {
      GRD_report g{};
      GRD_init(&g);
      if (read_one(h, n, rep, &g) && g.grid && kept.size() < kMaxKept) {
        Kept k;
        k.head = g;
        k.head.grid = nullptr;
        k.values.assign(g.grid, g.grid + static_cast<size_t>(g.domain.nx) * static_cast<size_t>(g.domain.ny));
        kept.push_back(std::move(k));
      }
      std::free(g.grid);
    }
    GRD_rewind(h);
    GRD_report g{};
    GRD_init(&g);
    read_one(h, -1, GRD_READ_ALL, &g);
    std::free(g.grid);
  }
  GRD_close(h);
  if (!kept.empty()) round_trip(kept);
  return 0;
}

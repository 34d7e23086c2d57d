/* Feeds arbitrary text to the grid request parser, as a "model.lup" file to
 * the input settings reader, or as requests to the grid searches over a
 * grid file; the first byte chooses which (odd: one request; 0 modulo 4:
 * "model.lup"; 2 modulo 4: requests, one a line, then a NUL byte and the
 * grid file, searched whole and as tile 0 to 3 of a 2 by 2 mosaic that the
 * second byte picks). */
#include "kez_fuzz.h"
#include "kezgrd.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr size_t max_requests = 4;

void write_text(const std::string& path, const std::string& text) {
  if (FILE* fp = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), fp);
    std::fclose(fp);
  }
}

void free_grids(std::vector<GRD_report>* grids) {
  for (GRD_report& g : *grids) {
    std::free(g.grid);
    std::memset(&g, 0, sizeof g);
    GRD_init(&g);
  }
}

void search(const std::string& dir, const uint8_t* data, size_t size) {
  if (size < 2) return;
  const int tile = data[1] % 4;
  const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data + 2, 0, size - 2));
  if (!nul) return;
  const std::string text(reinterpret_cast<const char*>(data) + 2, static_cast<size_t>(nul - data - 2));
  /* The tile table as "model.lup" gives it for this model, every time. */
  write_text(dir + "/model.lup", "tiled 2x2 tile_a,tile_b,tile_c#211,tile_d\n");
  GRD_in_file();
  std::vector<VAR_data> params;
  int type = KEZ_MISS;
  std::istringstream in(text);
  std::string line;
  while (params.size() < max_requests && std::getline(in, line)) {
    VAR_data req{};
    GRD_parse_params(line.c_str(), &req, &type);
    params.push_back(req);
  }
  if (params.empty()) return;
  const std::string path = kez_fuzz::write_file("grid", nul + 1, size - static_cast<size_t>(nul + 1 - data));
  int ftype = GRD_TYPE_DETECT;
  const int fd = GRD_open(path.c_str(), GRD_ACCESS_READ, &ftype);
  if (fd < 0) return;
  GRD_info info{};
  if (GRD_getinfo(fd, &info) == 0) {
    const int n = -static_cast<int>(params.size());
    std::vector<GRD_report> grids(params.size());
    free_grids(&grids);
    GRD_search(fd, grids.data(), params.data(), type, n);
    free_grids(&grids);
    GRD_rewind(fd);
    GRD_search_piece(fd, tile, grids.data(), params.data(), n);
    free_grids(&grids);
  }
  GRD_close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    MESS_set(0, M_none);
    const std::string d = kez_fuzz::scratch_dir();
    RES_put("file_path", d.c_str());
    RES_put("model", "tiled");
    return d;
  }();
  if (size == 0) return 0;
  if (data[0] % 4 == 2) {
    search(dir, data, size);
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    VAR_data req{};
    int type = KEZ_MISS;
    GRD_parse_params(text.c_str(), &req, &type);
    GRD_report g{};
    GRD_init(&g);
    GRD_test(&g, &req, type);
  } else {
    write_text(dir + "/model.lup", text);
    GRD_in_file();
  }
  return 0;
}

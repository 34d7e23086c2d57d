/*
 * Fuzz target of the station database: the input is a station file. It is
 * read record by record, looked up, and loaded into every kind of station
 * table with the filter of resource "identifier" taken from its first line.
 */
#include "kez.h"
#include "kezcty.h"

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string work_dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/kez-cty-fuzz-XXXXXX";
    const char* made = mkdtemp(tmpl);
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    MESS_set(0, M_none);
    return true;
  }();
  (void)quiet;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string path = work_dir() + "/sao.cty";
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return 0;
  std::fwrite(text.data(), 1, text.size(), fp);
  std::fclose(fp);
  RES_put("file_path", work_dir().c_str());

  std::string first = text.substr(0, text.find('\n'));
  RES_put("identifier", first.c_str());

  int num = 0;
  int fd = CTY_open_file(nullptr, &num);
  if (fd >= 0) {
    CTY_data city;
    while (CTY_read(fd, &city) > 0) {
    }
    CTY_close(fd);
  }
  CTY_data found;
  CTY_get(nullptr, first.c_str(), &found);

  Domain world;
  DOM_init(&world);
  world.proj = 2;
  world.clat = 0;
  world.clon = 0;
  world.nx = 73;
  world.ny = 37;
  world.dx = world.dy = 5.0f;
  CTY_data_size(16);
  for (int kind : {CTY_TABLE_FULL, CTY_TABLE_POS, CTY_TABLE_POS_LOC}) {
    CTY_set_id_type(kind - 1);
    CTY_store(nullptr, kind, &world, KEZ_MISS);
    CTY_locate loc;
    CTY_data rec;
    CTY_search(first.c_str(), kind == CTY_TABLE_FULL ? static_cast<void*>(&rec) : &loc);
    CTY_search_loc(39.9f, -104.9f, &loc);
    CTY_get_data(first.c_str());
    for (void* b = CTY_next_data(0); b; b = CTY_next_data(1)) {
    }
    CTY_clear_data(1);
  }
  CTY_clear_data(0);
  CTY_clear();
  return 0;
}

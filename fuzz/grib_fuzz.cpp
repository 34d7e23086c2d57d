/* The GRIB decoder over arbitrary bytes: the file header read, then a walk
 * from record to record as the grid store's reader drives it (framing
 * search, the edition 1 section readers and unpacking, the edition 2
 * section walk with unpacking, next-record offset, raw copy). Every walk must end. */
#include "kezgrd.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  /* Quiet, and with the edition 2 parameter table where the decoder looks. */
  static bool ready = (MESS_set(0, M_none), RES_put("file_path", KEZ_DATA_DIR), true);
  (void)ready;
  if (size == 0) return 0;
  /* The decoder reads through the grid file table, which opens files. */
  static const std::string path = "/tmp/kez_grib_fuzz_" + std::to_string(getpid()) + ".grb";
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  int type = GRD_TYPE_GRIB;
  const int handle = GRD_open(path.c_str(), GRD_ACCESS_READ, &type);
  if (handle < 0) return 0;
  GRD_file* gf = GRD_get_gfile(handle);
  FILE* f = gf->file;
  GRD_info info{};
  if (GRIB_header(handle) >= 0) {
    GRIB_get_info(handle, &info);
    std::rewind(f);
    long last = -1;
    for (int i = 0; i < 1000; ++i) {
      long start = std::ftell(f);
      if (start <= last) std::abort(); /* the walk went back: it would loop */
      last = start;
      GRD_setpos(handle, start, gf->num);
      if (GRIB_header(handle) < 0) break;
      GRD_report rec{};
      if (GRIB_get_version() != 2) {
        if (GRIB_PDB(handle, &rec, 0) > 0 && GRIB_GDB(handle, &rec) > 0) {
          GRIB_BMB(handle, &rec);
          GRIB_BDB(handle, &rec);
        }
      } else {
        for (int s = 0; s < 64 && GRIB_read_section(handle); ++s) {
          switch (GRIB_get_sect()) {
            case 1: GRIB_IDS(handle, &rec); break;
            case 3: GRIB_GDS(handle, &rec); break;
            case 4: GRIB_PDS(handle, &rec); break;
            case 5: GRIB_DRS(handle, &rec); break;
            case 6: GRIB_BMS(handle); break;
            case 7: GRIB_DS(handle, &rec); break;
            default: GRIB_skip_section(handle); break;
          }
        }
      }
      std::free(rec.grid);
      std::fseek(f, start, SEEK_SET);
      if (GRIB_header(handle) < 0) break;
      char head[GRIB_WMO_LEN];
      GRIB_get_WMO_header(handle, head);
      GRIB_get_type(handle);
      long next = GRIB_next(handle, 1);
      if (next < 0) break;
      long here = std::ftell(f);
      char* buf = nullptr;
      int n = 0;
      if (GRIB_get_raw(handle, &buf, &n) > 0) std::free(buf);
      std::fseek(f, here, SEEK_SET);
    }
  }
  GRD_close(handle);
  return 0;
}

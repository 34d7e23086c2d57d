/* The resource converters: every kind of value text a setting may hold. */
#include "kez_fuzz.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  /* Log-file items of "message" create files: keep them in the scratch folder. */
  static const bool moved = ::chdir(kez_fuzz::scratch_dir().c_str()) == 0;
  (void)moved;
  if (size < 1) return 0;
  const auto cvt = static_cast<DEF_convert>(data[0] % (CV_help + 1));
  std::string value = kez_fuzz::text(data + 1, size - 1);
  /* Log files only by plain names in the scratch folder (no "/", "\\" or
   * "~" that could reach other folders), and no "|command" log that would
   * run whatever the fuzzer wrote. */
  if (cvt == CV_mess && value.find_first_of("/\\~|") != std::string::npos) return 0;
  alignas(16) char out[RES_STRCPY_LEN + 64] = {};
  Domain domain{};
  void* target = (cvt == CV_domain || cvt == CV_region) ? static_cast<void*>(&domain) : out;
  RES_conv_data(value.data(), target, cvt);
  if (cvt == CV_path) std::free(*reinterpret_cast<char**>(out));
  MESS_set_str("none");
  MESS_set_out(1);
  return 0;
}

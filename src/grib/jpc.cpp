/*
 * JPEG 2000 decoding for GRIB edition 2, over OpenJPEG: the code stream is
 * read from memory, its header checked against the caller's bound before any
 * tile is decoded (a damaged header claiming a huge image must not make the
 * codec allocate it), only component 0 is decoded, and the codec's own
 * messages are silenced; the caller reports failures in its own words.
 */
#include "jpc.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr int MAX_PRECISION = 31;

struct MemSource {
  const unsigned char* data;
  size_t len;
  size_t pos;
};

OPJ_SIZE_T mem_read(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemSource*>(user);
  if (m->pos >= m->len) return static_cast<OPJ_SIZE_T>(-1);
  size_t k = std::min<size_t>(n, m->len - m->pos);
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return k;
}

OPJ_OFF_T mem_skip(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemSource*>(user);
  if (n < 0) {
    size_t back = std::min<size_t>(static_cast<size_t>(-n), m->pos);
    m->pos -= back;
    return -static_cast<OPJ_OFF_T>(back);
  }
  size_t k = std::min<size_t>(static_cast<size_t>(n), m->len - m->pos);
  m->pos += k;
  return static_cast<OPJ_OFF_T>(k);
}

OPJ_BOOL mem_seek(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemSource*>(user);
  if (n < 0 || static_cast<size_t>(n) > m->len) return OPJ_FALSE;
  m->pos = static_cast<size_t>(n);
  return OPJ_TRUE;
}

void quiet(const char*, void*) {}

struct CodecFree {
  void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamFree {
  void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageFree {
  void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

} // namespace

bool JPC_decode(const unsigned char* data, size_t len, long long max_samples, JpcImage* image) {
  if (!image) return false;
  *image = JpcImage{};
  if (!data || len < 2) return false;
  static constexpr unsigned char jp2_sig[] = {0, 0, 0, 0x0C, 'j', 'P'};
  const bool jp2 = len >= sizeof jp2_sig && std::memcmp(data, jp2_sig, sizeof jp2_sig) == 0;
  std::unique_ptr<opj_codec_t, CodecFree> codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec) return false;
  opj_set_info_handler(codec.get(), quiet, nullptr);
  opj_set_warning_handler(codec.get(), quiet, nullptr);
  opj_set_error_handler(codec.get(), quiet, nullptr);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(codec.get(), &params)) return false;

  MemSource src{data, len, 0};
  std::unique_ptr<opj_stream_t, StreamFree> stream(opj_stream_create(1 << 16, OPJ_TRUE));
  if (!stream) return false;
  opj_stream_set_user_data(stream.get(), &src, nullptr);
  opj_stream_set_user_data_length(stream.get(), len);
  opj_stream_set_read_function(stream.get(), mem_read);
  opj_stream_set_skip_function(stream.get(), mem_skip);
  opj_stream_set_seek_function(stream.get(), mem_seek);

  opj_image_t* raw = nullptr;
  if (!opj_read_header(stream.get(), codec.get(), &raw)) {
    if (raw) opj_image_destroy(raw);
    return false;
  }
  std::unique_ptr<opj_image_t, ImageFree> img(raw);
  if (img->numcomps < 1 || !img->comps) return false;
  const long long w = static_cast<long long>(img->x1) - img->x0;
  const long long h = static_cast<long long>(img->y1) - img->y0;
  if (w < 1 || h < 1 || w * h > max_samples) return false;
  const opj_image_comp_t& c0 = img->comps[0];
  if (c0.prec < 1 || c0.prec > MAX_PRECISION || c0.dx != 1 || c0.dy != 1) return false;
  /* The other components would only cost memory. */
  const OPJ_UINT32 first = 0;
  if (img->numcomps > 1 && !opj_set_decoded_components(codec.get(), 1, &first, OPJ_FALSE)) return false;
  if (!opj_decode(codec.get(), stream.get(), img.get())) return false;
  if (!opj_end_decompress(codec.get(), stream.get())) return false;
  const opj_image_comp_t& d0 = img->comps[0];
  if (!d0.data || static_cast<long long>(d0.w) * d0.h != w * h) return false;
  image->x0 = img->x0;
  image->y0 = img->y0;
  image->width = static_cast<long>(w);
  image->height = static_cast<long>(h);
  image->samples.assign(d0.data, d0.data + w * h);
  return true;
}

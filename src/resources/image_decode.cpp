#include "resources/image_decode.h"

// clang-format off: jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>
// clang-format on
#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <memory>
#include <vector>

namespace lumessa {

// Both libraries report fatal errors by jumping back to a setjmp. Every function below that calls
// setjmp holds no object with a destructor and reads nothing after the jump but its return value;
// whatever must be freed lives in the caller, which is never jumped over.

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

std::string SizeText(uint64_t width, uint64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// The sides and pixel count every decoder accepts.
bool CheckImageSize(uint64_t width, uint64_t height, std::string& error) {
  if (width == 0 || height == 0 || width > uint64_t(kMaxImageSide) ||
      height > uint64_t(kMaxImageSide) || width * height > uint64_t(kMaxImagePixels)) {
    error = "the image size " + SizeText(width, height) + " is beyond the limits (" +
            std::to_string(kMaxImageSide) + " a side, " + std::to_string(kMaxImagePixels) +
            " pixels)";
    return false;
  }
  return true;
}

// Bytes of the stream not read yet.
uint64_t BytesLeft(const TStream& stream) {
  uint64_t size = stream.Size(), position = stream.Position();
  return size > position ? size - position : 0;
}

// ---------------------------------------------------------------------------------------------
// PNG

// Deflate expands data at most about 1032 times, so image data that would need more than that
// from the bytes left in the file cannot be there: such a file is refused before its pixels are
// allocated, instead of after a useless allocation of up to a quarter of a gigabyte.
constexpr uint64_t kMaxDeflateRatio = 1032;

struct TPngContext {
  TStream* stream = nullptr;
  char message[160] = "unknown error";
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto* context = static_cast<TPngContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof context->message, "%s", message ? message : "error");
  png_longjmp(png, 1);
}

// Warnings concern ancillary data we do not use (colour profiles, text chunks).
void OnPngWarning(png_structp, png_const_charp) {}

void ReadPngBytes(png_structp png, png_bytep data, size_t length) {
  auto* context = static_cast<TPngContext*>(png_get_io_ptr(png));
  while (length > 0) {
    size_t n = context->stream->Read(data, length);
    if (n == 0) png_error(png, "the file ends early");
    data += n;
    length -= n;
  }
}

struct TPngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
};

bool ReadPngHeader(png_structp png, png_infop info, TPngHeader* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth, &header->colorType,
               nullptr, nullptr, nullptr);
  return true;
}

// Sets the transforms that deliver rows in the layout the caller stores (4 bytes a pixel in
// 0xAARRGGBB memory order for colour, 1 byte for a mask) and answers libpng's row size then;
// 0 on error.
size_t PreparePngRows(png_structp png, png_infop info, bool mask, int bitDepth, bool alpha) {
  if (setjmp(png_jmpbuf(png))) return 0;
  if (bitDepth == 16) png_set_scale_16(png);
  if (mask) {
    if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  } else if (kLittleEndian) {
    png_set_bgr(png);
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  } else {
    if (alpha) png_set_swap_alpha(png);
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return png_get_rowbytes(png, info);
}

bool ReadPngRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  // Reading on to the end chunk makes a file cut short after its image data fail as well.
  png_read_end(png, nullptr);
  return true;
}

// libpng's structures for one decode, freed however the decode ends.
struct TPngReader {
  TPngContext context;
  png_structp png = nullptr;
  png_infop info = nullptr;
  TPngHeader header;

  ~TPngReader() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

const char* PngColorTypeName(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
      return "greyscale";
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return "greyscale with alpha";
    case PNG_COLOR_TYPE_PALETTE:
      return "palette";
    case PNG_COLOR_TYPE_RGB:
      return "RGB";
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return "RGBA";
    default:
      return "unknown";
  }
}

// Reads the header and checks the size against the limits and against the data left.
bool OpenPng(TPngReader& r, TStream& stream, std::string& error) {
  r.context.stream = &stream;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.context, OnPngError, OnPngWarning);
  if (r.png) r.info = png_create_info_struct(r.png);
  if (!r.png || !r.info) {
    error = "out of memory";
    return false;
  }
  png_set_read_fn(r.png, &r.context, ReadPngBytes);
  png_set_user_limits(r.png, kMaxImageSide, kMaxImageSide);
  if (!ReadPngHeader(r.png, r.info, &r.header)) {
    error = std::string("not a readable PNG: ") + r.context.message;
    return false;
  }
  const TPngHeader& h = r.header;
  if (!CheckImageSize(h.width, h.height, error)) return false;
  int channels = h.colorType == PNG_COLOR_TYPE_RGB          ? 3
                 : h.colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                 : h.colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                            : 1;
  uint64_t rowBytes = (uint64_t(h.width) * uint64_t(channels) * uint64_t(h.bitDepth) + 7) / 8;
  if (rowBytes * h.height > BytesLeft(stream) * kMaxDeflateRatio) {
    error = "the file is too short to hold " + SizeText(h.width, h.height) + " pixels";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// JPEG

// A progressive file may hold any number of scans, each a pass over the whole image; real ones
// have about ten, so more than this is an attack on the decoding time.
constexpr int kMaxJpegScans = 500;
// libjpeg's own working memory (the whole-image coefficient buffers of progressive files).
constexpr long kMaxJpegWorkMemory = 256L << 20;

struct TJpegErrorManager {
  jpeg_error_mgr pub;  // first: libjpeg hands back a pointer to it
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// libjpeg only warns about damaged data and fills the gaps with grey; a damaged or truncated
// file must not come out as a picture, so those warnings end the decode. The harmless ones (an
// unknown JFIF revision or Adobe transform code, a bad colour profile) are let through.
void OnJpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  switch (cinfo->err->msg_code) {
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
      ++cinfo->err->num_warnings;
      return;
    default:
      (*cinfo->err->error_exit)(cinfo);
  }
}

void OnJpegProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxJpegScans) return;
  auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  std::snprintf(err->message, sizeof err->message, "more than %d progressive scans", kMaxJpegScans);
  std::longjmp(err->jump, 1);
}

// A source over a TStream. The end of the data is an error, not the fake end marker libjpeg's
// own sources insert.
struct TJpegSource {
  jpeg_source_mgr pub;  // first, as above
  TStream* stream = nullptr;
  JOCTET buffer[16384];
};

void InitJpegSource(j_decompress_ptr) {}
void TermJpegSource(j_decompress_ptr) {}

boolean FillJpegInput(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<TJpegSource*>(cinfo->src);
  size_t n = src->stream->Read(src->buffer, sizeof src->buffer);
  if (n == 0) ERREXIT(cinfo, JERR_INPUT_EOF);
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  return TRUE;
}

void SkipJpegInput(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  while (count > 0) {
    if (src->bytes_in_buffer == 0) FillJpegInput(cinfo);
    size_t step = std::min(size_t(count), src->bytes_in_buffer);
    src->next_input_byte += step;
    src->bytes_in_buffer -= step;
    count -= long(step);
  }
}

// The decompressor with its managers, freed however the decode ends.
struct TJpegReader {
  jpeg_decompress_struct cinfo{};
  TJpegErrorManager err{};
  TJpegSource source{};
  jpeg_progress_mgr progress{};

  // Safe on a structure that jpeg_create_decompress never finished: it frees only what exists.
  ~TJpegReader() { jpeg_destroy_decompress(&cinfo); }
};

bool CreateJpeg(TJpegReader* r) {
  if (setjmp(r->err.jump)) return false;
  jpeg_create_decompress(&r->cinfo);
  return true;
}

bool ReadJpegHeader(TJpegReader* r) {
  if (setjmp(r->err.jump)) return false;
  jpeg_read_header(&r->cinfo, TRUE);
  return true;
}

bool StartJpeg(TJpegReader* r) {
  if (setjmp(r->err.jump)) return false;
  jpeg_start_decompress(&r->cinfo);
  return true;
}

bool ReadJpegRows(TJpegReader* r, JSAMPLE* pixels, size_t stride) {
  if (setjmp(r->err.jump)) return false;
  while (r->cinfo.output_scanline < r->cinfo.output_height) {
    JSAMPROW row = pixels + size_t(r->cinfo.output_scanline) * stride;
    if (jpeg_read_scanlines(&r->cinfo, &row, 1) != 1) {
      std::snprintf(r->err.message, sizeof r->err.message, "the decoder delivered no row");
      return false;
    }
  }
  // Reading on to the end marker makes a file cut short after its last row fail as well.
  jpeg_finish_decompress(&r->cinfo);
  return true;
}

// A single sequential Huffman scan spends at least two bits on every 8x8 block (its shortest DC
// and end-of-block codes), so a file with fewer bytes left than that cannot fill the image.
// Other kinds of file read all their data before the pixels are allocated, so they need no such
// test.
bool JpegDataCanFill(const TJpegReader& r, const TStream& stream) {
  const jpeg_decompress_struct& c = r.cinfo;
  if (c.progressive_mode || c.arith_code || c.comps_in_scan != c.num_components) return true;
  uint64_t blocks = (uint64_t(c.image_width) + 7) / 8 * ((uint64_t(c.image_height) + 7) / 8);
  uint64_t bytes = uint64_t(r.source.pub.bytes_in_buffer) + BytesLeft(stream);
  return bytes * 4 >= blocks;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

Ref<TSurface> DecodePng(TStream& stream, std::string& error) {
  TPngReader r;
  if (!OpenPng(r, stream, error)) return {};
  const TPngHeader& h = r.header;
  if (h.colorType != PNG_COLOR_TYPE_RGB && h.colorType != PNG_COLOR_TYPE_RGB_ALPHA) {
    error = std::string("the PNG's colour type is ") + PngColorTypeName(h.colorType) +
            " (only true-colour RGB or RGBA images are taken)";
    return {};
  }
  bool alpha = h.colorType == PNG_COLOR_TYPE_RGB_ALPHA;
  size_t rowBytes = PreparePngRows(r.png, r.info, false, h.bitDepth, alpha);
  if (rowBytes != size_t(h.width) * 4) {
    error = rowBytes == 0 ? std::string("not a readable PNG: ") + r.context.message
                          : std::string("unexpected PNG row layout");
    return {};
  }
  Ref<TSurface> surface = MakeSurface(int(h.width), int(h.height), alpha);
  std::vector<png_bytep> rows(h.height);
  for (png_uint_32 y = 0; y < h.height; ++y)
    rows[y] = reinterpret_cast<png_bytep>(surface->GetRow(int(y)));
  if (!ReadPngRows(r.png, rows.data())) {
    error = std::string("corrupt PNG data: ") + r.context.message;
    return {};
  }
  return surface;
}

bool ApplyPngAlphaMask(TStream& stream, TSurface& surface, std::string& error) {
  TPngReader r;
  if (!OpenPng(r, stream, error)) return false;
  const TPngHeader& h = r.header;
  if (h.colorType != PNG_COLOR_TYPE_GRAY) {
    error = std::string("the alpha mask's colour type is ") + PngColorTypeName(h.colorType) +
            ", not greyscale";
    return false;
  }
  if (int64_t(h.width) != surface.GetWidth() || int64_t(h.height) != surface.GetHeight()) {
    error = "the alpha mask is " + SizeText(h.width, h.height) + ", the colour image " +
            SizeText(uint64_t(surface.GetWidth()), uint64_t(surface.GetHeight()));
    return false;
  }
  size_t rowBytes = PreparePngRows(r.png, r.info, true, h.bitDepth, false);
  if (rowBytes != size_t(h.width)) {
    error = rowBytes == 0 ? std::string("not a readable PNG: ") + r.context.message
                          : std::string("unexpected PNG row layout");
    return false;
  }
  std::vector<uint8_t> mask(size_t(h.width) * h.height);
  std::vector<png_bytep> rows(h.height);
  for (png_uint_32 y = 0; y < h.height; ++y) rows[y] = mask.data() + size_t(y) * h.width;
  if (!ReadPngRows(r.png, rows.data())) {
    error = std::string("corrupt PNG data in the alpha mask: ") + r.context.message;
    return false;
  }
  const uint8_t* value = mask.data();
  for (png_uint_32 y = 0; y < h.height; ++y) {
    uint32_t* row = surface.GetRow(int(y));
    for (png_uint_32 x = 0; x < h.width; ++x)
      row[x] = (row[x] & 0x00FFFFFFu) | (uint32_t(*value++) << 24);
  }
  surface.SetHasAlpha(true);
  return true;
}

Ref<TSurface> DecodeJpeg(TStream& stream, std::string& error) {
  auto r = std::make_unique<TJpegReader>();
  r->cinfo.err = jpeg_std_error(&r->err.pub);
  r->err.pub.error_exit = OnJpegError;
  r->err.pub.emit_message = OnJpegMessage;
  if (!CreateJpeg(r.get())) {
    error = std::string("JPEG decoder: ") + r->err.message;
    return {};
  }
  r->source.stream = &stream;
  r->source.pub.init_source = InitJpegSource;
  r->source.pub.fill_input_buffer = FillJpegInput;
  r->source.pub.skip_input_data = SkipJpegInput;
  r->source.pub.resync_to_restart = jpeg_resync_to_restart;
  r->source.pub.term_source = TermJpegSource;
  r->cinfo.src = &r->source.pub;
  r->progress.progress_monitor = OnJpegProgress;
  r->cinfo.progress = &r->progress;
  r->cinfo.mem->max_memory_to_use = kMaxJpegWorkMemory;

  if (!ReadJpegHeader(r.get())) {
    error = std::string("not a readable JPEG: ") + r->err.message;
    return {};
  }
  jpeg_decompress_struct& c = r->cinfo;
  if (!CheckImageSize(c.image_width, c.image_height, error)) return {};
  if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK) {
    error = "a CMYK JPEG (only greyscale and colour images are taken)";
    return {};
  }
  if (!JpegDataCanFill(*r, stream)) {
    error = "the file is too short to hold " + SizeText(c.image_width, c.image_height) + " pixels";
    return {};
  }
  c.out_color_space = kLittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB;
  if (!StartJpeg(r.get())) {
    error = std::string("corrupt JPEG data: ") + r->err.message;
    return {};
  }
  if (c.output_width != c.image_width || c.output_height != c.image_height ||
      c.output_components != 4) {
    error = "unexpected JPEG output layout";
    return {};
  }
  Ref<TSurface> surface = MakeSurface(int(c.output_width), int(c.output_height), false);
  auto* pixels = reinterpret_cast<JSAMPLE*>(surface->GetRow(0));
  if (!ReadJpegRows(r.get(), pixels, size_t(c.output_width) * 4)) {
    error = std::string("corrupt JPEG data: ") + r->err.message;
    return {};
  }
  return surface;
}

}  // namespace lumessa

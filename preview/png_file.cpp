#include "preview/png_file.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace {

const png_color kPalette[] = {{255, 255, 255}, {0, 0, 0}, {230, 0, 0}};

void AppendToString(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

void NoFlush(png_structp) {}

void ErrorToException(png_structp png, png_const_charp message) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(png));
  if (error) *error = message;
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

bool EncodePng(const LabelPicture& picture, std::string* out, std::string* error) {
  out->clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, ErrorToException, IgnoreWarning);
  if (!png) {
    *error = "libpng could not start";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, AppendToString, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width()), static_cast<png_uint_32>(picture.Height()), 2,
               PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, kPalette, 3);
  const png_uint_32 perMetre = static_cast<png_uint_32>(picture.Dpi() / 0.0254 + 0.5);
  png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  png_set_filter(png, 0, PNG_FILTER_NONE);
  // Small zlib state: rows repeat within a few rows, and a state under the allocator's
  // mmap threshold keeps encoding free of page faults.
  png_set_compression_window_bits(png, 12);
  png_set_compression_mem_level(png, 4);
  png_write_info(png, info);
  png_set_packing(png);  // one palette index per byte in, 2 bits per pixel out
  const std::vector<std::uint8_t>& pixels = picture.Pixels();
  for (int y = 0; y < picture.Height(); ++y) {
    png_write_row(png, const_cast<png_bytep>(&pixels[static_cast<std::size_t>(y) * picture.Width()]));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WritePngFile(const LabelPicture& picture, const std::string& path, std::string* error) {
  std::string png;
  if (!EncodePng(picture, &png, error)) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = "cannot create " + path;
    return false;
  }
  const bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  if (std::fclose(file) != 0 || !ok) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool ReadPngFile(const std::string& path, PngImage* image, std::string* error) {
  png_image reader{};
  reader.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&reader, path.c_str())) {
    *error = path + ": " + reader.message;
    return false;
  }
  // Read as RGB, then map back: white paper, black dots, the red clipping mark.
  reader.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(reader));
  if (!png_image_finish_read(&reader, nullptr, rgb.data(), 0, nullptr)) {
    *error = path + ": " + reader.message;
    png_image_free(&reader);
    return false;
  }
  image->width = static_cast<int>(reader.width);
  image->height = static_cast<int>(reader.height);
  image->pixels.resize(static_cast<std::size_t>(image->width) * image->height);
  for (std::size_t i = 0; i < image->pixels.size(); ++i) {
    const std::uint8_t r = rgb[3 * i], g = rgb[3 * i + 1];
    image->pixels[i] = r > 128 && g > 128 ? kPaper : r > 128 ? kClipMark : kDot;
  }
  return true;
}

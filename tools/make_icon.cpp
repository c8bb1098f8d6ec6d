// Draws the program icon, a small red alarm clock, and writes it as .ico files with
// one image at 32 bits per pixel each (tolvane.ico at 16x16, and tolvane-20.ico,
// tolvane-24.ico, tolvane-32.ico, tolvane-48.ico for the sizes Windows asks for on
// scaled displays), or as a PNG image of any size for the Linux desktop's icon theme.
//
//   g++ -std=c++20 -O2 -o make_icon tools/make_icon.cpp && ./make_icon src/resources
//   for n in 16 24 32 48 64 128 256; do ./make_icon --png $n src/resources/icons/tolvane-$n.png; done
// (the PNG files kept in the tree were then recompressed: convert f -strip PNG32:f)
//
// Shapes are described in pixel coordinates and rendered with 8x8 supersampling,
// so edges get partial alpha and stay smooth at the tiny size.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kSize = 16;
constexpr int kSamples = 8;

struct Rgb {
  double r, g, b;
};

struct Layer {
  std::function<bool(double, double)> inside;
  Rgb colour;
};

double Distance(double ax, double ay, double bx, double by) { return std::hypot(ax - bx, ay - by); }

// Distance from point p to the segment a-b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return Distance(px, py, ax + t * dx, ay + t * dy);
}

std::vector<Layer> Clock() {
  const Rgb red{0.80, 0.10, 0.08};
  const Rgb darkRed{0.55, 0.05, 0.04};
  const Rgb face{1.00, 0.98, 0.92};
  const Rgb ink{0.12, 0.12, 0.14};
  const double cx = 8.0, cy = 9.0;
  std::vector<Layer> layers;
  // Legs, then bells behind the body, then the body ring, face and hands on top.
  // The hands are two pixels wide and lie on pixel edges so they stay crisp.
  layers.push_back({[](double x, double y) { return SegmentDistance(x, y, 4.6, 13.0, 2.8, 15.2) < 0.75; }, ink});
  layers.push_back({[](double x, double y) { return SegmentDistance(x, y, 11.4, 13.0, 13.2, 15.2) < 0.75; }, ink});
  layers.push_back({[](double x, double y) { return Distance(x, y, 3.3, 3.4) < 2.5; }, darkRed});
  layers.push_back({[](double x, double y) { return Distance(x, y, 12.7, 3.4) < 2.5; }, darkRed});
  layers.push_back({[](double x, double y) { return SegmentDistance(x, y, 6.5, 2.0, 9.5, 2.0) < 0.6; }, ink});
  layers.push_back({[=](double x, double y) { return Distance(x, y, cx, cy) < 6.6; }, red});
  layers.push_back({[=](double x, double y) { return Distance(x, y, cx, cy) < 4.9; }, face});
  layers.push_back({[=](double x, double y) { return SegmentDistance(x, y, cx, cy, cx, cy - 3.4) < 1.0; }, ink});
  layers.push_back({[=](double x, double y) { return SegmentDistance(x, y, cx, cy, cx + 2.8, cy) < 1.0; }, ink});
  return layers;
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

// Straight (not premultiplied) BGRA, top row first. The shapes are drawn in a
// 16-unit square scaled to the image.
using Pixels = std::vector<std::vector<std::array<std::uint8_t, 4>>>;

Pixels Render(int size) {
  const auto layers = Clock();
  const double unit = static_cast<double>(kSize) / size;
  Pixels pixels(size, std::vector<std::array<std::uint8_t, 4>>(size, std::array<std::uint8_t, 4>{}));
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      double r = 0, g = 0, b = 0, covered = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) * unit;
          const double y = (py + (sy + 0.5) / kSamples) * unit;
          const Layer* top = nullptr;
          for (const auto& layer : layers)
            if (layer.inside(x, y)) top = &layer;
          if (!top) continue;
          r += top->colour.r;
          g += top->colour.g;
          b += top->colour.b;
          covered += 1;
        }
      }
      auto& p = pixels[py][px];
      if (covered > 0) {
        p = {ToByte(b / covered), ToByte(g / covered), ToByte(r / covered),
             ToByte(covered / (kSamples * kSamples))};
      }
    }
  }
  return pixels;
}

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutPngChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& body) {
  PutBe32(out, static_cast<std::uint32_t>(body.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

// RGBA, 8 bits per channel; the image data in stored (uncompressed) deflate
// blocks, which every reader takes and which keeps this tool free of a library.
std::vector<std::uint8_t> Png(const Pixels& pixels) {
  const auto size = static_cast<std::uint32_t>(pixels.size());
  std::vector<std::uint8_t> raw;
  for (const auto& row : pixels) {
    raw.push_back(0);  // no filter
    for (const auto& p : row) raw.insert(raw.end(), {p[2], p[1], p[0], p[3]});
  }
  std::vector<std::uint8_t> zlib = {0x78, 0x01};
  for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    zlib.push_back(at + n == raw.size() ? 1 : 0);
    Put16(zlib, static_cast<unsigned>(n));
    Put16(zlib, static_cast<unsigned>(~n & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  std::uint32_t a = 1, b = 0;
  for (const auto byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(zlib, b << 16 | a);

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutBe32(header, size);
  PutBe32(header, size);
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, deflate, no filter set, no interlace
  PutPngChunk(out, "IHDR", header);
  PutPngChunk(out, "IDAT", zlib);
  PutPngChunk(out, "IEND", {});
  return out;
}

// One image at 32 bits per pixel with its AND mask, for sizes up to 255.
std::vector<std::uint8_t> Ico(const Pixels& pixels) {
  const auto size = static_cast<std::uint32_t>(pixels.size());
  const std::uint32_t kColourBytes = size * size * 4;
  const std::uint32_t kMaskRowBytes = (size + 31) / 32 * 4;  // one bit a pixel, padded to 32 bits
  const std::uint32_t kMaskBytes = kMaskRowBytes * size;
  const std::uint32_t kImageBytes = 40 + kColourBytes + kMaskBytes;

  std::vector<std::uint8_t> out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // icon
  Put16(out, 1);  // one image
  out.push_back(static_cast<std::uint8_t>(size));  // width
  out.push_back(static_cast<std::uint8_t>(size));  // height
  out.push_back(0);      // colour count: none below 8 bpp
  out.push_back(0);      // reserved
  Put16(out, 1);         // planes
  Put16(out, 32);        // bits per pixel
  Put32(out, kImageBytes);
  Put32(out, 6 + 16);  // image follows the directory

  Put32(out, 40);        // BITMAPINFOHEADER size
  Put32(out, size);      // width
  Put32(out, size * 2);  // height covers colour and mask
  Put16(out, 1);         // planes
  Put16(out, 32);        // bits per pixel
  Put32(out, 0);         // BI_RGB
  Put32(out, kColourBytes + kMaskBytes);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);

  for (int row = static_cast<int>(size) - 1; row >= 0; --row)
    for (const auto& p : pixels[row]) out.insert(out.end(), p.begin(), p.end());
  // AND mask: set where fully transparent, for systems that ignore the alpha.
  for (int row = static_cast<int>(size) - 1; row >= 0; --row) {
    std::vector<std::uint8_t> bits(kMaskRowBytes, 0);
    for (std::uint32_t x = 0; x < size; ++x)
      if (pixels[row][x][3] == 0) bits[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    out.insert(out.end(), bits.begin(), bits.end());
  }
  return out;
}

int Write(const char* path, const std::vector<std::uint8_t>& out) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", path);
    return 1;
  }
  std::printf("%s: %zu bytes\n", path, out.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "--png") {
    const int size = std::atoi(argv[2]);
    if (size < 1 || size > 1024) {
      std::fprintf(stderr, "size out of range: %s\n", argv[2]);
      return 1;
    }
    return Write(argv[3], Png(Render(size)));
  }
  const std::string folder = argc > 1 ? argv[1] : ".";
  int status = Write((folder + "/tolvane.ico").c_str(), Ico(Render(kSize)));
  for (int size : {20, 24, 32, 48}) {
    status |= Write((folder + "/tolvane-" + std::to_string(size) + ".ico").c_str(), Ico(Render(size)));
  }
  return status;
}

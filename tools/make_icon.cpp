// Draws the program icon, a small red alarm clock, and writes it as .ico files with
// one image at 32 bits per pixel each: tolvane.ico at 16x16, and tolvane-20.ico,
// tolvane-24.ico, tolvane-32.ico, tolvane-48.ico for the sizes the system asks for
// on scaled displays.
//
//   g++ -std=c++20 -O2 -o make_icon tools/make_icon.cpp && ./make_icon src/resources
//
// Shapes are described in the coordinates of the 16x16 image and rendered with 8x8
// supersampling at each size, so edges get partial alpha and stay smooth.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kBaseSize = 16;
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

int WriteIcon(const std::string& path, const int kSize) {
  const auto layers = Clock();
  const double unit = static_cast<double>(kBaseSize) / kSize;  // image pixels to drawing units

  // Straight (not premultiplied) BGRA, top row first; flipped when written.
  std::vector<std::vector<std::array<std::uint8_t, 4>>> pixels(kSize, std::vector<std::array<std::uint8_t, 4>>(kSize));
  for (int py = 0; py < kSize; ++py) {
    for (int px = 0; px < kSize; ++px) {
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

  const std::uint32_t kColourBytes = kSize * kSize * 4;
  const std::uint32_t kMaskRowBytes = (kSize + 31) / 32 * 4;  // one bit a pixel, padded to 32 bits
  const std::uint32_t kMaskBytes = kMaskRowBytes * kSize;
  const std::uint32_t kImageBytes = 40 + kColourBytes + kMaskBytes;

  std::vector<std::uint8_t> out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // icon
  Put16(out, 1);  // one image
  out.push_back(static_cast<std::uint8_t>(kSize));  // width
  out.push_back(static_cast<std::uint8_t>(kSize));  // height
  out.push_back(0);      // colour count: none below 8 bpp
  out.push_back(0);      // reserved
  Put16(out, 1);         // planes
  Put16(out, 32);        // bits per pixel
  Put32(out, kImageBytes);
  Put32(out, 6 + 16);  // image follows the directory

  Put32(out, 40);         // BITMAPINFOHEADER size
  Put32(out, kSize);      // width
  Put32(out, kSize * 2);  // height covers colour and mask
  Put16(out, 1);          // planes
  Put16(out, 32);         // bits per pixel
  Put32(out, 0);          // BI_RGB
  Put32(out, kColourBytes + kMaskBytes);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);

  for (int row = kSize - 1; row >= 0; --row)
    for (const auto& p : pixels[row]) out.insert(out.end(), p.begin(), p.end());
  // AND mask: set where fully transparent, for systems that ignore the alpha.
  for (int row = kSize - 1; row >= 0; --row) {
    std::vector<std::uint8_t> bits(kMaskRowBytes, 0);
    for (int x = 0; x < kSize; ++x)
      if (pixels[row][x][3] == 0) bits[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    out.insert(out.end(), bits.begin(), bits.end());
  }

  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%s: %zu bytes\n", path.c_str(), out.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  int status = WriteIcon(folder + "/tolvane.ico", kBaseSize);
  for (int size : {20, 24, 32, 48}) status |= WriteIcon(folder + "/tolvane-" + std::to_string(size) + ".ico", size);
  return status;
}

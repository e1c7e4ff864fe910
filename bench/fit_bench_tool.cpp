// Helpers of bench/fit_size.sh:
//   fit-bench-tool scene WIDTH HEIGHT SEED > scene.ppm
//       a natural-looking picture (a landscape seen from above: fractal relief, water, shading)
//       as a binary PPM, to pan over for a test clip
//   fit-bench-tool psnr VIDEO GIF [FIRST LAST] [LEFT,TOP,RIGHT,BOTTOM]
//       the viewer PSNR of a GIF against the video it was made from: at the middle of each
//       source frame's time (frames FIRST..LAST, default all), the GIF frame showing then,
//       scaled bilinearly to the source size (or the region's), against the source frame.
//       Prints "psnr=36.12 frames=250 gif_frames=250". The GIF is read with giflib frame by
//       frame, so memory stays at a few pictures.
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/viewer_error.h"
#include "video/frame_source.h"
#include "video/video_probe.h"

using namespace clipvane;

namespace {

// Value noise: a lattice of pseudo-random values, smoothly interpolated, summed over octaves.
double Lattice(int x, int y, std::uint32_t seed) {
  std::uint32_t h =
      static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return static_cast<double>((h ^ (h >> 16)) & 0xFFFFFF) / 16777215.0;
}

double Smooth(double t) { return t * t * (3 - 2 * t); }

double Noise(double x, double y, std::uint32_t seed) {
  const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
  const double fx = Smooth(x - ix), fy = Smooth(y - iy);
  const double a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
  const double c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
  return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

double Fractal(double x, double y, std::uint32_t seed, int octaves) {
  double sum = 0, amplitude = 1, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * Noise(x, y, seed + static_cast<std::uint32_t>(o) * 101u);
    total += amplitude;
    amplitude *= 0.55;
    x *= 2.03;
    y *= 2.03;
  }
  return sum / total;
}

int Scene(int width, int height, std::uint32_t seed) {
  std::vector<double> relief(static_cast<std::size_t>(width) * height);
  const double scale = 1.0 / 140;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      relief[static_cast<std::size_t>(y) * width + x] = Fractal(x * scale, y * scale, seed, 8);
  std::printf("P6\n%d %d\n255\n", width, height);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
  const auto clamp = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double h = relief[static_cast<std::size_t>(y) * width + x];
      const double east = relief[static_cast<std::size_t>(y) * width + std::min(x + 1, width - 1)];
      const double south = relief[static_cast<std::size_t>(std::min(y + 1, height - 1)) * width + x];
      const double shade = std::clamp(0.75 + (h - east) * 40 + (h - south) * 25, 0.35, 1.25);
      const double moisture = Fractal(x * scale * 0.7 + 31.7, y * scale * 0.7 - 12.3, seed + 7, 5);
      double r, g, b;
      if (h < 0.45) {  // water: deeper is darker
        const double depth = (0.45 - h) / 0.45;
        r = 20 + 40 * (1 - depth);
        g = 60 + 90 * (1 - depth);
        b = 110 + 100 * (1 - depth);
      } else if (h < 0.47) {  // beach
        r = 205, g = 190, b = 140;
      } else {  // land: green where moist, brown where dry, grey rock up high
        const double rock = std::clamp((h - 0.62) * 8, 0.0, 1.0);
        r = (1 - rock) * (120 - 70 * moisture) + rock * 150;
        g = (1 - rock) * (110 + 60 * moisture) + rock * 145;
        b = (1 - rock) * (50 + 20 * moisture) + rock * 140;
        r *= shade, g *= shade, b *= shade;
      }
      const double grain = (Lattice(x, y, seed + 99) - 0.5) * 10;
      row[3 * static_cast<std::size_t>(x)] = clamp(r + grain);
      row[3 * static_cast<std::size_t>(x) + 1] = clamp(g + grain);
      row[3 * static_cast<std::size_t>(x) + 2] = clamp(b + grain);
    }
    std::fwrite(row.data(), 1, row.size(), stdout);
  }
  return 0;
}

// The GIF, one frame at a time, drawn onto a screen as a viewer shows it.
class TGifFrames {
 public:
  explicit TGifFrames(const std::string& path) {
    int error = 0;
    file_ = DGifOpenFileName(path.c_str(), &error);
    if (file_ == nullptr) throw std::runtime_error(path + ": giflib cannot open it (" + std::to_string(error) + ")");
    screen_ = TBitmap(file_->SWidth, file_->SHeight, TPixelFormat::pf24bit);
  }
  ~TGifFrames() {
    if (file_ != nullptr) DGifCloseFile(file_, nullptr);
  }
  // Draws the next frame; false at the end. Delay in hundredths.
  bool Next(int& delay) {
    int transparent = -1, disposal = 0;
    delay = 0;
    for (;;) {
      GifRecordType type;
      if (DGifGetRecordType(file_, &type) != GIF_OK) return false;
      if (type == TERMINATE_RECORD_TYPE) return false;
      if (type == EXTENSION_RECORD_TYPE) {
        int code = 0;
        GifByteType* data = nullptr;
        if (DGifGetExtension(file_, &code, &data) != GIF_OK) return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && data != nullptr && data[0] >= 4) {
          disposal = (data[1] >> 2) & 7;
          delay = data[2] | (data[3] << 8);
          transparent = (data[1] & 1) ? data[4] : -1;
        }
        while (data != nullptr)
          if (DGifGetExtensionNext(file_, &data) != GIF_OK) return false;
        continue;
      }
      if (type != IMAGE_DESC_RECORD_TYPE) continue;
      if (DGifGetImageDesc(file_) != GIF_OK) return false;
      if (lastDisposal_ == 2) screen_.FillRect(lastArea_, 0);
      const GifImageDesc& desc = file_->Image;
      const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : file_->SColorMap;
      std::vector<GifPixelType> line(static_cast<std::size_t>(desc.Width));
      std::vector<int> rows;
      if (desc.Interlace) {
        for (int start : {0, 4, 2, 1})
          for (int y = start; y < desc.Height; y += (start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2))
            rows.push_back(y);
      } else {
        for (int y = 0; y < desc.Height; ++y) rows.push_back(y);
      }
      for (const int y : rows) {
        if (DGifGetLine(file_, line.data(), desc.Width) != GIF_OK) return false;
        const int sy = desc.Top + y;
        if (sy < 0 || sy >= screen_.Height()) continue;
        std::uint8_t* out = screen_.ScanLine(sy);
        for (int x = 0; x < desc.Width; ++x) {
          const int sx = desc.Left + x, index = line[static_cast<std::size_t>(x)];
          if (sx < 0 || sx >= screen_.Width() || index == transparent || map == nullptr || index >= map->ColorCount)
            continue;
          out[3 * sx] = map->Colors[index].Blue;
          out[3 * sx + 1] = map->Colors[index].Green;
          out[3 * sx + 2] = map->Colors[index].Red;
        }
      }
      lastDisposal_ = disposal;
      lastArea_ = TRect{desc.Left, desc.Top, desc.Left + desc.Width, desc.Top + desc.Height};
      return true;
    }
  }
  const TBitmap& Screen() const { return screen_; }

 private:
  GifFileType* file_ = nullptr;
  TBitmap screen_;
  int lastDisposal_ = 0;
  TRect lastArea_;
};

int Psnr(int argc, char** argv) {
  const std::string video = argv[2], gif = argv[3];
  const TVideoInfo info = ProbeVideo(video);
  int first = 0, last = info.FrameCount - 1;
  TRect region{0, 0, info.FrameWidth, info.FrameHeight};
  if (argc > 5) {
    first = std::atoi(argv[4]);
    last = std::min(std::atoi(argv[5]), info.FrameCount - 1);
  }
  if (argc > 6 && std::sscanf(argv[6], "%d,%d,%d,%d", &region.Left, &region.Top, &region.Right, &region.Bottom) != 4)
    throw std::runtime_error("a region is LEFT,TOP,RIGHT,BOTTOM");
  // Each frame's start in ms: the video's own times, or its one rate.
  const auto startMs = [&](int n) -> double {
    if (!info.FrameTimes.Empty()) {
      const auto& times = info.FrameTimes;
      const std::size_t at = std::min(static_cast<std::size_t>(n), times.Starts.size() - 1);
      return static_cast<double>(times.Starts[at] - times.Starts[0]) * 1000.0 *
             static_cast<double>(times.Base.Numerator) / static_cast<double>(times.Base.Denominator);
    }
    return static_cast<double>(n) * info.LengthMs / std::max(info.FrameCount, 1);
  };
  const std::unique_ptr<TFrameSource> source = OpenFrameSource(video);
  TGifFrames frames(gif);
  TViewerError error;
  TBitmap cut(region.Width(), region.Height());
  int shownFrames = 0, gifFrames = 0, delay = 0;
  double gifEnd = 0;  // ms at which the frame drawn last stops showing
  bool more = frames.Next(delay);
  if (more) {
    ++gifFrames;
    gifEnd = delay * 10.0;
  }
  TBitmap shown = frames.Screen();
  for (int n = first; n <= last; ++n) {
    const double middle = (startMs(n) + startMs(n + 1)) / 2 - startMs(first);
    while (more && middle >= gifEnd) {
      int next = 0;
      if (!frames.Next(next)) {
        more = false;
        break;
      }
      ++gifFrames;
      shown = frames.Screen();
      gifEnd += next * 10.0;
    }
    if (!source->ReadFrame(n)) break;
    CutAndStretch(source->DecodeBitmap(), region, cut);
    error.Add(shown, cut);
    ++shownFrames;
  }
  std::printf("psnr=%.3f frames=%d gif_frames=%d\n", error.Psnr(), shownFrames, gifFrames);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "scene" && argc == 5)
      return Scene(std::atoi(argv[2]), std::atoi(argv[3]), static_cast<std::uint32_t>(std::atoi(argv[4])));
    if (what == "psnr" && argc >= 4) return Psnr(argc, argv);
    std::cerr << "usage: fit-bench-tool scene WIDTH HEIGHT SEED | psnr VIDEO GIF [FIRST LAST] [L,T,R,B]\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "fit-bench-tool: " << error.what() << "\n";
    return 1;
  }
}

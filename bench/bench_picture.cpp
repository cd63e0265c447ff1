// Picture search and comparison on a 1920 x 1080 screen-like picture (flat panels with
// text-like strokes):
//   Find/*      a 50 x 50 part near the bottom right (Present) or a part that occurs nowhere
//               (Missing), exact and with ColorTolerance 16 / PixelTolerance 10; against the
//               plain scalar search (every position, pixel by pixel, same rules, early exit)
//               and, when the build found it, the imaging library's template match (squared
//               differences, one thread);
//   Compare/*   equal 32-bit pictures through the picture's Compare (exact and with a colour
//               tolerance) and Difference, in bytes per second against memcmp.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "graphics/blit.h"
#include "graphics/compare.h"
#include "openapps/picture/picture.h"

#ifdef PW_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace pw {
namespace {

constexpr std::int32_t kWidth = 1920, kHeight = 1080, kNeedle = 50;

graphics::Bitmap Screen() {
  graphics::Bitmap b(kWidth, kHeight, graphics::PixelFormat::Rgb32());
  std::mt19937 rng(7);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight, 0xFFF0F0F0);
  auto fill = [&](int x0, int y0, int w, int h, std::uint32_t c) {
    for (int y = std::max(0, y0); y < std::min(kHeight, y0 + h); ++y)
      for (int x = std::max(0, x0); x < std::min(kWidth, x0 + w); ++x)
        pixels[static_cast<std::size_t>(y) * kWidth + x] = c;
  };
  // Panels: a title bar, a side bar, content boxes.
  fill(0, 0, kWidth, 32, 0xFF2B579A);
  fill(0, 32, 260, kHeight - 32, 0xFFE6E6E6);
  for (int i = 0; i < 40; ++i) {
    const int x = 280 + static_cast<int>(rng() % 1500), y = 50 + static_cast<int>(rng() % 950);
    fill(x, y, 80 + static_cast<int>(rng() % 300), 40 + static_cast<int>(rng() % 200),
         0xFFFFFFFF - (rng() % 4) * 0x101010);
  }
  // Text-like strokes: short dark lines of one or two pixels in rows.
  for (int line = 40; line < kHeight; line += 18)
    for (int x = 20; x < kWidth - 40;) {
      const int word = 10 + static_cast<int>(rng() % 50);
      for (int i = 0; i < word; i += 2 + static_cast<int>(rng() % 3))
        fill(x + i, line + static_cast<int>(rng() % 9), 1, 1 + static_cast<int>(rng() % 3),
             0xFF202020 + (rng() % 3) * 0x080808);
      x += word + 8 + static_cast<int>(rng() % 30);
    }
  for (std::int32_t y = 0; y < kHeight; ++y) b.WriteRow(y, pixels.data() + static_cast<std::size_t>(y) * kWidth);
  return b;
}

const graphics::Bitmap& TheScreen() {
  static const graphics::Bitmap screen = Screen();
  return screen;
}

graphics::Bitmap Needle(bool present) {
  graphics::Bitmap n(kNeedle, kNeedle, graphics::PixelFormat::Rgb32());
  graphics::CopyPixels(TheScreen(), 1840, 1010, kNeedle, kNeedle, n, 0, 0);
  if (!present)  // a mark that occurs nowhere
    for (int i = 10; i < 40; ++i) n.SetPixel(i, i, 0xFF13579B);
  return n;
}

graphics::MatchRules Rules(bool tolerant) {
  graphics::MatchRules r;
  if (tolerant) {
    r.colorTolerance = 16;
    r.pixelTolerance = 10;
  }
  return r;
}

void BM_Find(benchmark::State& state) {
  const bool present = state.range(0) != 0, tolerant = state.range(1) != 0;
  const graphics::Bitmap needle = Needle(present);
  for (auto _ : state) {
    auto r = graphics::FindBitmap(TheScreen(), needle, 0, 0, Rules(tolerant));
    benchmark::DoNotOptimize(r);
    if ((r.status == graphics::SearchResult::Status::Found) != present) state.SkipWithError("wrong answer");
  }
}

// The plain search: the same caches, every position, every pixel in order, early exit.
void BM_FindBaseline(benchmark::State& state) {
  const bool present = state.range(0) != 0, tolerant = state.range(1) != 0;
  const graphics::Bitmap needle = Needle(present);
  const std::uint32_t t = tolerant ? 16 : 0;
  const std::int64_t tolerance = tolerant ? 10 : 0;
  for (auto _ : state) {
    std::vector<std::uint32_t> hay = TheScreen().ToArgb();
    const std::vector<std::uint32_t> sought = needle.ToArgb();
    bool found = false;
    for (std::int32_t x = 0; x <= kWidth - kNeedle && !found; ++x)
      for (std::int32_t y = 0; y <= kHeight - kNeedle && !found; ++y) {
        std::int64_t misses = 0;
        for (std::int32_t nx = 0; nx < kNeedle && misses <= tolerance; ++nx)
          for (std::int32_t ny = 0; ny < kNeedle && misses <= tolerance; ++ny) {
            const std::uint32_t c = sought[static_cast<std::size_t>(ny) * kNeedle + nx];
            const std::uint32_t h = hay[static_cast<std::size_t>(y + ny) * kWidth + x + nx];
            bool match;
            if (t == 0) {
              match = ((c ^ h) & 0xFFFFFF) == 0;
            } else {
              auto d = [](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; };
              match = d(graphics::RedOf(c), graphics::RedOf(h)) <= t &&
                      d(graphics::GreenOf(c), graphics::GreenOf(h)) <= t &&
                      d(graphics::BlueOf(c), graphics::BlueOf(h)) <= t;
            }
            if (!match) ++misses;
          }
        found = misses <= tolerance;
      }
    benchmark::DoNotOptimize(found);
    if (found != present) state.SkipWithError("wrong answer");
  }
}

#ifdef PW_BENCH_OPENCV
void BM_FindMatchTemplate(benchmark::State& state) {
  cv::setNumThreads(1);
  const bool present = state.range(0) != 0;
  const graphics::Bitmap needle = Needle(present);
  for (auto _ : state) {
    // The pixels as 8-bit BGR planes, as the picture's caches hold them.
    cv::Mat hay4(kHeight, kWidth, CV_8UC4, const_cast<std::uint8_t*>(TheScreen().Bytes().data()), TheScreen().stride());
    cv::Mat sought4(kNeedle, kNeedle, CV_8UC4, const_cast<std::uint8_t*>(needle.Bytes().data()), needle.stride());
    cv::Mat hay, sought, result;
    cv::cvtColor(hay4, hay, cv::COLOR_BGRA2BGR);
    cv::cvtColor(sought4, sought, cv::COLOR_BGRA2BGR);
    cv::matchTemplate(hay, sought, result, cv::TM_SQDIFF);
    double best = 0;
    cv::Point at;
    cv::minMaxLoc(result, &best, nullptr, &at, nullptr);
    benchmark::DoNotOptimize(at);
    if (present && (at.x != 1840 || at.y != 1010)) state.SkipWithError("wrong answer");
  }
}
BENCHMARK(BM_FindMatchTemplate)->ArgNames({"present"})->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_Find)
    ->ArgNames({"present", "tolerant"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindBaseline)
    ->ArgNames({"present", "tolerant"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);

// Two equal pictures (separate bitmaps) as the picture object holds them.
struct Pair {
  ComPtr<TpwPicture> a, b;
  Pair() {
    a = MakeObject<TpwPicture>(nullptr);
    b = MakeObject<TpwPicture>(nullptr);
    a->SetHandle(CreateBitmapFrom(TheScreen()));
    b->SetHandle(CreateBitmapFrom(TheScreen()));
  }
};

const std::int64_t kBytes = static_cast<std::int64_t>(kWidth) * kHeight * 4;

void BM_CompareMemcmp(benchmark::State& state) {
  const graphics::Bitmap copy = TheScreen();
  for (auto _ : state)
    benchmark::DoNotOptimize(std::memcmp(copy.Bytes().data(), TheScreen().Bytes().data(), copy.Bytes().size()));
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_ComparePicture(benchmark::State& state) {
  Pair p;
  VARIANT other{};
  other.vt = VT_DISPATCH;
  other.pdispVal = static_cast<IpwPicture*>(p.b.Get());
  const VARIANT none{};
  const auto tolerance = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    VARIANT_BOOL equal = VARIANT_FALSE;
    p.a->Compare(other, VARIANT_FALSE, 0, VARIANT_FALSE, tolerance, none, &equal);
    if (!equal) state.SkipWithError("not equal");
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_DifferencePicture(benchmark::State& state) {
  Pair p;
  VARIANT other{};
  other.vt = VT_DISPATCH;
  other.pdispVal = static_cast<IpwPicture*>(p.b.Get());
  const VARIANT none{};
  for (auto _ : state) {
    ComPtr<IpwPicture> made;
    std::int32_t count = 0, deviation = 0;
    p.a->DifferenceEx(other, VARIANT_FALSE, 0, VARIANT_FALSE, 0, none, VARIANT_FALSE, &count, &deviation, made.Put());
    if (!made) state.SkipWithError("no picture");
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

BENCHMARK(BM_CompareMemcmp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComparePicture)->ArgNames({"colorTolerance"})->Arg(0)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DifferencePicture)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pw

BENCHMARK_MAIN();

// THdrColourMap's row walk in vectors, compiled once for each instruction set Highway knows
// and chosen at run time for the processor it runs on: the same steps as the walk one pixel
// at a time, with the tables read by gathers.
#include <cstddef>
#include <cstdint>

#include "video/hdr_colour_map.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "video/hdr_colour_rows.cpp"
#include "hwy/foreach_target.h"  // must come before highway.h
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace clipvane::video {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// The entry of an octave lookup for each lane of `x`, as an index into its values.
template <class D, class V, typename T>
hn::Vec<hn::RebindToSigned<D>> OctaveIndex(D d, const TOctaveLookup<T>& lookup, V x) {
  const hn::RebindToUnsigned<D> du;
  x = hn::Min(hn::Max(x, hn::Set(d, lookup.Low)), hn::Set(d, lookup.Last));
  const auto entry = hn::Sub(hn::ShiftRight<kOctaveDroppedBits>(hn::BitCast(du, x)), hn::Set(du, lookup.Base));
  return hn::BitCast(hn::RebindToSigned<D>(), entry);
}

int MapRowVectors(const THdrRowTables& tables, const float* red, const float* green, const float* blue,
                  const float* alpha, int count, std::uint8_t* out) {
  const hn::ScalableTag<float> d;
  const hn::RebindToSigned<decltype(d)> di;
  const hn::Rebind<std::uint8_t, decltype(d)> d8;
  const int lanes = static_cast<int>(hn::Lanes(d));
  const float* light = tables.Light;
  const auto toLight = [&](const float* signal) {
    const auto step = hn::Mul(hn::Min(hn::Max(hn::LoadU(d, signal), hn::Zero(d)), hn::Set(d, 1.0f)),
                              hn::Set(d, static_cast<float>(kHdrLightSteps)));
    const auto at = hn::ConvertTo(di, step);
    const auto part = hn::Sub(step, hn::ConvertTo(d, at));
    const auto low = hn::GatherIndex(d, light, at);
    return hn::MulAdd(part, hn::Sub(hn::GatherIndex(d, light + 1, at), low), low);
  };
  const auto& m = tables.Matrix;
  const auto row = [&](int k, auto r, auto g, auto b) {
    const std::size_t first = static_cast<std::size_t>(3 * k);
    return hn::MulAdd(hn::Set(d, m[first]), r,
                      hn::MulAdd(hn::Set(d, m[first + 1]), g, hn::Mul(hn::Set(d, m[first + 2]), b)));
  };
  const auto luminance = [&](auto r, auto g, auto b) {
    return hn::MulAdd(hn::Set(d, kBt709Luma[0]), r,
                      hn::MulAdd(hn::Set(d, kBt709Luma[1]), g, hn::Mul(hn::Set(d, kBt709Luma[2]), b)));
  };
  // A byte table is read a 32-bit word at a time, at byte offsets; the low byte is the entry.
  const auto* sdrWords = reinterpret_cast<const std::int32_t*>(tables.Sdr.Values);
  const auto code = [&](auto x) {
    const auto word = hn::GatherOffset(di, sdrWords, OctaveIndex(d, tables.Sdr, x));
    return hn::DemoteTo(d8, hn::And(word, hn::Set(di, 0xFF)));
  };
  const auto zero = hn::Zero(d), one = hn::Set(d, 1.0f), knee = hn::Set(d, tables.Knee);
  int i = 0;
  for (; i + lanes <= count; i += lanes) {
    const auto r = toLight(red + i), g = toLight(green + i), b = toLight(blue + i);
    auto rl = row(0, r, g, b), gl = row(1, r, g, b), bl = row(2, r, g, b);
    if (tables.Hlg) {
      const auto gain =
          hn::GatherIndex(d, tables.OotfGain.Values, OctaveIndex(d, tables.OotfGain, luminance(rl, gl, bl)));
      rl = hn::Mul(rl, gain), gl = hn::Mul(gl, gain), bl = hn::Mul(bl, gain);
    }
    const auto lowest = hn::Min(hn::Min(rl, gl), bl);
    const auto grey = luminance(rl, gl, bl);
    const auto keep = hn::IfThenElse(hn::Ge(lowest, zero), one,
                                     hn::IfThenElseZero(hn::Gt(grey, zero), hn::Div(grey, hn::Sub(grey, lowest))));
    rl = hn::MulAdd(keep, hn::Sub(rl, grey), grey);
    gl = hn::MulAdd(keep, hn::Sub(gl, grey), grey);
    bl = hn::MulAdd(keep, hn::Sub(bl, grey), grey);
    const auto highest = hn::Max(hn::Max(rl, gl), bl);
    const auto tone = hn::GatherIndex(d, tables.ToneGain.Values, OctaveIndex(d, tables.ToneGain, highest));
    const auto gain = hn::IfThenElse(hn::Gt(highest, knee), tone, one);
    const auto b8 = code(hn::Mul(bl, gain)), g8 = code(hn::Mul(gl, gain)), r8 = code(hn::Mul(rl, gain));
    if (alpha) {
      const auto opacity =
          hn::MulAdd(hn::Min(hn::Max(hn::LoadU(d, alpha + i), zero), one), hn::Set(d, 255.0f), hn::Set(d, 0.5f));
      hn::StoreInterleaved4(b8, g8, r8, hn::DemoteTo(d8, hn::ConvertTo(di, opacity)), d8,
                            out + static_cast<std::ptrdiff_t>(i) * 4);
    } else {
      hn::StoreInterleaved3(b8, g8, r8, d8, out + static_cast<std::ptrdiff_t>(i) * 3);
    }
  }
  return i;
}

}  // namespace HWY_NAMESPACE
}  // namespace clipvane::video
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace clipvane::video {

HWY_EXPORT(MapRowVectors);

int MapRowVectors(const THdrRowTables& tables, const float* red, const float* green, const float* blue,
                  const float* alpha, int count, std::uint8_t* out) {
  return HWY_DYNAMIC_DISPATCH(MapRowVectors)(tables, red, green, blue, alpha, count, out);
}

}  // namespace clipvane::video
#endif  // HWY_ONCE

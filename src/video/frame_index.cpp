// Frame numbering from the packets: presentation order, the key packet each frame is
// decoded from, the end of the last frame, and whether the frames come at one rate.
#include "video/frame_index.h"

#include <algorithm>
#include <cmath>

namespace clipvane {

namespace {

__extension__ using TWide = __int128;

// Pictures come out of a decoder at most this many places away from their decoding order
// (B-frame pyramids reorder a few); a timestamp farther off means the clock jumped.
constexpr std::int64_t kMaxReorder = 64;

std::int64_t Lookup(const std::vector<std::pair<std::int64_t, std::int32_t>>& table, std::int64_t key) {
  const auto found = std::lower_bound(table.begin(), table.end(), std::make_pair(key, INT32_MIN));
  if (found == table.end() || found->first != key) return -1;
  // Two packets with one key cannot be told apart by it.
  if (std::next(found) != table.end() && std::next(found)->first == key) return -1;
  return found->second;
}

}  // namespace

std::int64_t TFrameIndex::LengthMs() const {
  const TWide scaled = static_cast<TWide>(SpanTicks()) * TimeBase.Numerator * 1000;
  const TWide denominator = std::max<std::int64_t>(TimeBase.Denominator, 1);
  return static_cast<std::int64_t>((2 * scaled + denominator) / (2 * denominator));
}

std::int64_t TFrameIndex::FrameOfPts(std::int64_t pts) const {
  if (Counted || pts == kNoTimestamp) return -1;
  const auto found = std::lower_bound(FramePts.begin(), FramePts.end(), pts);
  if (found == FramePts.end() || *found != pts) return -1;
  return found - FramePts.begin();
}

std::int64_t TFrameIndex::PacketAt(std::int64_t position, std::int64_t pts, std::int64_t dts) const {
  if (position >= 0)
    if (const std::int64_t packet = Lookup(byPosition_, position); packet >= 0) return packet;
  const std::int64_t packet = Lookup(byPts_, pts != kNoTimestamp ? pts : dts);
  return packet;
}

TVideoFrameTimes TFrameIndex::FrameTimes() const {
  TVideoFrameTimes times;
  if (!VariableRate || FramePts.empty()) return times;
  times.Base = TimeBase;
  times.Starts.reserve(FramePts.size() + 1);
  for (const std::int64_t pts : FramePts) times.Starts.push_back(pts - FramePts.front());
  times.Starts.push_back(EndPts - FramePts.front());
  return times;
}

void TFrameIndex::Complete(const std::vector<bool>& discarded, const std::vector<std::int64_t>& durations,
                           std::int64_t nominalDuration, std::int64_t containerEnd) {
  FramePts.clear();
  FramePacket.clear();
  StartKey.clear();
  byPosition_.clear();
  byPts_.clear();
  Counted = VariableRate = false;
  EndPts = 0;
  const auto packets = static_cast<std::int32_t>(Packets.size());
  if (packets == 0) return;

  // Decoding starts at a key packet: what comes before the first cannot be shown, nor can
  // the pictures shown before it that follow it (they refer to pictures never decoded).
  std::int32_t firstKey = 0;
  while (firstKey < packets && !Packets[static_cast<std::size_t>(firstKey)].Key) ++firstKey;
  if (firstKey == packets) {
    firstKey = 0;
    Packets.front().Key = true;
  }
  const std::int64_t firstKeyPts = Packets[static_cast<std::size_t>(firstKey)].Pts;
  // Such leading pictures come before the next key packet; an earlier timestamp after it is
  // a clock that jumped back, and its pictures count.
  std::int32_t secondKey = firstKey + 1;
  while (secondKey < packets && !Packets[static_cast<std::size_t>(secondKey)].Key) ++secondKey;
  std::vector<std::int32_t> shown;
  for (std::int32_t i = firstKey; i < packets; ++i) {
    const auto p = static_cast<std::size_t>(i);
    if (discarded[p]) continue;
    if (i < secondKey && firstKeyPts != kNoTimestamp && Packets[p].Pts != kNoTimestamp && Packets[p].Pts < firstKeyPts)
      continue;
    shown.push_back(i);
  }
  if (shown.empty()) return;

  // Presentation order by timestamp, when the timestamps can give it.
  std::vector<std::int32_t> order = shown;
  bool usable = std::none_of(shown.begin(), shown.end(),
                             [&](std::int32_t i) { return Packets[static_cast<std::size_t>(i)].Pts == kNoTimestamp; });
  if (usable) {
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
      return Packets[static_cast<std::size_t>(a)].Pts < Packets[static_cast<std::size_t>(b)].Pts;
    });
    std::vector<std::int32_t> rank(static_cast<std::size_t>(packets), 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
      rank[static_cast<std::size_t>(order[k])] = static_cast<std::int32_t>(k);
      if (k > 0 &&
          Packets[static_cast<std::size_t>(order[k])].Pts == Packets[static_cast<std::size_t>(order[k - 1])].Pts)
        usable = false;
    }
    for (std::size_t k = 0; usable && k < shown.size(); ++k)
      if (std::llabs(static_cast<long long>(rank[static_cast<std::size_t>(shown[k])]) - static_cast<long long>(k)) >
          kMaxReorder)
        usable = false;
  }

  // The duration of one frame where the stream does not give the last one's.
  std::int64_t typical = nominalDuration;
  if (typical <= 0 && usable && order.size() > 1)
    typical =
        (Packets[static_cast<std::size_t>(order.back())].Pts - Packets[static_cast<std::size_t>(order.front())].Pts) /
        static_cast<std::int64_t>(order.size() - 1);
  if (typical <= 0) {
    std::int64_t known = 0, sum = 0;
    for (const std::int32_t i : shown)
      if (durations[static_cast<std::size_t>(i)] > 0) sum += durations[static_cast<std::size_t>(i)], ++known;
    if (known > 0) typical = sum / known;
  }
  if (typical <= 0)  // a 25th of a second
    typical = std::max<std::int64_t>(1, TimeBase.Denominator / std::max<std::int64_t>(1, 25 * TimeBase.Numerator));

  Counted = !usable;
  FramePacket = Counted ? shown : order;
  FramePts.reserve(FramePacket.size());
  if (Counted) {
    for (std::size_t k = 0; k < FramePacket.size(); ++k) FramePts.push_back(static_cast<std::int64_t>(k) * typical);
    EndPts = static_cast<std::int64_t>(FramePacket.size()) * typical;
  } else {
    for (const std::int32_t i : FramePacket) FramePts.push_back(Packets[static_cast<std::size_t>(i)].Pts);
    const std::int64_t lastDuration = durations[static_cast<std::size_t>(FramePacket.back())];
    // Matroska keeps no duration for its blocks, but the segment's: a later audio end may
    // stretch the last frame by two frames at most.
    const bool containerSays = containerEnd != kNoTimestamp && containerEnd > FramePts.back() &&
                               containerEnd - FramePts.back() <= 2 * typical;
    EndPts = FramePts.back() + (lastDuration > 0 ? lastDuration
                                : containerSays  ? containerEnd - FramePts.back()
                                                 : typical);
  }

  // Each frame decodes from the last key packet at or before its own whose picture is not
  // shown after it: pictures shown before their key packet refer to the group before.
  std::vector<std::int32_t> keys;
  for (std::int32_t i = 0; i < packets; ++i)
    if (Packets[static_cast<std::size_t>(i)].Key) keys.push_back(i);
  StartKey.reserve(FramePacket.size());
  for (std::size_t n = 0; n < FramePacket.size(); ++n) {
    if (Counted) {
      StartKey.push_back(firstKey);
      continue;
    }
    auto key = std::upper_bound(keys.begin(), keys.end(), FramePacket[n]) - 1;
    while (key != keys.begin() && Packets[static_cast<std::size_t>(*key)].Pts != kNoTimestamp &&
           Packets[static_cast<std::size_t>(*key)].Pts > FramePts[n])
      --key;
    StartKey.push_back(*key);
  }

  // Frames that do not come at one rate: a start farther than a quarter frame from where an
  // even rate over the same span would put it.
  if (!Counted && FramePts.size() >= 2) {
    const double span = static_cast<double>(EndPts - FramePts.front());
    const double each = span / static_cast<double>(FramePts.size());
    for (std::size_t n = 0; n < FramePts.size() && !VariableRate; ++n)
      VariableRate = std::fabs(static_cast<double>(FramePts[n] - FramePts.front()) - each * static_cast<double>(n)) >
                     each / 4;
  }

  for (std::int32_t i = 0; i < packets; ++i) {
    const TIndexedPacket& packet = Packets[static_cast<std::size_t>(i)];
    if (packet.Position >= 0) byPosition_.emplace_back(packet.Position, i);
    const std::int64_t stamp = packet.Pts != kNoTimestamp ? packet.Pts : packet.Dts;
    if (stamp != kNoTimestamp) byPts_.emplace_back(stamp, i);
  }
  std::sort(byPosition_.begin(), byPosition_.end());
  std::sort(byPts_.begin(), byPts_.end());
}

}  // namespace clipvane

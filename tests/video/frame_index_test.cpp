// Frame numbering from a container's packets: presentation order whatever the decoding order,
// the key packet each frame decodes from, what an edit list or a leading run of pictures
// that cannot be decoded leaves out, the last frame's duration, variable rates, and
// timestamps that cannot be trusted.
#include <gtest/gtest.h>

#include <vector>

#include "video/frame_index.h"

namespace clipvane {
namespace {

struct TPacketSpec {
  std::int64_t Pts;
  bool Key = false;
  bool Discarded = false;
  std::int64_t Duration = 0;
};

// Packets in decoding order, timestamps in ticks of 1/1000 s; the decoding timestamps rise.
TFrameIndex Indexed(const std::vector<TPacketSpec>& specs, std::int64_t nominal = 40,
                    std::int64_t containerEnd = kNoTimestamp) {
  TFrameIndex index;
  index.TimeBase = {1, 1000};
  std::vector<bool> discarded;
  std::vector<std::int64_t> durations;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    TIndexedPacket packet;
    packet.Position = 1000 + static_cast<std::int64_t>(i) * 100;
    packet.Pts = specs[i].Pts;
    packet.Dts = static_cast<std::int64_t>(i) * 40 - 80;
    packet.Key = specs[i].Key;
    index.Packets.push_back(packet);
    discarded.push_back(specs[i].Discarded);
    durations.push_back(specs[i].Duration);
  }
  index.Complete(discarded, durations, nominal, containerEnd);
  return index;
}

TEST(FrameIndex, BFramesAreNumberedInPresentationOrder) {
  // I P B B | I P B B: decoding order 0 3 1 2 4 7 5 6 (in frames of 40 ms).
  const TFrameIndex index = Indexed({{0, true}, {120}, {40}, {80}, {160, true}, {280}, {200}, {240}});
  ASSERT_EQ(index.FrameCount(), 8);
  EXPECT_EQ(index.FramePts, (std::vector<std::int64_t>{0, 40, 80, 120, 160, 200, 240, 280}));
  EXPECT_EQ(index.FramePacket, (std::vector<std::int32_t>{0, 2, 3, 1, 4, 6, 7, 5}));
  EXPECT_EQ(index.StartKey, (std::vector<std::int32_t>{0, 0, 0, 0, 4, 4, 4, 4}));
  EXPECT_EQ(index.EndPts, 320);
  EXPECT_EQ(index.LengthMs(), 320);
  EXPECT_FALSE(index.Counted);
  EXPECT_FALSE(index.VariableRate);
  EXPECT_TRUE(index.FrameTimes().Empty());
  EXPECT_EQ(index.FrameOfPts(200), 5);
  EXPECT_EQ(index.FrameOfPts(201), -1);
  EXPECT_EQ(index.PacketAt(1500, kNoTimestamp, kNoTimestamp), 5);
  EXPECT_EQ(index.PacketAt(-1, 240, kNoTimestamp), 7);
}

TEST(FrameIndex, AnOpenGroupsLeadingPicturesDecodeFromTheKeyBefore) {
  // I P B B | I B B P: the two B pictures after the second key are shown before it.
  const TFrameIndex index = Indexed({{0, true}, {120}, {40}, {80}, {240, true}, {160}, {200}, {280}});
  EXPECT_EQ(index.FramePts, (std::vector<std::int64_t>{0, 40, 80, 120, 160, 200, 240, 280}));
  EXPECT_EQ(index.StartKey, (std::vector<std::int32_t>{0, 0, 0, 0, 0, 0, 4, 4}));
}

TEST(FrameIndex, WhatCannotBeShownIsLeftOut) {
  // An edit list's leaders, decoded only to reach the pictures after them.
  const TFrameIndex edited = Indexed({{-80, true, true}, {-40, false, true}, {0, true}, {40}, {80}});
  EXPECT_EQ(edited.FramePts, (std::vector<std::int64_t>{0, 40, 80}));
  EXPECT_EQ(edited.FrameOfPts(-40), -1);
  // A packet before the first key packet, and pictures shown before that key packet (they
  // refer to pictures never decoded).
  const TFrameIndex cut = Indexed({{-40}, {40, true}, {0}, {120}, {80}, {160, true}});
  EXPECT_EQ(cut.FramePts, (std::vector<std::int64_t>{40, 80, 120, 160}));
  EXPECT_EQ(cut.FramePacket, (std::vector<std::int32_t>{1, 4, 3, 5}));
  EXPECT_EQ(cut.SpanTicks(), 160);
  // A stream without a single key packet starts at its first.
  const TFrameIndex keyless = Indexed({{0}, {40}, {80}});
  EXPECT_EQ(keyless.FrameCount(), 3);
  EXPECT_EQ(keyless.StartKey, (std::vector<std::int32_t>{0, 0, 0}));
}

TEST(FrameIndex, TheLastFrameLastsItsOwnDurationOrTheContainersEnd) {
  EXPECT_EQ(Indexed({{0, true}, {40}, {80, false, false, 100}}).EndPts, 180);
  // No duration: the end the container gives when it lies within two frames...
  EXPECT_EQ(Indexed({{0, true}, {40}, {80}}, 40, 150).EndPts, 150);
  // ...not an audio track's end far beyond, nor an end before the last frame.
  EXPECT_EQ(Indexed({{0, true}, {40}, {80}}, 40, 5000).EndPts, 120);
  EXPECT_EQ(Indexed({{0, true}, {40}, {80}}, 40, 60).EndPts, 120);
  // Without a nominal rate, the average step of the timestamps.
  EXPECT_EQ(Indexed({{0, true}, {50}, {100}}, 0).EndPts, 150);
}

TEST(FrameIndex, UnevenFramesGiveFrameTimes) {
  const TFrameIndex index = Indexed({{0, true}, {33}, {67}, {300}, {333}}, 33, 366);
  EXPECT_TRUE(index.VariableRate);
  const TVideoFrameTimes times = index.FrameTimes();
  EXPECT_EQ(times.Starts, (std::vector<std::int64_t>{0, 33, 67, 300, 333, 366}));
  EXPECT_EQ(times.StartMs(3), 300);
  EXPECT_EQ(times.FrameAtMs(299), 2);
  EXPECT_EQ(times.FrameAtMs(300), 3);
  // Timestamps rounded to whole milliseconds (30 fps in a 1/1000 time base) are one rate.
  EXPECT_FALSE(Indexed({{0, true}, {33}, {67}, {100}, {133}, {167}}, 33).VariableRate);
  // Frame times count from the first shown frame.
  const TFrameIndex late = Indexed({{1000, true}, {1040}, {1300}}, 40);
  EXPECT_EQ(late.FrameTimes().Starts, (std::vector<std::int64_t>{0, 40, 300, 340}));
}

TEST(FrameIndex, UntrustedTimestampsNumberPicturesAsTheyCome) {
  // Repeated, missing, or jumping back farther than any decoder reorders: numbered in
  // decoding order, at the nominal rate, every frame decoded from the start.
  for (const std::vector<TPacketSpec>& specs : {std::vector<TPacketSpec>{{0, true}, {40}, {40}, {80}},
                                                std::vector<TPacketSpec>{{0, true}, {kNoTimestamp}, {80}, {120}}}) {
    const TFrameIndex index = Indexed(specs);
    EXPECT_TRUE(index.Counted);
    EXPECT_EQ(index.FrameCount(), 4);
    EXPECT_EQ(index.FramePacket, (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(index.FramePts, (std::vector<std::int64_t>{0, 40, 80, 120}));
    EXPECT_EQ(index.StartKey, (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(index.FrameOfPts(40), -1);
  }
  std::vector<TPacketSpec> jump;
  for (int i = 0; i < 100; ++i) jump.push_back({i < 70 ? 1000000 + i * 40 : (i - 70) * 40, i % 10 == 0});
  EXPECT_TRUE(Indexed(jump).Counted);
  EXPECT_EQ(Indexed(jump).FrameCount(), 100);
}

TEST(FrameIndex, NoPacketsNoFrames) {
  const TFrameIndex index = Indexed({});
  EXPECT_EQ(index.FrameCount(), 0);
  EXPECT_EQ(index.SpanTicks(), 0);
  EXPECT_EQ(index.LengthMs(), 0);
  EXPECT_EQ(index.FrameOfPts(0), -1);
}

}  // namespace
}  // namespace clipvane

#include "audio/KCSampleGraph.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SoundBufList, InterleavedListDescribesEachChannelAndZeroesTheRest) {
    std::vector<float> block(512 * 2);
    KCSoundBufList list;
    list.bufs[7].stride = 99; // stale entry must be cleared
    ASSERT_EQ(list.Build(512, block.data(), 2, 2), eNoErr);
    EXPECT_EQ(list.frames, 512u);
    EXPECT_EQ(list.channels, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(list.bufs[i].data, block.data() + i);
        EXPECT_EQ(list.bufs[i].stride, 2);
        EXPECT_EQ(list.bufs[i].one, 1);
        EXPECT_EQ(list.bufs[i].reserved1, 0);
        EXPECT_EQ(list.bufs[i].reserved2, 0);
    }
    for (uint32_t i = 2; i < kMaxSoundBufChannels; ++i) {
        EXPECT_EQ(list.bufs[i].data, nullptr);
        EXPECT_EQ(list.bufs[i].stride, 0);
        EXPECT_EQ(list.bufs[i].one, 0);
    }
}

TEST(SoundBufList, NullBaseAndTooManyChannels) {
    KCSoundBufList list;
    ASSERT_EQ(list.Build(64, nullptr, 16, 16), eNoErr);
    EXPECT_EQ(list.frames, 64u);
    EXPECT_EQ(list.channels, 16u);
    for (const auto& b : list.bufs) {
        EXPECT_EQ(b.data, nullptr);
        EXPECT_EQ(b.stride, 16);
    }
    // A 17th channel does not fit: refused, and the list describes nothing.
    std::vector<float> block(64 * 17);
    EXPECT_EQ(list.Build(64, block.data(), 17, 17), eGenericErr);
    EXPECT_EQ(list.channels, 0u);
    EXPECT_EQ(list.bufs[0].data, nullptr);
}

TEST(SampleGraph, DefaultsOfStateSinkAndChannelList) {
    KCSampleSink sink;
    EXPECT_FALSE(sink.IsRunning());
    EXPECT_EQ(sink.GetState().position, 0);
    EXPECT_EQ(sink.GetState().flags, KCStreamState::kLoop);
    EXPECT_EQ(sink.GetState().channelMap, nullptr);
    EXPECT_EQ(sink.Start(), eNoErr);
    EXPECT_TRUE(sink.IsRunning());
    EXPECT_EQ(sink.Stop(), eNoErr);
    EXPECT_FALSE(sink.IsRunning());

    int32_t numbers[2] = {1, 0};
    KCChannelList map{2, numbers};
    EXPECT_EQ(map.Lookup(0), 1);
    EXPECT_EQ(map.Lookup(1), 0);
    EXPECT_EQ(map.Lookup(5), -1);
    EXPECT_EQ(map.Lookup(-1), -1);
}

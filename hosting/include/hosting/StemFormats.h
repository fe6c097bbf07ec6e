// Stem formats: the channel layout codes 100 to 127 of a plug-in's input and
// output, their channel counts and channel orders.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr unsigned kFirstStemFormat = 100;
inline constexpr unsigned kLastStemFormat = 127;

// The channel order of one stem format: entry i is the position of channel
// i in the reference order, -1 when it has none.
class KCStemChannelMap {
public:
    explicit KCStemChannelMap(long count);

    long GetChannelCount() const { return channelCount; }
    // -1 for an index outside the map.
    long GetChannel(long index) const;
    // An index outside the map writes nothing.
    void SetChannel(long index, long value);

private:
    int32_t channelCount;
    std::vector<int32_t> map;
};

// 0 with the code's channel count, or -1 (count 0) for a code that is no
// stem format.
long StemFormatChannelCount(long& count, unsigned code);
// A new map for the code (the caller owns it), null for a code that is no
// stem format.
KCStemChannelMap* CreateStemChannelMap(unsigned code);

#include "hosting/StemFormats.h"

#include <array>
#include <cstddef>
#include <initializer_list>

namespace {

// Channels of each code from 100 to 127.
constexpr std::array<int32_t, kLastStemFormat - kFirstStemFormat + 1> kChannelCounts = {
    1, 2, 3, 4, 4, 5, 6, 6, 7, 7, // 100-109
    8, 5, 6, 6, 7, 7, 8, 6, 7, 7, // 110-119
    8, 5, 6, 4, 5, 5, 3, 2,       // 120-127
};

// Channel orders of the codes that have one; every other code maps each
// channel to -1.
struct StemOrder {
    unsigned code;
    std::initializer_list<int32_t> order;
};

const StemOrder kOrders[] = {
    {100, {0}},
    {101, {0, 1}},
    {105, {0, 1, 2, 3, 4}},
    {111, {0, 1, 2, 3, 4}},
    {106, {0, 1, 2, 3, 4, 5}},
    {112, {0, 1, 2, 3, 4, 5}},
    {121, {0, 4, 1, 2, 3}},
    {122, {0, 4, 1, 2, 3, 5}},
};

bool IsStemFormat(unsigned code) {
    return code >= kFirstStemFormat && code <= kLastStemFormat;
}

} // namespace

KCStemChannelMap::KCStemChannelMap(long count)
    : channelCount(static_cast<int32_t>(count > 0 ? count : 0)),
      map(static_cast<size_t>(channelCount), -1) {}

long KCStemChannelMap::GetChannel(long index) const {
    return index >= 0 && index < channelCount ? map[static_cast<size_t>(index)] : -1;
}

void KCStemChannelMap::SetChannel(long index, long value) {
    if (index >= 0 && index < channelCount)
        map[static_cast<size_t>(index)] = static_cast<int32_t>(value);
}

long StemFormatChannelCount(long& count, unsigned code) {
    count = 0;
    if (!IsStemFormat(code))
        return -1;
    count = kChannelCounts[code - kFirstStemFormat];
    return 0;
}

KCStemChannelMap* CreateStemChannelMap(unsigned code) {
    long count = 0;
    if (StemFormatChannelCount(count, code) != 0)
        return nullptr;
    auto* result = new KCStemChannelMap(count);
    for (const StemOrder& o : kOrders) {
        if (o.code != code)
            continue;
        long channel = 0;
        for (int32_t position : o.order)
            result->SetChannel(channel++, position);
    }
    return result;
}

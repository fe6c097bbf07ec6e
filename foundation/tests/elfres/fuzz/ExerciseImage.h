// Feeds one file image to the resource reader and touches everything it
// hands out, so that a sanitizer sees every out-of-range read.
#pragma once

#include "foundation/ElfRes.h"

#include <cstddef>
#include <cstdint>

inline uint32_t ExerciseImage(const uint8_t* data, size_t size) {
    std::unique_ptr<kvElfRes::Image> image;
    if (kvElfRes::Image::OpenMemory({data, size}, image) != eNoErr)
        return 0;
    uint32_t sum = 0;
    for (const kvElfRes::ResName& type : image->Types())
        for (const kvElfRes::ResName& id : image->Ids(type)) {
            const kvElfRes::ResourceView* r = image->Find(type, id);
            if (r == nullptr)
                __builtin_trap(); // a listed key must be found
            const uint8_t* bytes = image->Data(*r);
            for (uint64_t i = 0; bytes != nullptr && i < r->size; ++i)
                sum += bytes[i];
        }
    return sum;
}

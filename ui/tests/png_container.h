// A resource container of test PNGs: a copy of a small shared library in a
// scratch folder, with 'PNG_' resources added and written.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/KCMemObj.h"
#include "foundation/RM.h"

namespace testpng {

class Container {
public:
    Container() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kvui-png-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        folder = pattern;
        const auto file = folder / "images.so";
        std::filesystem::copy_file(KV_UI_FIXTURE_LIB, file);
        EXPECT_EQ(RMOpenResContainer(kvFM::KCStPath(file.string()), 1, container), eNoErr);
    }
    ~Container() {
        if (container != nullptr)
            RMCloseResContainer(container);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    // Adds the bytes as 'PNG_' resource `id` and writes the container.
    void Add(short id, const std::vector<uint8_t>& bytes) {
        void* block = KCMemUtils::NewKTPtr(static_cast<unsigned long>(bytes.size()));
        std::memcpy(block, bytes.data(), bytes.size());
        KTResourceType* added = nullptr;
        ASSERT_EQ(RMAddResource(container, KV_FOURCC("PNG_"), id, block,
                                static_cast<unsigned long>(bytes.size()), added, nullptr),
                  eNoErr);
        ASSERT_EQ(RMWriteResContainer(container), eNoErr);
        ASSERT_EQ(RMReleaseResource(added), eNoErr);
    }

    KTResContainerType* container = nullptr;
    std::filesystem::path folder;
};

} // namespace testpng

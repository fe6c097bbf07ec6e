// Resources carried by ELF files (shared objects and executables) in a
// non-allocated section ".kvres": an index of {type, name, offset, size}
// followed by the data.
//
// Reading parses the file as data: only the ELF header, the section headers,
// their name table and the index of the resource section are read when the
// file is opened, the bytes of a resource when they are first asked for;
// every offset and size is checked against the file, and nothing is mapped
// or run.
//
// Writing goes through one writer (WriteResources): it writes a new file in
// the same folder and renames it over the old one, so a file that is mapped
// by the loader is never rewritten in place and a failed write leaves the old
// file as it was. The resource packer and the resource manager both use it.
#pragma once

#include "foundation/KTErr.h"

#include <compare>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kvElfRes {

// The section that holds the resources.
inline constexpr const char* kSectionName = ".kvres";

// Longest type or resource name a file may carry.
inline constexpr size_t kMaxNameLength = 255;
// Most resources one file may carry, and the largest one: a file claiming
// more is refused before its index or bytes are read.
inline constexpr size_t kMaxResources = 65536;
inline constexpr uint64_t kMaxResourceBytes = uint64_t(64) << 20;

// A resource type or resource name: a 16-bit number or a text name.
// Numbers order before names.
class ResName {
public:
    ResName() = default;
    static ResName Number(uint16_t number);
    static ResName Name(std::string text);

    bool IsNumber() const { return !isName; }
    uint16_t GetNumber() const { return number; }
    const std::string& GetName() const { return name; }

    auto operator<=>(const ResName&) const = default;
    bool operator==(const ResName&) const = default;

private:
    bool isName = false;
    uint16_t number = 0;
    std::string name;
};

// The name under which a four-character type is stored: its characters,
// most significant first, upper-cased, ending at a zero byte.
ResName TypeNameOf(uint32_t fourCC);

// One resource to write.
struct Resource {
    ResName type;
    ResName id;
    std::vector<uint8_t> data;
};

// One resource of an Image (its bytes: Image::Data).
struct ResourceView {
    ResName type;
    ResName id;
    uint64_t offset = 0; // in the resource section
    uint64_t size = 0;
};

// A container file read as data.
class ImageReader;

class Image {
public:
    // Opens an ELF file as data. eRMInvalidResContainer (-3005) for a file
    // that is not a well-formed 64-bit little-endian ELF image or whose
    // resource section is damaged; the translated errno when the file cannot
    // be opened or read.
    static KTErr OpenFile(const std::filesystem::path& file, std::unique_ptr<Image>& out);
    // The same on a file image in memory (the bytes are copied as needed).
    static KTErr OpenMemory(std::span<const uint8_t> bytes, std::unique_ptr<Image>& out);

    // True when the file has a resource section (possibly empty).
    bool HasResourceSection() const { return hasSection; }
    // Every resource in file order.
    const std::vector<ResourceView>& Resources() const { return resources; }
    // The first resource with this type and name; null when there is none.
    const ResourceView* Find(const ResName& type, const ResName& id) const;
    // Distinct types, ascending.
    std::vector<ResName> Types() const;
    // The names of one type, ascending; empty when the type is absent.
    std::vector<ResName> Ids(const ResName& type) const;
    // The bytes of one of this image's resources: read from the file on
    // first use and kept until the image goes. Null when they cannot be read
    // (or the resource is empty).
    const uint8_t* Data(const ResourceView& resource) const;
    // Copies every resource (to build a new set for WriteResources); the
    // translated error when a resource cannot be read.
    KTErr CopyResources(std::vector<Resource>& out) const;

    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

private:
    friend class ImageReader;
    Image() = default;
    KTErr CopyAll(std::vector<Resource>& out) const;
    bool hasSection = false;
    int fd = -1;                 // the open file; -1 for an image read from memory
    uint64_t sectionOffset = 0;  // where the resource section starts in the file
    std::vector<uint8_t> memory; // the whole section, for an image read from memory
    std::vector<ResourceView> resources;
    std::vector<size_t> sorted; // indices into resources, by (type, id, file order)
    mutable std::map<std::pair<uint64_t, uint64_t>, std::vector<uint8_t>> cache;
};

// A module's version information: resource type 16, number 1, written into
// every module of the tool set at build. Its text holds one value a line,
// "<query>=<value>", the query being the value's path such as
// "\\StringFileInfo\\040904B0\\FileVersion".
inline constexpr uint16_t kVersionType = 16;
inline constexpr uint16_t kVersionId = 1;
// The version resource of a module of file version `fileVersion`.
Resource MakeVersionResource(const std::string& fileVersion);
// The value that `query` names in a version resource's bytes; false when it
// has none.
bool FindVersionValue(std::span<const uint8_t> bytes, const std::string& query, std::string& value);
// The query of the file version in English, Unicode code page.
std::string FileVersionQuery();

// Replaces the whole resource set of the ELF file `file` with `resources`
// (an empty set leaves an empty resource section). The new file is written
// in the same folder with the old file's mode and renamed over it.
// Errors: eRMInvalidResContainer (-3005) when `file` is not an ELF image the
// reader accepts; eFMPermissionErr (-1006) when the file or its folder may
// not be written; eRMResExists (-3001) for two resources with one key;
// eRMInvalidResID (-3008) for an empty or over-long name; eFMFileSizeTooBig
// (-1014) for more than kMaxResources resources or one larger than
// kMaxResourceBytes; eMemNewFailed (-4001) without memory; eFMWriteFailed
// (-1036) or the translated errno for a failed write. On failure the old
// file is untouched and no temporary file remains.
KTErr WriteResources(const std::filesystem::path& file, const std::vector<Resource>& resources);

} // namespace kvElfRes

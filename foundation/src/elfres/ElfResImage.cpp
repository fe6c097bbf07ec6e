#include "ElfLayout.h"
#include "foundation/ElfRes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kvElfRes {

using namespace detail;

ResName ResName::Number(uint16_t number) {
    ResName r;
    r.number = number;
    return r;
}

ResName ResName::Name(std::string text) {
    ResName r;
    r.isName = true;
    r.name = std::move(text);
    return r;
}

ResName TypeNameOf(uint32_t fourCC) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((fourCC >> shift) & 0xFF);
        if (c == '\0')
            break;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        text.push_back(c);
    }
    return ResName::Name(std::move(text));
}

namespace {

constexpr KTErr kBad = eRMInvalidResContainer;

uint32_t Get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint64_t Get64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// One type or id field of an entry: a number below 65536, or a name of 1 to
// kMaxNameLength bytes inside the section.
bool DecodeName(const std::vector<uint8_t>& section, bool isName, uint32_t value, uint32_t length,
                ResName& out) {
    if (!isName) {
        if (value > 0xFFFF || length != 0)
            return false;
        out = ResName::Number(static_cast<uint16_t>(value));
        return true;
    }
    if (length == 0 || length > kMaxNameLength || !InRange(value, length, section.size()))
        return false;
    out = ResName::Name(std::string(reinterpret_cast<const char*>(&section[value]), length));
    return true;
}

bool ParseIndex(const std::vector<uint8_t>& section, std::vector<ResourceView>& out) {
    if (section.size() < kHeaderSize || std::memcmp(section.data(), kMagic, 4) != 0 ||
        Get32(&section[4]) != kVersion)
        return false;
    const uint64_t count = Get32(&section[8]);
    if (count > (section.size() - kHeaderSize) / kEntrySize)
        return false;
    out.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = &section[kHeaderSize + i * kEntrySize];
        if (e[0] > 1 || e[1] > 1)
            return false;
        ResourceView view;
        if (!DecodeName(section, e[0] != 0, Get32(e + 4), Get32(e + 8), view.type) ||
            !DecodeName(section, e[1] != 0, Get32(e + 12), Get32(e + 16), view.id))
            return false;
        const uint64_t offset = Get64(e + 24);
        view.size = Get64(e + 32);
        if (!InRange(offset, view.size, section.size()))
            return false;
        view.data = section.data() + offset;
        out.push_back(std::move(view));
    }
    return true;
}

bool KeyLess(const ResourceView& a, const ResourceView& b) {
    if (a.type != b.type)
        return a.type < b.type;
    return a.id < b.id;
}

} // namespace

class ImageReader {
public:
    static KTErr Read(const ByteSource& source, std::unique_ptr<Image>& out) {
        out.reset();
        ElfLayout layout;
        if (KTErr err = ReadElfLayout(source, false, layout))
            return err;
        std::unique_ptr<Image> image(new Image());
        if (layout.resourceIndex >= 0) {
            const Elf64_Shdr& s = layout.sections[static_cast<size_t>(layout.resourceIndex)];
            image->hasSection = true;
            image->section.resize(s.sh_size);
            if (!source.ReadAt(s.sh_offset, image->section.data(), s.sh_size))
                return eFMReadFailed;
            if (!ParseIndex(image->section, image->resources))
                return kBad;
        }
        auto& order = image->sorted;
        order.resize(image->resources.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        const auto& res = image->resources;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return KeyLess(res[a], res[b]); });
        out = std::move(image);
        return eNoErr;
    }
};

KTErr Image::OpenFile(const std::filesystem::path& file, std::unique_ptr<Image>& out) {
    out.reset();
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ConvertErrorPOSIX(errno);
    struct stat st {};
    KTErr err = eNoErr;
    if (fstat(fd, &st) != 0)
        err = ConvertErrorPOSIX(errno);
    else if (!S_ISREG(st.st_mode))
        err = kBad;
    else
        err = ImageReader::Read(FileSource(fd, static_cast<uint64_t>(st.st_size)), out);
    close(fd);
    return err;
}

KTErr Image::OpenMemory(std::span<const uint8_t> bytes, std::unique_ptr<Image>& out) {
    return ImageReader::Read(MemorySource(bytes.data(), bytes.size()), out);
}

const ResourceView* Image::Find(const ResName& type, const ResName& id) const {
    ResourceView key;
    key.type = type;
    key.id = id;
    auto it = std::lower_bound(sorted.begin(), sorted.end(), key,
                               [&](size_t i, const auto& k) { return KeyLess(resources[i], k); });
    if (it == sorted.end() || resources[*it].type != type || resources[*it].id != id)
        return nullptr;
    return &resources[*it];
}

std::vector<ResName> Image::Types() const {
    std::vector<ResName> types;
    for (size_t i : sorted)
        if (types.empty() || types.back() != resources[i].type)
            types.push_back(resources[i].type);
    return types;
}

std::vector<ResName> Image::Ids(const ResName& type) const {
    std::vector<ResName> ids;
    for (size_t i : sorted)
        if (resources[i].type == type && (ids.empty() || ids.back() != resources[i].id))
            ids.push_back(resources[i].id);
    return ids;
}

std::vector<Resource> Image::CopyResources() const {
    std::vector<Resource> copy;
    copy.reserve(resources.size());
    for (size_t i : sorted) {
        const ResourceView& r = resources[i];
        if (!copy.empty() && copy.back().type == r.type && copy.back().id == r.id)
            continue; // a later duplicate is shadowed by the first
        copy.push_back({r.type, r.id, std::vector<uint8_t>(r.data, r.data + r.size)});
    }
    return copy;
}

} // namespace kvElfRes

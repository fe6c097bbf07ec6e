#include "ElfLayout.h"
#include "foundation/ElfRes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

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

// Reads [offset, offset + count) of the resource section into `out`.
KTErr ReadSection(const ByteSource& source, uint64_t sectionOffset, uint64_t offset, uint64_t count,
                  std::vector<uint8_t>& out) {
    out.resize(count);
    return source.ReadAt(sectionOffset + offset, out.data(), count) ? eNoErr : eFMReadFailed;
}

// One type or id field of an entry: a number below 65536, or a name of 1 to
// kMaxNameLength bytes inside the section, behind the entries (where the
// writer puts names).
bool CheckName(uint64_t sectionSize, uint64_t entriesEnd, bool isName, uint32_t value,
               uint32_t length) {
    if (!isName)
        return value <= 0xFFFF && length == 0;
    return length != 0 && length <= kMaxNameLength && value >= entriesEnd &&
           InRange(value, length, sectionSize);
}

KTErr ReadName(const ByteSource& source, uint64_t sectionOffset, bool isName, uint32_t value,
               uint32_t length, ResName& out) {
    if (!isName) {
        out = ResName::Number(static_cast<uint16_t>(value));
        return eNoErr;
    }
    char text[kMaxNameLength];
    if (!source.ReadAt(sectionOffset + value, text, length))
        return eFMReadFailed;
    out = ResName::Name(std::string(text, length));
    return eNoErr;
}

// Reads the index of the resource section: its header and entries, then
// each name. Every count, offset and size is checked against the section
// before anything is allocated or read; resource bytes are not read.
KTErr ReadIndex(const ByteSource& source, uint64_t sectionOffset, uint64_t sectionSize,
                std::vector<ResourceView>& out) {
    std::vector<uint8_t> head;
    if (sectionSize < kHeaderSize)
        return kBad;
    if (KTErr err = ReadSection(source, sectionOffset, 0, kHeaderSize, head))
        return err;
    if (std::memcmp(head.data(), kMagic, 4) != 0 || Get32(&head[4]) != kVersion)
        return kBad;
    const uint64_t count = Get32(&head[8]);
    if (count > kMaxResources || count > (sectionSize - kHeaderSize) / kEntrySize)
        return kBad;
    const uint64_t entriesEnd = kHeaderSize + count * kEntrySize;
    if (KTErr err = ReadSection(source, sectionOffset, 0, entriesEnd, head))
        return err;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = &head[kHeaderSize + i * kEntrySize];
        if (e[0] > 1 || e[1] > 1 ||
            !CheckName(sectionSize, entriesEnd, e[0] != 0, Get32(e + 4), Get32(e + 8)) ||
            !CheckName(sectionSize, entriesEnd, e[1] != 0, Get32(e + 12), Get32(e + 16)) ||
            Get64(e + 24) < entriesEnd || Get64(e + 32) > kMaxResourceBytes ||
            !InRange(Get64(e + 24), Get64(e + 32), sectionSize))
            return kBad;
    }
    out.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = &head[kHeaderSize + i * kEntrySize];
        ResourceView view;
        if (KTErr err =
                ReadName(source, sectionOffset, e[0] != 0, Get32(e + 4), Get32(e + 8), view.type))
            return err;
        if (KTErr err =
                ReadName(source, sectionOffset, e[1] != 0, Get32(e + 12), Get32(e + 16), view.id))
            return err;
        view.offset = Get64(e + 24);
        view.size = Get64(e + 32);
        out.push_back(std::move(view));
    }
    return eNoErr;
}

bool KeyLess(const ResourceView& a, const ResourceView& b) {
    if (a.type != b.type)
        return a.type < b.type;
    return a.id < b.id;
}

} // namespace

class ImageReader {
public:
    // `fd` is handed to the image when the read succeeds (and closed by the
    // caller otherwise); -1 for a memory image, whose section is copied.
    static KTErr Read(const ByteSource& source, int fd, std::unique_ptr<Image>& out) {
        out.reset();
        ElfLayout layout;
        if (KTErr err = ReadElfLayout(source, false, layout))
            return err;
        std::unique_ptr<Image> image(new Image());
        if (layout.resourceIndex >= 0) {
            const Elf64_Shdr& s = layout.sections[static_cast<size_t>(layout.resourceIndex)];
            image->hasSection = true;
            image->sectionOffset = s.sh_offset;
            if (KTErr err = ReadIndex(source, s.sh_offset, s.sh_size, image->resources))
                return err;
            if (fd < 0)
                if (KTErr err = ReadSection(source, s.sh_offset, 0, s.sh_size, image->memory))
                    return err;
        }
        auto& order = image->sorted;
        order.resize(image->resources.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        const auto& res = image->resources;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return KeyLess(res[a], res[b]); });
        image->fd = fd;
        out = std::move(image);
        return eNoErr;
    }
};

Image::~Image() {
    if (fd >= 0)
        close(fd);
}

namespace {

// Runs a step of the reader: running out of memory is a status, never an
// exception out of it.
template <typename Step>
KTErr Guarded(Step step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    } catch (...) {
        return kBad;
    }
}

} // namespace

KTErr Image::OpenFile(const std::filesystem::path& file, std::unique_ptr<Image>& out) {
    out.reset();
    // Without O_NONBLOCK, opening a named pipe would wait for a writer.
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return ConvertErrorPOSIX(errno);
    struct stat st {};
    KTErr err = eNoErr;
    if (fstat(fd, &st) != 0)
        err = ConvertErrorPOSIX(errno);
    else if (!S_ISREG(st.st_mode))
        err = kBad;
    else
        err = Guarded([&] {
            return ImageReader::Read(FileSource(fd, static_cast<uint64_t>(st.st_size)), fd, out);
        });
    if (err != eNoErr)
        close(fd);
    return err;
}

KTErr Image::OpenMemory(std::span<const uint8_t> bytes, std::unique_ptr<Image>& out) {
    return Guarded(
        [&] { return ImageReader::Read(MemorySource(bytes.data(), bytes.size()), -1, out); });
}

const uint8_t* Image::Data(const ResourceView& r) const {
    if (r.size == 0)
        return nullptr;
    if (fd < 0)
        return memory.data() + r.offset; // checked against the section when read
    auto key = std::make_pair(r.offset, r.size);
    auto it = cache.find(key);
    if (it == cache.end()) {
        std::vector<uint8_t> bytes;
        const KTErr err = Guarded([&]() -> KTErr {
            if (r.size > kMaxResourceBytes)
                return kBad;
            if (KTErr e =
                    ReadSection(FileSource(fd, UINT64_MAX), sectionOffset, r.offset, r.size, bytes))
                return e;
            it = cache.emplace(key, std::move(bytes)).first;
            return eNoErr;
        });
        if (err != eNoErr)
            return nullptr;
    }
    return it->second.data();
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

KTErr Image::CopyResources(std::vector<Resource>& copy) const {
    return Guarded([&] { return CopyAll(copy); });
}

KTErr Image::CopyAll(std::vector<Resource>& copy) const {
    copy.clear();
    copy.reserve(resources.size());
    for (size_t i : sorted) {
        const ResourceView& r = resources[i];
        if (!copy.empty() && copy.back().type == r.type && copy.back().id == r.id)
            continue; // a later duplicate is shadowed by the first
        const uint8_t* bytes = Data(r);
        if (bytes == nullptr && r.size != 0)
            return eFMReadFailed;
        copy.push_back({r.type, r.id, std::vector<uint8_t>(bytes, bytes + r.size)});
    }
    return eNoErr;
}

} // namespace kvElfRes

#include "ElfLayout.h"

#include "foundation/ElfRes.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvElfRes::detail {

bool FileSource::ReadAt(uint64_t offset, void* out, size_t count) const {
    auto* dst = static_cast<uint8_t*>(out);
    while (count > 0) {
        ssize_t got = pread(fd, dst, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        dst += got;
        offset += static_cast<uint64_t>(got);
        count -= static_cast<size_t>(got);
    }
    return true;
}

bool MemorySource::ReadAt(uint64_t offset, void* out, size_t count) const {
    if (!InRange(offset, count, size))
        return false;
    if (count > 0)
        std::memcpy(out, data + offset, count);
    return true;
}

namespace {

constexpr KTErr kBad = eRMInvalidResContainer;

// Far beyond any linked program or library; a file claiming more is
// refused before its tables are allocated or read.
constexpr uint64_t kMaxSections = 1u << 18;
constexpr uint64_t kMaxSegments = 1u << 16;
constexpr uint64_t kMaxNameTableBytes = 16u << 20;

KTErr Read(const ByteSource& source, uint64_t offset, void* out, uint64_t count) {
    if (!InRange(offset, count, source.Size()))
        return kBad;
    return source.ReadAt(offset, out, static_cast<size_t>(count)) ? eNoErr : eFMReadFailed;
}

bool HeaderIsUsable(const Elf64_Ehdr& h) {
    if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0)
        return false;
    if (h.e_ident[EI_CLASS] != ELFCLASS64 || h.e_ident[EI_DATA] != ELFDATA2LSB ||
        h.e_ident[EI_VERSION] != EV_CURRENT || h.e_version != EV_CURRENT)
        return false;
    if (h.e_type != ET_EXEC && h.e_type != ET_DYN)
        return false;
    return h.e_ehsize == sizeof(Elf64_Ehdr);
}

KTErr ReadSections(const ByteSource& source, ElfLayout& out) {
    const Elf64_Ehdr& h = out.header;
    const uint64_t size = source.Size();
    if (h.e_shoff == 0)
        return eNoErr; // no section table: a valid file without resources
    if (h.e_shentsize != sizeof(Elf64_Shdr))
        return kBad;
    Elf64_Shdr first{};
    if (KTErr err = Read(source, h.e_shoff, &first, sizeof first))
        return err;
    uint64_t count = h.e_shnum;
    if (count == 0) {
        count = first.sh_size;
        out.extendedCount = true;
    }
    if (count == 0 || count > kMaxSections || count > (size - h.e_shoff) / sizeof(Elf64_Shdr))
        return kBad;
    out.sections.resize(count);
    if (KTErr err = Read(source, h.e_shoff, out.sections.data(), count * sizeof(Elf64_Shdr)))
        return err;

    uint64_t namesIndex = h.e_shstrndx;
    if (namesIndex == SHN_XINDEX) {
        namesIndex = first.sh_link;
        out.extendedNamesIndex = true;
    }
    if (namesIndex == SHN_UNDEF)
        return eNoErr; // no names: no section can be the resource section
    if (namesIndex >= count)
        return kBad;
    const Elf64_Shdr& names = out.sections[namesIndex];
    if (names.sh_type != SHT_STRTAB || names.sh_size > kMaxNameTableBytes ||
        !InRange(names.sh_offset, names.sh_size, size))
        return kBad;
    out.namesIndex = static_cast<uint32_t>(namesIndex);
    out.names.resize(names.sh_size);
    return Read(source, names.sh_offset, out.names.data(), names.sh_size);
}

KTErr ReadSegments(const ByteSource& source, ElfLayout& out) {
    const Elf64_Ehdr& h = out.header;
    uint64_t count = h.e_phnum;
    if (count == PN_XNUM) {
        if (out.sections.empty())
            return kBad;
        count = out.sections[0].sh_info;
    }
    if (count == 0)
        return eNoErr;
    if (h.e_phentsize != sizeof(Elf64_Phdr) || count > kMaxSegments ||
        count > source.Size() / sizeof(Elf64_Phdr))
        return kBad;
    out.segments.resize(count);
    return Read(source, h.e_phoff, out.segments.data(), count * sizeof(Elf64_Phdr));
}

} // namespace

bool SectionNameIs(const ElfLayout& layout, const Elf64_Shdr& section, const char* name) {
    const size_t length = std::strlen(name);
    if (section.sh_name >= layout.names.size())
        return false;
    const size_t room = layout.names.size() - section.sh_name;
    return room > length && std::memcmp(&layout.names[section.sh_name], name, length + 1) == 0;
}

KTErr ReadElfLayout(const ByteSource& source, bool withSegments, ElfLayout& out) {
    out = ElfLayout{};
    if (source.Size() < sizeof(Elf64_Ehdr))
        return kBad;
    if (KTErr err = Read(source, 0, &out.header, sizeof out.header))
        return err;
    if (!HeaderIsUsable(out.header))
        return kBad;
    if (KTErr err = ReadSections(source, out))
        return err;

    const uint64_t size = source.Size();
    for (size_t i = 1; i < out.sections.size(); ++i) {
        const Elf64_Shdr& s = out.sections[i];
        const bool hasBytes = s.sh_type != SHT_NOBITS && s.sh_type != SHT_NULL;
        if (out.resourceIndex < 0 && out.namesIndex != 0 && SectionNameIs(out, s, kSectionName)) {
            if (!hasBytes || !InRange(s.sh_offset, s.sh_size, size))
                return kBad;
            out.resourceIndex = static_cast<int64_t>(i);
        }
        if (withSegments && hasBytes && !InRange(s.sh_offset, s.sh_size, size))
            return kBad;
    }
    if (!withSegments)
        return eNoErr;
    if (KTErr err = ReadSegments(source, out))
        return err;
    for (const Elf64_Phdr& p : out.segments)
        if (!InRange(p.p_offset, p.p_filesz, size))
            return kBad;
    return eNoErr;
}

} // namespace kvElfRes::detail

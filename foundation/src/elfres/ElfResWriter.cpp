#include "ElfLayout.h"
#include "foundation/ElfRes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <tuple>

namespace kvElfRes {

using namespace detail;

namespace {

constexpr KTErr kBad = eRMInvalidResContainer;

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    std::memcpy(&out[at], &v, 4);
}
void Put64(std::vector<uint8_t>& out, size_t at, uint64_t v) {
    std::memcpy(&out[at], &v, 8);
}

KTErr CheckResources(const std::vector<Resource>& resources) {
    // Nothing the reader would refuse is written.
    if (resources.size() > kMaxResources)
        return eFMFileSizeTooBig;
    std::vector<std::pair<const ResName*, const ResName*>> keys;
    for (const Resource& r : resources) {
        if (r.data.size() > kMaxResourceBytes)
            return eFMFileSizeTooBig;
        for (const ResName* n : {&r.type, &r.id})
            if (!n->IsNumber() && (n->GetName().empty() || n->GetName().size() > kMaxNameLength))
                return eRMInvalidResID;
        keys.emplace_back(&r.type, &r.id);
    }
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        return std::tie(*a.first, *a.second) < std::tie(*b.first, *b.second);
    });
    for (size_t i = 1; i < keys.size(); ++i)
        if (*keys[i].first == *keys[i - 1].first && *keys[i].second == *keys[i - 1].second)
            return eRMResExists;
    return eNoErr;
}

// The resource section: header, entries, names, then the data, each piece
// of data aligned to 8 bytes.
std::vector<uint8_t> BuildSection(const std::vector<Resource>& resources) {
    std::vector<uint8_t> out(kHeaderSize + resources.size() * kEntrySize, 0);
    std::memcpy(out.data(), kMagic, 4);
    Put32(out, 4, kVersion);
    Put32(out, 8, static_cast<uint32_t>(resources.size()));
    // A number, or a name appended to the section: kind byte at `kindAt`,
    // value (number or name offset) and name length at `valueAt`.
    auto encode = [&](const ResName& n, size_t kindAt, size_t valueAt) {
        if (n.IsNumber()) {
            Put32(out, valueAt, n.GetNumber());
            return;
        }
        out[kindAt] = 1;
        const size_t offset = out.size();
        out.insert(out.end(), n.GetName().begin(), n.GetName().end());
        Put32(out, valueAt, static_cast<uint32_t>(offset));
        Put32(out, valueAt + 4, static_cast<uint32_t>(n.GetName().size()));
    };
    for (size_t i = 0; i < resources.size(); ++i) {
        const size_t entry = kHeaderSize + i * kEntrySize;
        encode(resources[i].type, entry, entry + 4);
        encode(resources[i].id, entry + 1, entry + 12);
    }
    for (size_t i = 0; i < resources.size(); ++i) {
        const size_t entry = kHeaderSize + i * kEntrySize;
        out.resize(AlignUp(out.size(), 8), 0);
        Put64(out, entry + 24, out.size());
        Put64(out, entry + 32, resources[i].data.size());
        out.insert(out.end(), resources[i].data.begin(), resources[i].data.end());
    }
    return out;
}

KTErr StatusOfWriteErrno(int e) {
    switch (e) {
    case EACCES:
    case EPERM:
    case EROFS:
        return eFMPermissionErr;
    case ENOSPC:
    case EDQUOT:
        return eFMDiskFull;
    default: {
        KTErr err = ConvertErrorPOSIX(e);
        return err == eGenericErr ? eFMWriteFailed : err;
    }
    }
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd(fd) {}
    ~Fd() {
        if (fd >= 0)
            close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd; }
    int Release() {
        int f = fd;
        fd = -1;
        return f;
    }

private:
    int fd;
};

bool WriteAll(int fd, const void* data, size_t count, uint64_t offset) {
    auto* p = static_cast<const uint8_t*>(data);
    while (count > 0) {
        ssize_t done = pwrite(fd, p, count, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = EIO;
            return false;
        }
        p += done;
        offset += static_cast<uint64_t>(done);
        count -= static_cast<size_t>(done);
    }
    return true;
}

// Copies [0, length) of `from` to the start of `to`.
bool CopyPrefix(int from, int to, uint64_t length) {
    loff_t in = 0, out = 0;
    while (static_cast<uint64_t>(in) < length) {
        const size_t chunk = static_cast<size_t>(
            std::min<uint64_t>(length - static_cast<uint64_t>(in), uint64_t(1) << 30));
        ssize_t done = copy_file_range(from, &in, to, &out, chunk, 0);
        if (done > 0 || (done < 0 && errno == EINTR))
            continue;
        if (done == 0) {
            errno = EIO; // the file shrank under us
            return false;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            return false;
        break; // no kernel copy here: go on through a buffer
    }
    std::vector<uint8_t> buffer;
    const FileSource source(from, length);
    while (static_cast<uint64_t>(in) < length) {
        const size_t n = static_cast<size_t>(
            std::min<uint64_t>(length - static_cast<uint64_t>(in), uint64_t(1) << 20));
        buffer.resize(n);
        if (!source.ReadAt(static_cast<uint64_t>(in), buffer.data(), n)) {
            errno = EIO;
            return false;
        }
        if (!WriteAll(to, buffer.data(), n, static_cast<uint64_t>(out)))
            return false;
        in += static_cast<loff_t>(n);
        out += static_cast<loff_t>(n);
    }
    return true;
}

// Where the kept part of the file ends: everything a segment or a section
// other than the resource section covers, and the headers.
uint64_t KeptLength(const ElfLayout& layout) {
    const Elf64_Ehdr& h = layout.header;
    uint64_t end = sizeof(Elf64_Ehdr);
    if (!layout.segments.empty())
        end = std::max<uint64_t>(end, h.e_phoff + layout.segments.size() * sizeof(Elf64_Phdr));
    for (const Elf64_Phdr& p : layout.segments)
        end = std::max<uint64_t>(end, p.p_offset + p.p_filesz);
    for (size_t i = 1; i < layout.sections.size(); ++i) {
        const Elf64_Shdr& s = layout.sections[i];
        if (static_cast<int64_t>(i) == layout.resourceIndex || s.sh_type == SHT_NOBITS ||
            s.sh_type == SHT_NULL)
            continue;
        end = std::max<uint64_t>(end, s.sh_offset + s.sh_size);
    }
    return end;
}

// Offset of `name` as a whole string inside a string table, or -1.
int64_t FindString(const std::vector<char>& table, const char* name) {
    const size_t length = std::strlen(name) + 1;
    for (size_t i = 0; i + length <= table.size(); ++i)
        if ((i == 0 || table[i - 1] == '\0') && std::memcmp(&table[i], name, length) == 0)
            return static_cast<int64_t>(i);
    return -1;
}

struct Plan {
    Elf64_Ehdr header{};
    std::vector<Elf64_Shdr> sections;
    std::vector<char> newNames; // written only when not empty
    uint64_t keptLength = 0, namesOffset = 0, sectionOffset = 0, tableOffset = 0;
};

Plan MakePlan(const ElfLayout& layout, uint64_t sectionSize) {
    Plan plan;
    plan.header = layout.header;
    plan.sections = layout.sections;
    plan.keptLength = KeptLength(layout);
    if (plan.sections.empty())
        plan.sections.push_back(Elf64_Shdr{});

    uint32_t namesIndex = layout.namesIndex;
    int64_t nameOffset = FindString(layout.names, kSectionName);
    if (namesIndex == 0) {
        // No name table: make one, named itself.
        const char initial[] = "\0.shstrtab";
        plan.newNames.assign(initial, initial + sizeof initial);
        Elf64_Shdr names{};
        names.sh_name = 1;
        names.sh_type = SHT_STRTAB;
        names.sh_addralign = 1;
        namesIndex = static_cast<uint32_t>(plan.sections.size());
        plan.sections.push_back(names);
        nameOffset = -1;
    } else if (nameOffset < 0) {
        plan.newNames = layout.names;
        if (plan.newNames.empty() || plan.newNames.back() != '\0')
            plan.newNames.push_back('\0');
    }
    if (nameOffset < 0) {
        nameOffset = static_cast<int64_t>(plan.newNames.size());
        const std::string name = kSectionName;
        plan.newNames.insert(plan.newNames.end(), name.begin(), name.end());
        plan.newNames.push_back('\0');
    }

    uint64_t position = plan.keptLength;
    if (!plan.newNames.empty()) {
        plan.namesOffset = position;
        position += plan.newNames.size();
        Elf64_Shdr& names = plan.sections[namesIndex];
        names.sh_offset = plan.namesOffset;
        names.sh_size = plan.newNames.size();
    }
    plan.sectionOffset = AlignUp(position, 16);
    position = plan.sectionOffset + sectionSize;

    Elf64_Shdr resources{};
    resources.sh_name = static_cast<uint32_t>(nameOffset);
    resources.sh_type = SHT_PROGBITS;
    resources.sh_offset = plan.sectionOffset;
    resources.sh_size = sectionSize;
    resources.sh_addralign = 8;
    if (layout.resourceIndex >= 0)
        plan.sections[static_cast<size_t>(layout.resourceIndex)] = resources;
    else
        plan.sections.push_back(resources);

    plan.tableOffset = AlignUp(position, 8);
    Elf64_Ehdr& h = plan.header;
    h.e_shoff = plan.tableOffset;
    h.e_shentsize = sizeof(Elf64_Shdr);
    const uint64_t count = plan.sections.size();
    if (layout.extendedCount || count >= SHN_LORESERVE) {
        h.e_shnum = 0;
        plan.sections[0].sh_size = count;
    } else {
        h.e_shnum = static_cast<Elf64_Half>(count);
    }
    if (layout.extendedNamesIndex || namesIndex >= SHN_LORESERVE) {
        h.e_shstrndx = SHN_XINDEX;
        plan.sections[0].sh_link = namesIndex;
    } else {
        h.e_shstrndx = static_cast<Elf64_Half>(namesIndex);
    }
    return plan;
}

KTErr WriteNewFile(int source, int target, const Plan& plan, const std::vector<uint8_t>& section) {
    const uint64_t padding = plan.tableOffset - plan.sectionOffset - section.size();
    const std::vector<uint8_t> zeros(16 + padding, 0);
    bool ok = CopyPrefix(source, target, plan.keptLength) &&
              WriteAll(target, &plan.header, sizeof plan.header, 0);
    if (ok && !plan.newNames.empty())
        ok = WriteAll(target, plan.newNames.data(), plan.newNames.size(), plan.namesOffset);
    const uint64_t gapStart =
        plan.newNames.empty() ? plan.keptLength : plan.namesOffset + plan.newNames.size();
    ok = ok && WriteAll(target, zeros.data(), plan.sectionOffset - gapStart, gapStart) &&
         WriteAll(target, section.data(), section.size(), plan.sectionOffset) &&
         WriteAll(target, zeros.data(), padding, plan.sectionOffset + section.size()) &&
         WriteAll(target, plan.sections.data(), plan.sections.size() * sizeof(Elf64_Shdr),
                  plan.tableOffset);
    return ok ? eNoErr : StatusOfWriteErrno(errno);
}

KTErr WriteAllResources(const std::filesystem::path& file, const std::vector<Resource>& resources) {
    if (KTErr err = CheckResources(resources))
        return err;
    // Write through a symbolic link to the file it names.
    std::error_code ec;
    std::filesystem::path target = std::filesystem::canonical(file, ec);
    if (ec)
        return StatusOfFSError(ec);

    // Without O_NONBLOCK, opening a named pipe would wait for a writer.
    Fd source(open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (source.Get() < 0)
        return ConvertErrorPOSIX(errno);
    struct stat st {};
    if (fstat(source.Get(), &st) != 0)
        return ConvertErrorPOSIX(errno);
    if (!S_ISREG(st.st_mode))
        return kBad;
    ElfLayout layout;
    FileSource bytes(source.Get(), static_cast<uint64_t>(st.st_size));
    if (KTErr err = ReadElfLayout(bytes, true, layout))
        return err;
    if (access(target.c_str(), W_OK) != 0)
        return StatusOfWriteErrno(errno);

    const std::vector<uint8_t> section = BuildSection(resources);
    const Plan plan = MakePlan(layout, section.size());

    std::string leaf(1, '.');
    leaf.append(target.filename().string()).append(".XXXXXX");
    std::string temp = target.parent_path() / leaf;
    Fd out(mkostemp(temp.data(), O_CLOEXEC));
    if (out.Get() < 0)
        return StatusOfWriteErrno(errno);
    KTErr err = WriteNewFile(source.Get(), out.Get(), plan, section);
    if (err == eNoErr && (fchmod(out.Get(), st.st_mode & 07777) != 0 || fsync(out.Get()) != 0))
        err = StatusOfWriteErrno(errno);
    if (err == eNoErr && close(out.Release()) != 0)
        err = StatusOfWriteErrno(errno);
    if (err == eNoErr && rename(temp.c_str(), target.c_str()) != 0)
        err = StatusOfWriteErrno(errno);
    if (err != eNoErr)
        unlink(temp.c_str());
    return err;
}

} // namespace

KTErr WriteResources(const std::filesystem::path& file, const std::vector<Resource>& resources) {
    try {
        return WriteAllResources(file, resources);
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    } catch (...) {
        return eFMWriteFailed;
    }
}

} // namespace kvElfRes

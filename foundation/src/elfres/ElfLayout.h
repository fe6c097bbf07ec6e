// The parts of an ELF64 file that the resource reader and writer look at,
// read from a byte source with every offset and size checked.
#pragma once

#include "foundation/KTErr.h"

#include <elf.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvElfRes::detail {

// Random access to the bytes of a file or of a memory image.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `count` bytes at `offset`; false on a short read or an
    // I/O error. Callers check the range first.
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) const = 0;
};

// The bytes of an open file descriptor (not owned).
class FileSource : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : fd(fd), size(size) {}
    uint64_t Size() const override { return size; }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override;

private:
    int fd;
    uint64_t size;
};

// The bytes of a memory block (not owned).
class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, uint64_t size) : data(data), size(size) {}
    uint64_t Size() const override { return size; }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override;

private:
    const uint8_t* data;
    uint64_t size;
};

// True when [offset, offset + length) lies inside [0, size).
inline bool InRange(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

struct ElfLayout {
    Elf64_Ehdr header{};
    std::vector<Elf64_Phdr> segments; // read only when asked for
    std::vector<Elf64_Shdr> sections; // empty when the file has no table
    std::vector<char> names;          // the section name table
    uint32_t namesIndex = 0;          // 0 when there is no name table
    int64_t resourceIndex = -1;       // the resource section, -1 when absent
    bool extendedCount = false;       // section count kept in section 0
    bool extendedNamesIndex = false;  // name table index kept in section 0
};

// Reads and checks the headers. eRMInvalidResContainer for anything that is
// not a well-formed 64-bit little-endian executable or shared object;
// eFMReadFailed when reading fails. With `withSegments` the program headers
// and the ranges of every section and segment are checked as well (the
// writer needs them).
KTErr ReadElfLayout(const ByteSource& source, bool withSegments, ElfLayout& out);

// The name of section `index` as a string view into layout.names, or an
// empty view when it has none.
bool SectionNameIs(const ElfLayout& layout, const Elf64_Shdr& section, const char* name);

// The resource section format (little-endian):
//   header: "KVRS", u32 version (1), u32 entry count, u32 reserved (0)
//   entry:  u8 type is a name, u8 id is a name, u16 reserved,
//           u32 type (number, or offset of its name), u32 type name length,
//           u32 id (number, or offset of its name), u32 id name length,
//           u32 reserved, u64 data offset, u64 data size
// All offsets are relative to the start of the section.
inline constexpr char kMagic[4] = {'K', 'V', 'R', 'S'};
inline constexpr uint32_t kVersion = 1;
inline constexpr size_t kHeaderSize = 16;
inline constexpr size_t kEntrySize = 40;

} // namespace kvElfRes::detail

#include "FMInternal.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KCStFile.h"

#include <cstring>
#include <new>
#include <strings.h>

namespace {

// A view of an image in memory; every read is checked against its size.
struct Image {
    const unsigned char* data;
    size_t size;

    template <typename T>
    const T* At(uint64_t offset, uint64_t count = 1) const {
        if (data == nullptr || count > size / sizeof(T) || offset > size - count * sizeof(T))
            return nullptr;
        const unsigned char* p = data + offset;
        if (reinterpret_cast<uintptr_t>(p) % alignof(T) != 0)
            return nullptr;
        return reinterpret_cast<const T*>(p);
    }

    // A NUL-terminated text at `offset` inside the range [begin, begin+len).
    const char* Text(uint64_t begin, uint64_t len, uint64_t offset) const {
        if (begin > size || len > size - begin || offset >= len)
            return nullptr;
        const auto* s = reinterpret_cast<const char*>(data + begin + offset);
        return std::memchr(s, '\0', len - offset) ? s : nullptr;
    }
};

const Elf64_Ehdr* Header(const Image& img) {
    const auto* eh = img.At<Elf64_Ehdr>(0);
    if (eh == nullptr || std::memcmp(eh->e_ident, ELFMAG, SELFMAG) != 0 ||
        eh->e_ident[EI_CLASS] != ELFCLASS64 || eh->e_ident[EI_DATA] != ELFDATA2LSB)
        return nullptr;
    return eh;
}

// The section headers, or null when the table does not fit the image.
const Elf64_Shdr* Sections(const Image& img, const Elf64_Ehdr* eh) {
    if (eh->e_shnum == 0 || eh->e_shentsize != sizeof(Elf64_Shdr))
        return nullptr;
    return img.At<Elf64_Shdr>(eh->e_shoff, eh->e_shnum);
}

const Elf64_Shdr* SectionAt(const Image& img, const Elf64_Ehdr* eh, uint64_t index) {
    const Elf64_Shdr* sh = Sections(img, eh);
    return sh != nullptr && index < eh->e_shnum ? sh + index : nullptr;
}

// The file offset of a virtual address inside a loaded segment.
bool FileOffsetOf(const Image& img, const Elf64_Ehdr* eh, uint64_t vaddr, uint64_t& offset) {
    if (eh->e_phnum == 0 || eh->e_phentsize != sizeof(Elf64_Phdr))
        return false;
    const auto* ph = img.At<Elf64_Phdr>(eh->e_phoff, eh->e_phnum);
    if (ph == nullptr)
        return false;
    for (unsigned i = 0; i < eh->e_phnum; ++i) {
        if (ph[i].p_type != PT_LOAD || vaddr < ph[i].p_vaddr)
            continue;
        const uint64_t delta = vaddr - ph[i].p_vaddr;
        if (delta < ph[i].p_filesz && ph[i].p_offset <= img.size &&
            delta < img.size - ph[i].p_offset) {
            offset = ph[i].p_offset + delta;
            return true;
        }
    }
    return false;
}

struct SymbolTable {
    const Elf64_Sym* symbols = nullptr;
    uint64_t count = 0;
    const Elf64_Shdr* strings = nullptr;
};

bool DynamicSymbols(const Image& img, const Elf64_Ehdr* eh, SymbolTable& table) {
    const Elf64_Shdr* sh = Sections(img, eh);
    if (sh == nullptr)
        return false;
    for (unsigned i = 0; i < eh->e_shnum; ++i) {
        if (sh[i].sh_type != SHT_DYNSYM || sh[i].sh_entsize != sizeof(Elf64_Sym))
            continue;
        table.count = sh[i].sh_size / sizeof(Elf64_Sym);
        table.symbols = img.At<Elf64_Sym>(sh[i].sh_offset, table.count);
        table.strings = SectionAt(img, eh, sh[i].sh_link);
        return table.symbols != nullptr && table.strings != nullptr;
    }
    return false;
}

bool IsExported(const Elf64_Sym& sym) {
    const unsigned bind = ELF64_ST_BIND(sym.st_info);
    const unsigned type = ELF64_ST_TYPE(sym.st_info);
    return sym.st_shndx != SHN_UNDEF && (bind == STB_GLOBAL || bind == STB_WEAK) &&
           (type == STT_FUNC || type == STT_OBJECT || type == STT_GNU_IFUNC);
}

// Calls fn(name, address) for every exported symbol with a place in the
// file; stops when fn answers false.
template <typename Fn>
void ForEachExport(const Image& img, Fn fn) {
    const Elf64_Ehdr* eh = Header(img);
    SymbolTable table;
    if (eh == nullptr || !DynamicSymbols(img, eh, table))
        return;
    for (uint64_t i = 0; i < table.count; ++i) {
        const Elf64_Sym& sym = table.symbols[i];
        if (!IsExported(sym))
            continue;
        const char* name = img.Text(table.strings->sh_offset, table.strings->sh_size, sym.st_name);
        uint64_t offset = 0;
        if (name == nullptr || name[0] == '\0' || !FileOffsetOf(img, eh, sym.st_value, offset))
            continue;
        if (!fn(name, static_cast<const void*>(img.data + offset)))
            return;
    }
}

// Reads a whole regular file below 4 GiB into a new block, through the
// file manager's opening (a pipe or device is refused, never waited on).
unsigned long ReadWholeFile(const char* fileName, unsigned char*& out) {
    out = nullptr;
    if (fileName == nullptr)
        return 0;
    KTPathType path{fileName};
    KTOpenFileType* file = nullptr;
    if (kvFM::OpenFile(&path, kvFM::eReadPermission, file) != eNoErr)
        return 0;
    uint64_t size = 0;
    unsigned char* block = nullptr;
    unsigned long done = 0;
    if (kvFM::GetFileSizeFromOpenFileRef(file, size) == eNoErr && size > 0 &&
        size <= kvFM::kMaxTransferPerCall)
        block = new (std::nothrow) unsigned char[size];
    if (block != nullptr &&
        (kvFM::ReadFromFile(file, block, static_cast<unsigned long>(size), done) != eNoErr ||
         done != size)) {
        delete[] block;
        block = nullptr;
    }
    kvFM::CloseFile(file);
    if (block == nullptr)
        return 0;
    out = block;
    return static_cast<unsigned long>(size);
}

} // namespace

const Elf64_Ehdr* KUGetModuleHeader(const void* image, size_t size) {
    return Header(Image{static_cast<const unsigned char*>(image), size});
}

const Elf64_Shdr* KUGetSectionHeader(const char* name, const void* image, size_t size) {
    const Image img{static_cast<const unsigned char*>(image), size};
    const Elf64_Ehdr* eh = Header(img);
    if (name == nullptr || eh == nullptr)
        return nullptr;
    const Elf64_Shdr* sh = Sections(img, eh);
    const Elf64_Shdr* names = SectionAt(img, eh, eh->e_shstrndx);
    if (sh == nullptr || names == nullptr)
        return nullptr;
    for (unsigned i = 0; i < eh->e_shnum; ++i) {
        const char* s = img.Text(names->sh_offset, names->sh_size, sh[i].sh_name);
        if (s != nullptr && ::strcasecmp(s, name) == 0)
            return sh + i;
    }
    return nullptr;
}

bool KUGetModuleFileName(const void* image, size_t size, char* out, int outSize) {
    if (out != nullptr && outSize > 0)
        out[0] = '\0';
    const Image img{static_cast<const unsigned char*>(image), size};
    const Elf64_Ehdr* eh = Header(img);
    const Elf64_Shdr* sh = eh ? Sections(img, eh) : nullptr;
    if (sh == nullptr || out == nullptr || outSize <= 0)
        return false;
    for (unsigned i = 0; i < eh->e_shnum; ++i) {
        if (sh[i].sh_type != SHT_DYNAMIC)
            continue;
        const uint64_t count = sh[i].sh_size / sizeof(Elf64_Dyn);
        const auto* dyn = img.At<Elf64_Dyn>(sh[i].sh_offset, count);
        const Elf64_Shdr* strings = SectionAt(img, eh, sh[i].sh_link);
        if (dyn == nullptr || strings == nullptr)
            return false;
        for (uint64_t d = 0; d < count && dyn[d].d_tag != DT_NULL; ++d) {
            if (dyn[d].d_tag != DT_SONAME)
                continue;
            const char* name = img.Text(strings->sh_offset, strings->sh_size, dyn[d].d_un.d_val);
            if (name == nullptr)
                return false;
            std::strncpy(out, name, static_cast<size_t>(outSize) - 1);
            out[outSize - 1] = '\0';
            return true;
        }
        return false;
    }
    return false;
}

const void* KUGetProcAddress(const void* image, size_t size, const char* name) {
    const void* found = nullptr;
    if (name == nullptr)
        return nullptr;
    ForEachExport(Image{static_cast<const unsigned char*>(image), size},
                  [&](const char* symbol, const void* address) {
                      if (::strcasecmp(symbol, name) != 0)
                          return true;
                      found = address;
                      return false;
                  });
    return found;
}

int KUGetExportedProcsList(const void* image, size_t size, const char** names, const void** procs,
                           int capacity) {
    int count = 0;
    ForEachExport(Image{static_cast<const unsigned char*>(image), size},
                  [&](const char* symbol, const void* address) {
                      if (count < capacity) {
                          if (names != nullptr)
                              names[count] = symbol;
                          if (procs != nullptr)
                              procs[count] = address;
                      }
                      ++count;
                      return true;
                  });
    return count;
}

unsigned long LoadFileToMemory(const char* fileName, void*& out) {
    unsigned char* block = nullptr;
    const unsigned long size = ReadWholeFile(fileName, block);
    out = block;
    return size;
}

unsigned long LoadDataSegmentToMemory(const char* fileName, void*& out) {
    out = nullptr;
    unsigned char* file = nullptr;
    const unsigned long size = ReadWholeFile(fileName, file);
    if (size == 0)
        return 0;
    const Elf64_Shdr* text = KUGetSectionHeader(".text", file, size);
    unsigned long result = 0;
    if (text != nullptr && text->sh_type == SHT_PROGBITS && text->sh_size > 0 &&
        text->sh_offset <= size && text->sh_size <= size - text->sh_offset) {
        auto* block = new unsigned char[text->sh_size];
        std::memcpy(block, file + text->sh_offset, text->sh_size);
        out = block;
        result = static_cast<unsigned long>(text->sh_size);
    }
    delete[] file;
    return result;
}

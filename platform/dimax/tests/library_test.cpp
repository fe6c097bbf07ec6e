// libi2cbrdg.so loaded as its callers load it, on a machine without an
// I2C adapter.
#include "dimax/i2cbrdg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// The names of the symbols the shared object defines in its dynamic symbol
// table (what `nm -D --defined-only` lists), read from the file itself.
std::set<std::string> DefinedDynamicSymbols(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file{std::istreambuf_iterator<char>(in), {}};
    std::set<std::string> names;
    auto fits = [&](uint64_t offset, uint64_t size) {
        return offset <= file.size() && size <= file.size() - offset;
    };
    Elf64_Ehdr header;
    if (!fits(0, sizeof header))
        return names;
    std::memcpy(&header, file.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        !fits(header.e_shoff, uint64_t{header.e_shnum} * sizeof(Elf64_Shdr)))
        return names;
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), file.data() + header.e_shoff,
                sections.size() * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& table : sections) {
        if (table.sh_type != SHT_DYNSYM || table.sh_link >= sections.size() ||
            !fits(table.sh_offset, table.sh_size))
            continue;
        const Elf64_Shdr& strings = sections[table.sh_link];
        if (!fits(strings.sh_offset, strings.sh_size))
            continue;
        for (uint64_t at = 0; at + sizeof(Elf64_Sym) <= table.sh_size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, file.data() + table.sh_offset + at, sizeof symbol);
            if (symbol.st_shndx == SHN_UNDEF || symbol.st_name >= strings.sh_size)
                continue;
            const char* name = file.data() + strings.sh_offset + symbol.st_name;
            names.insert(std::string(name, ::strnlen(name, strings.sh_size - symbol.st_name)));
        }
    }
    return names;
}

TEST(DimaxLibrary, DefinesExactlyTheFiveAdapterFunctions) {
    const std::set<std::string> expected = {"U2C_CloseDevice", "U2C_OpenDevice", "U2C_Read",
                                            "U2C_SetI2cFreq", "U2C_Write"};
    EXPECT_EQ(DefinedDynamicSymbols(I2CBRDG_PATH), expected);
}

TEST(DimaxLibrary, ExportsTheFiveFunctionsAndFailsCleanlyWithoutAnAdapter) {
    ::setenv("DIMAX_U2C_DEVICES", "/nonexistent/i2c-0", 1);
    void* library = dlopen(I2CBRDG_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(dlsym(library, "_ZN5dimax10OpenDeviceEh"), nullptr); // internals stay hidden

    auto open = reinterpret_cast<decltype(&U2C_OpenDevice)>(dlsym(library, "U2C_OpenDevice"));
    auto freq = reinterpret_cast<decltype(&U2C_SetI2cFreq)>(dlsym(library, "U2C_SetI2cFreq"));
    auto write = reinterpret_cast<decltype(&U2C_Write)>(dlsym(library, "U2C_Write"));
    auto read = reinterpret_cast<decltype(&U2C_Read)>(dlsym(library, "U2C_Read"));
    auto close = reinterpret_cast<decltype(&U2C_CloseDevice)>(dlsym(library, "U2C_CloseDevice"));
    ASSERT_TRUE(open && freq && write && read && close);

    EXPECT_EQ(open(0), U2C_INVALID_HANDLE);
    U2C_TRANSACTION t{};
    t.nSlaveDeviceAddress = 0x73;
    t.nBufferLength = 3;
    EXPECT_EQ(freq(U2C_INVALID_HANDLE, 1), U2C_BAD_PARAMETER);
    EXPECT_EQ(write(U2C_INVALID_HANDLE, &t), U2C_BAD_PARAMETER);
    EXPECT_EQ(read(U2C_INVALID_HANDLE, &t), U2C_BAD_PARAMETER);
    EXPECT_EQ(close(U2C_INVALID_HANDLE), U2C_BAD_PARAMETER);
    dlclose(library);
    ::unsetenv("DIMAX_U2C_DEVICES");
}

} // namespace

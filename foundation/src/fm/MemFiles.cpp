#include "FMInternal.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KCMemObj.h"
#include "foundation/KCStFile.h"

#include <cstring>

namespace kvFM {

namespace {

constexpr uint64_t k4GiB = 0x100000000ull;

// Reads exactly `count` bytes at the cursor; a file that ends sooner is a
// failed read, never a success with stale bytes in the block.
KTErr ReadExactly(KTOpenFileType* file, void* buffer, unsigned long count) {
    unsigned long done = 0;
    if (KTErr err = ReadFromFile(file, buffer, count, done))
        return err;
    return done == count ? eNoErr : eFMReadFailed;
}

} // namespace

KTErr ReadTheWholeFile(KTOpenFileType* ref, KCMemObj& block) {
    uint64_t size = 0;
    if (KTErr err = GetFileSizeFromOpenFileRef(ref, size))
        return err;
    if (size >= k4GiB)
        return eFMFileSizeTooBig;
    const auto count = static_cast<unsigned long>(size);
    if (block.NewPtr(count) == nullptr && count > 0)
        return eMemNewFailed;
    if (KTErr err = SetFileCursor(ref, 0, eFromStart))
        return err;
    return ReadExactly(ref, block.GetPtr(), count);
}

KTErr ReadFileToKCMemObj(const KCStPath& path, KCMemObj& block) {
    KCStFileRead file(path);
    if (!file.IsValid())
        return file.GetError() != eNoErr ? file.GetError() : eFMFileNotOpened;
    return file.ReadToKCMemObj(block);
}

KTErr WriteFileFromKCMemObj(const KCStPath& path, const KCMemObj& block) {
    if (path.GetPathRef() == nullptr)
        return eMemNullPointer;
    return WriteFileAtomically(path.GetPathRef(), block.GetPtr(), block.GetPtrSize());
}

KTErr ReadCodeSegment(KTOpenFileType* ref, KCMemObj& block) {
    KCMemObj whole;
    KTErr err = ReadTheWholeFile(ref, whole);
    if (err == eNoErr) {
        const Elf64_Shdr* text = KUGetSectionHeader(".text", whole.GetPtr(), whole.GetPtrSize());
        if (text == nullptr || text->sh_type != SHT_PROGBITS ||
            text->sh_offset > whole.GetPtrSize() ||
            text->sh_size > whole.GetPtrSize() - text->sh_offset)
            err = eFMReadFailed;
        else if (block.NewPtr(static_cast<unsigned long>(text->sh_size)) == nullptr)
            err = eMemNewTPtrFailed;
        else
            std::memcpy(block.GetPtr(), static_cast<const char*>(whole.GetPtr()) + text->sh_offset,
                        text->sh_size);
    }
    whole.DisposePtr();
    return err;
}

KTErr KCStFile::base_ReadToKCMemObj(KCMemObj& block) {
    uint64_t size = 0;
    if ((error = GetFileSizeFromOpenFileRef(file, size)) != eNoErr)
        return error;
    if (size >= k4GiB)
        return error = eFMFileSizeTooBig;
    uint64_t cursor = 0;
    if ((error = GetFileCursor(file, cursor)) != eNoErr)
        return error;
    // From the cursor to the end of the file.
    const auto count = static_cast<unsigned long>(cursor < size ? size - cursor : 0);
    if ((error = block.ResizePtr(count)) != eNoErr)
        return error;
    return error = ReadExactly(file, block.GetPtr(), count);
}

KTErr KCStFile::base_WriteFromMemObj(const KCMemObj& block) {
    unsigned long done = 0;
    return base_Write(block.GetPtr(), block.GetPtrSize(), done);
}

} // namespace kvFM

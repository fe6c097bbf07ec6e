// Open files of the file manager: the opaque open-file reference, its free
// functions and the scoped file classes.
#pragma once

#include "foundation/KCStPath.h"

#include <cstdint>
#include <string>

// Opaque open-file reference (the file descriptor); the all-ones value is
// the invalid reference.
struct KTOpenFileType;

class KCMemObj;

namespace kvFM {

enum KEPermitions : int {
    eReadPermission = 0,      // others may read while it is open
    eWritePermission = 1,     // cursor at the end after opening; exclusive
    eReadWritePermission = 2, // exclusive
};

enum KECreateFlags : int { eOpenOrCreate = 0, eCreateNew = 1, eCreateAlways = 2 };

enum KEPositionMode : int { eFromStart = 0, eFromCurrent = 1, eFromEnd = 2 };

// The most one read or write call moves.
constexpr unsigned long kMaxTransferPerCall = 0xFFFFFFFFul;

KTOpenFileType* GetInvalidOpenFileRef();
bool IsValidOpenFileRef(KTOpenFileType* ref);

KTErr OpenFile(KTPathType* path, KEPermitions permission, KTOpenFileType*& out);
KTErr CreateAFile(KTPathType* path, KECreateFlags flags, KEPermitions permission,
                  KTOpenFileType*& out);
KTErr CloseFile(KTOpenFileType*& ref);
// Reads until `count` bytes or the end of the file; `done` is what was read.
KTErr ReadFromFile(KTOpenFileType* ref, void* buffer, unsigned long count, unsigned long& done);
// Writes all `count` bytes or fails.
KTErr WriteToFile(KTOpenFileType* ref, const void* buffer, unsigned long count,
                  unsigned long& done);
KTErr GetFileSizeFromOpenFileRef(KTOpenFileType* ref, uint64_t& size);
KTErr SetFileSize(KTOpenFileType* ref, uint64_t size);
KTErr SetFileCursor(KTOpenFileType* ref, uint64_t position, KEPositionMode mode);
KTErr GetFileCursor(KTOpenFileType* ref, uint64_t& position);

// Whole files and memory blocks (files of 4 GiB or more are refused with
// eFMFileSizeTooBig).
KTErr ReadTheWholeFile(KTOpenFileType* ref, KCMemObj& block);
KTErr ReadFileToKCMemObj(const KCStPath& path, KCMemObj& block);
// Replaces the file through a temporary file in the same folder, so the
// old content survives a failed write.
KTErr WriteFileFromKCMemObj(const KCStPath& path, const KCMemObj& block);

// Replaces (or creates) the file at `path` with `size` bytes: the data go
// to a new file beside it which is then renamed over it. Missing parent
// folders are created. An existing file keeps its permission bits (unless
// `keepExistingMode` is false); a new one gets `newFileMode` (with the
// process's umask applied when `applyUmask`).
KTErr WriteFileAtomically(KTPathType* path, const void* data, uint64_t size,
                          unsigned newFileMode = 0666, bool applyUmask = true,
                          bool keepExistingMode = true);

// The most ReadRegularFile reads unless told otherwise.
constexpr uint64_t kDefaultReadLimit = 64ull << 20;

// Reads the whole regular file at `path` into `out` (any bytes, no text
// conversion). Never throws and never waits on the object: a folder gives
// eFMIsAFolder; a named pipe, socket or device eFMIsNotAFile; a file larger
// than `maxBytes` eFMFileSizeTooBig; a missing one eFMFileNotFound; memory
// that cannot be had eMemNewFailed. On any failure `out` is empty.
KTErr ReadRegularFile(const std::string& path, std::string& out,
                      uint64_t maxBytes = kDefaultReadLimit) noexcept;

// A new, uniquely named file "KS......" in the temporary folder (or the
// given one), open for reading and writing.
KTErr CreateTempFile(KTOpenFileType*& file, KTPathType*& path);
KTErr CreateTempFile(KTPathType* folder, KTOpenFileType*& file, KTPathType*& path);

// The raw data of the ".text" section of an executable image file.
KTErr ReadCodeSegment(KTOpenFileType* ref, KCMemObj& block);

class KCStFile : public KUValidatable {
public:
    ~KCStFile() override;
    KCStFile(const KCStFile&) = delete;
    KCStFile& operator=(const KCStFile&) = delete;

    KTOpenFileType* GetFileRef() const { return file; }
    uint64_t GetFileSize();
    uint64_t GetCursor();
    KTErr SetCursor(uint64_t position, KEPositionMode mode);

protected:
    KCStFile();
    KCStFile(const KCStPath& path, KEPermitions permission);
    bool IsValidSelf() const override;

    KTErr base_Read(void* buffer, unsigned long count, unsigned long& done);
    KTErr base_Write(const void* buffer, unsigned long count, unsigned long& done);
    KTErr base_ReadToKCMemObj(KCMemObj& block);
    KTErr base_WriteFromMemObj(const KCMemObj& block);
    KTErr base_WriteFromString(const std::string& text);

    KTOpenFileType* file;
};

class KCStFileRead : public KCStFile {
public:
    explicit KCStFileRead(const KCStPath& path);
    KTErr Read(void* buffer, unsigned long count, unsigned long& done);
    KTErr ReadToKCMemObj(KCMemObj& block);
    KTErr ReadToStdString(std::string& text);
};

class KCStFileCreate : public KCStFile {
public:
    KCStFileCreate(const KCStPath& path, KECreateFlags flags, KEPermitions permission);
    KTErr Write(const void* buffer, unsigned long count, unsigned long& done);
    KTErr WriteFromMemObj(const KCMemObj& block);
    KTErr WriteFromFromString(const std::string& text);
};

// Opens an existing file for appending.
class KCStFileWrite : public KCStFile {
public:
    explicit KCStFileWrite(const KCStPath& path);
    KTErr Write(const void* buffer, unsigned long count, unsigned long& done);
    KTErr WriteFromMemObj(const KCMemObj& block);
    KTErr WriteFromFromString(const std::string& text);
};

class KCStFileReadCodeSegment : public KCStFile {
public:
    explicit KCStFileReadCodeSegment(const KCStPath& path);
    KTErr ReadCodeSegment(KCMemObj& block);
};

} // namespace kvFM

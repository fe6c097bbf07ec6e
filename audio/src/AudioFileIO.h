// File access of the WAV reader and writer through the file manager: one
// open file with 64-bit positions. A file opened for replacing is written
// under a temporary name in the same folder and renamed over the target
// only by Commit, so a failed write never destroys the file the user had;
// a signal that ends the process meanwhile removes the temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/KCStFile.h"
#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"

class KCAudioFileIO {
public:
    KCAudioFileIO() = default;
    ~KCAudioFileIO(); // closes; an uncommitted replacement is discarded
    KCAudioFileIO(const KCAudioFileIO&) = delete;
    KCAudioFileIO& operator=(const KCAudioFileIO&) = delete;

    KTErr OpenForReading(const kvFM::KCStPath& path);
    KTErr CreateReplacing(const kvFM::KCStPath& path);

    // Reads up to count bytes at the cursor; done < count only at the end of
    // the file.
    KTErr Read(void* buffer, size_t count, size_t& done);
    // Writes all count bytes at the cursor or fails.
    KTErr Write(const void* buffer, size_t count);
    KTErr Seek(uint64_t position);
    KTErr GetSize(uint64_t& size) const;

    // Closes a replacement and renames it over the target.
    KTErr Commit();
    // Closes the file; a replacement that was not committed is removed.
    void Close();

    bool IsOpen() const { return kvFM::IsValidOpenFileRef(file); }

private:
    void ForgetTemporary();

    KTOpenFileType* file = kvFM::GetInvalidOpenFileRef();
    std::string target;     // native path a replacement is renamed to
    std::string temporary;  // native path of an open replacement
    int temporarySlot = -1; // its registration for removal on a fatal signal
};

// Shared pieces of the file manager's sources.
#pragma once

#include "foundation/KCStPath.h"

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

struct KTPathType {
    std::string text;
};

namespace kvFM::detail {

// Longest path text handed to the system (PATH_MAX without the NUL).
constexpr size_t kMaxNativePath = 4095;

// Makes a reference that takes the text as it is (texts the system hands
// back, such as folder entries).
KTPathType* NewPathRef(std::string text);

// Appends `leaf` (components separated by '/' or '\') to `text` and
// normalises the result. eFMTranslateFileNameFailed for a component that
// breaks the name rule, eFMPathTooLong for a result the system cannot take.
KTErr AppendComponents(std::string& text, const char* leaf);

// The status of the current errno as a file-system error.
KTErr StatusOfErrno(int err);

// The folder part of a '/' text: everything before its last '/', or "/".
std::string ParentText(const std::string& text);

// Copies `text` into `out`, cut at 1,023 characters.
char* CopyOut(const std::string& text, KTPathString& out);

// Writes all `size` bytes to the descriptor, or fails.
KTErr WriteAll(int fd, const void* data, uint64_t size);

// Makes a new file beside `target`, fills it through `fill`, gives it
// `mode`, flushes it to the disk and moves it to `target`: over whatever is
// there when `replace`, else only when nothing is there
// (eFMFileAllreadyExists). On any failure the new file is removed and
// `target` is left as it was.
KTErr WriteBeside(const std::string& target, unsigned mode, bool replace,
                  const std::function<KTErr(int fd)>& fill);

} // namespace kvFM::detail

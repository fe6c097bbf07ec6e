// Whole text files read by the algorithm object (POP and AEQ files).
#pragma once

#include <string>

namespace dulm {

// The bytes of a regular file; false for anything else (a folder, a pipe),
// a file that cannot be read, or an empty file.
bool ReadWholeFile(const std::string& path, std::string& out);
// The part of a path after its last '/' (the whole path without one).
std::string FileNameOf(const std::string& path);

} // namespace dulm

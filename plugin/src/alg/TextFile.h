// File names of the algorithm object's command files (POP and AEQ files).
#pragma once

#include <string>

namespace dulm {

// The part of a path after its last '/' (the whole path without one).
std::string FileNameOf(const std::string& path);

} // namespace dulm

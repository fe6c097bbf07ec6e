// The resource packer's manifest and its checks.
//
// A manifest has one resource a line: `TYPE NUMBER FILE`. TYPE is the
// resource type (a name such as XPll, stored upper-cased, or a decimal
// number); NUMBER is the resource number (-32768 to 65535) or a name;
// FILE, the rest of the line, is relative to the manifest's folder. Blank
// lines and lines starting with '#' are skipped.
#pragma once

#include "foundation/ElfRes.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kvres {

struct ManifestEntry {
    kvElfRes::ResName type;
    kvElfRes::ResName id;
    std::filesystem::path file; // resolved against the manifest's folder
    int line = 0;
};

// Parses manifest text read from `manifestPath`. On failure returns false
// and sets `error` to "<manifest>:<line>: error: <reason>".
bool ParseManifest(const std::string& text, const std::filesystem::path& manifestPath,
                   std::vector<ManifestEntry>& out, std::string& error);

// A resource is XML when its file name ends in ".xml" (any case) or its
// text starts with an XML declaration.
bool IsXmlResource(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

// Checks that `bytes` are well-formed XML. On failure returns false and
// sets `error` to "<file>:<line>:<column>: error: malformed XML resource:
// <reason>".
bool CheckXml(const std::vector<uint8_t>& bytes, const std::filesystem::path& file,
              std::string& error);

// Reads the manifest and every file it names, checks the XML resources and
// writes them as the resource set of `target`, with a version resource of
// `fileVersion` when it is not empty (unless the manifest names one itself).
// Messages go to `err`; the result is 0 on success and 1 on any failure
// (`target` then unchanged).
int Pack(const std::filesystem::path& manifest, const std::filesystem::path& target,
         std::ostream& err, const std::string& fileVersion = std::string());

} // namespace kvres

#include "kvres/Manifest.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>

namespace kvres {

namespace {

bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

} // namespace

int Pack(const std::filesystem::path& manifest, const std::filesystem::path& target,
         std::ostream& err, const std::string& fileVersion) {
    std::vector<uint8_t> text;
    if (!ReadFile(manifest, text)) {
        err << manifest.string() << ": error: cannot read the manifest\n";
        return 1;
    }
    std::vector<ManifestEntry> entries;
    std::string error;
    if (!ParseManifest(std::string(text.begin(), text.end()), manifest, entries, error)) {
        err << error << "\n";
        return 1;
    }
    std::vector<kvElfRes::Resource> resources;
    bool ok = true;
    for (const ManifestEntry& e : entries) {
        kvElfRes::Resource r{e.type, e.id, {}};
        if (!ReadFile(e.file, r.data)) {
            err << manifest.string() << ":" << e.line << ": error: cannot read resource file '"
                << e.file.string() << "'\n";
            ok = false;
            continue;
        }
        if (r.data.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
            err << e.file.string() << ": error: resource too large\n";
            ok = false;
            continue;
        }
        if (IsXmlResource(e.file, r.data) && !CheckXml(r.data, e.file, error)) {
            err << error << "\n";
            ok = false;
            continue;
        }
        resources.push_back(std::move(r));
    }
    if (!ok)
        return 1;
    const kvElfRes::Resource version = kvElfRes::MakeVersionResource(fileVersion);
    const bool listed = std::any_of(resources.begin(), resources.end(), [&](const auto& r) {
        return r.type == version.type && r.id == version.id;
    });
    if (!fileVersion.empty() && !listed)
        resources.push_back(version);
    if (KTErr status = kvElfRes::WriteResources(target, resources)) {
        err << target.string() << ": error: cannot write resources (" << KTErrName(status) << ")\n";
        return 1;
    }
    return 0;
}

} // namespace kvres

// A file type: description, extension, type and creator codes.
#pragma once

#include "foundation/KCFourCC.h"

#include <string>

class KCFileType {
public:
    KCFileType() = default;
    KCFileType(const std::string& description, const std::string& extension, KCFourCC type,
               KCFourCC creator)
        : description(description), extension(extension), type(type), creator(creator) {}

    const std::string& GetDescription() const { return description; }
    const std::string& GetExtension() const { return extension; }
    KCFourCC GetType() const { return type; }
    KCFourCC GetCreator() const { return creator; }

    // Given with its dot (".wav") when the type serves as a dialog filter.
    std::string description;
    std::string extension;
    KCFourCC type;
    KCFourCC creator;
};

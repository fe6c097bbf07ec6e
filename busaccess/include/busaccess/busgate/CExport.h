// The C source export: the captured command stream as arrays a product's
// own microcontroller compiles in and sends to the chip. The capture is
// replayed offline through the decoder with CExport2File as its sink, which
// sorts each command into the system or tuning array by its row's category.
#pragma once

#include "busaccess/busgate/BusGate.h"

#include <string>
#include <string_view>

namespace busgate {

// The logger's own version, written into the exported files.
inline constexpr const char* kDulmLoggerVersion = "3.5.0.7";

struct CSourceFiles {
    std::string alg;  // N_Alg.c
    std::string sys;  // N_Sys.c
    std::string full; // N_FULL.c
    std::string init; // N_Init.c
};

class CExport2File final : public CFilterLog {
public:
    // Asks for the base name N and writes N_Alg.c, N_Sys.c, N_FULL.c and
    // N_Init.c beside it; ends with a message box.
    static void ExportCFiles(BusGate& bus);
    // The four files' text for the base name, from captured groups (whole
    // 3-byte groups, as BusGate::CaptureGroups gives them).
    static CSourceFiles BuildCFiles(BusGate& bus, const std::string& name,
                                    const std::vector<uint8_t>& groups);

    void SetColor(int) override {}
    void Transaction(int direction, uint8_t slave, uint32_t length, const uint8_t* bytes,
                     uint32_t category) override;

protected:
    void PutText(std::string_view) override {}
    void PutError(std::string_view) override {}
    void PutInfo(std::string_view text) override;

private:
    CExport2File(BusGate& bus, CSourceFiles& files)
        : bus_(bus), sys_{files.sys}, alg_{files.alg}, full_{files.full} {}
    // A file being written and whether its current line holds a comment.
    struct Output {
        std::string& text;
        bool inComment = false;
        // A row always starts on a line of its own.
        void AddRow(const std::string& row);
        // Text after a row is a comment to the end of its line, whatever
        // the decoder made of the bytes.
        void AddComment(std::string_view comment);
    };
    void Row(const uint8_t* group, uint32_t category);
    void SectionComments(const std::string& row);

    BusGate& bus_;
    Output sys_, alg_, full_;
    // Where the current command's comments go besides N_FULL.c.
    Output* target_ = nullptr;
    bool pwmComment_ = false;
    bool ioComment_ = false;
    bool algorithmComment_ = false;
};

} // namespace busgate

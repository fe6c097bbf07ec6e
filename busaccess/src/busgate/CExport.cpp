// The C source export.
#include "busaccess/busgate/CExport.h"

#include "ExportSupport.h"

namespace busgate {

using namespace exports;

namespace {

constexpr const char* kCaption = "Export to Files";

std::string Header(BusGate& bus) {
    const BusState& s = bus.State();
    return FormatC(512,
                   " \n#define DulmLoggerVer \"%s\" \n#define DulmAudioHwVer \"%s\" \n"
                   "#define DulmAudioFwVer \"%s\" \n \n",
                   kDulmLoggerVersion, s.chipTypeName, s.chipFirmwareName);
}

std::string ArrayStart(BusGate& bus, const std::string& name, const char* part) {
    return Header(bus) + FormatC(256, "const unsigned char %s_%s[] = \n{ \n", name.c_str(), part);
}

std::string ArrayEnd(const std::string& name, const char* part) {
    return FormatC(256, "}; \n\n#define %s_%s_Size (sizeof(%s_%s)) \n\n", name.c_str(), part,
                   name.c_str(), part);
}

std::string InitFile(BusGate& bus, const std::string& name) {
    const char* n = name.c_str();
    std::string t = Header(bus);
    t += FormatC(256, "const unsigned char %s_Init [] = \n", n);
    t += "{ \n";
    t += "\t0x00, 0xC5, 0x00,  // Soft-Reset \n";
    t += "\t// Add 30msec delay here \n";
    t += "\t0x00, 0xA5, 0x00, // Configuration Start\n";
    t += "}; \n";
    t += FormatC(256, "#define %s_Init_Size (sizeof( %s_Init )) \n", n, n);
    t += FormatC(256, "const unsigned char %s_Final [] = \n", n);
    t += "{ \n";
    t += "\t0x00, 0xAC, 0x00, // Configuration End\n";
    t += "}; \n";
    t += FormatC(256, "#define %s_Final_Size (sizeof( %s_Final )) \n", n, n);
    t += "  \n /* \n \n\n Usage (Init): \n\n";
    t += FormatC(256, " DulmDSP_SendCmd (%s_Init, %s_Init_Size);\n", n, n);
    t += " // Add 30msec delay here \n";
    t += FormatC(256, " DulmDSP_SendCmd (%s_Sys, %s_Sys_Size);\n", n, n);
    t += FormatC(256, " DulmDSP_SendCmd (%s_Alg, %s_Alg_Size);\n", n, n);
    t += FormatC(256, " DulmDSP_SendCmd (%s_Final, %s_Final_Size);\n", n, n);
    t += " \n\n Usage (Run-Time): \n\n";
    t += " // Issue Mute command (C7) + delay according to Mute-Time command (E0)\n";
    t += FormatC(256, " DulmDSP_SendCmd (%s_Alg, %s_Alg_Size);\n", n, n);
    t += " // Issue Un-Mute command (C7) + delay according to Mute-Time command (E0)\n";
    t += " \n\n\n\n";
    t += "BOOL DulmDSP_SendCmd (unsigned char *CmdList, unsigned long size)\n";
    t += "{\n";
    t += "\tunsigned long index;\n";
    t += "\tBOOL status;\n";
    t += "\tfor (index=0;index<(size/3);index++)\n";
    t += "\t{\n";
    t += FormatC(256, "\t\tstatus = I2C_Write (0x%x,3,CmdList);\n", bus.State().chipAddress);
    t += "\t\tCmdList +=3;\n";
    t += "\t\tif (status == FALSE)\n";
    t += "\t\t\treturn (FALSE);\n";
    t += "\t}\n";
    t += "\treturn (TRUE);\n";
    t += "}\n";
    t += " */ \n";
    return t;
}

bool Holds(const std::string& row, const char* bytes) {
    return row.find(bytes) != std::string::npos;
}

} // namespace

void CExport2File::Output::AddRow(const std::string& row) {
    if (inComment)
        text += '\n';
    inComment = false;
    text += row;
}

void CExport2File::Output::AddComment(std::string_view comment) {
    for (size_t i = 0; i < comment.size(); ++i) {
        const char c = comment[i];
        if (c == '\n') {
            // A backslash at the end would carry the comment into the next
            // line.
            if (!text.empty() && text.back() == '\\')
                text += ' ';
            inComment = false;
        } else if (!inComment && c != ' ' && c != '\t' && c != '\r') {
            if (comment.substr(i, 2) != "//")
                text += "// ";
            inComment = true;
        }
        text += c;
    }
}

void CExport2File::SectionComments(const std::string& row) {
    LoggerServices& ui = bus_.Ui();
    if (!pwmComment_ && Holds(row, "0xFF, 0xAD, 0xA0") &&
        ui.IsChecked(ctl::kConfigPwrAmpAtPreset)) {
        full_.AddComment("\t//# Audio PWM and Power Amplifier Initialization. \n ");
        full_.AddComment("\t//# Verify 12msec delay before switch to 1sec fault latch time. \n ");
        pwmComment_ = true;
    }
    if (!ioComment_ && Holds(row, "0xFF, 0xAB, 0xF2") && ui.IsChecked(ctl::kConfigIoAtPreset)) {
        full_.AddComment("\t//# I/O Configuration \n ");
        ioComment_ = true;
    }
    if (!algorithmComment_ && Holds(row, "0x00, 0xC2, 0x00")) {
        full_.AddComment("\t//#  Start Algorithm Configuration\n ");
        algorithmComment_ = true;
    }
    // A new setup sequence gets its comments again.
    if (Holds(row, "0x00, 0xAC, 0x00"))
        pwmComment_ = ioComment_ = algorithmComment_ = false;
}

void CExport2File::Row(const uint8_t* group, uint32_t category) {
    const std::string row = FormatC(64, "\t0x%02X, 0x%02X, 0x%02X, ", group[0], group[1], group[2]);
    target_ = category == 3 || category == 4 ? &sys_ : category == 5 ? &alg_ : nullptr;
    if (target_)
        target_->AddRow(row);
    SectionComments(row);
    full_.AddRow(row);
}

void CExport2File::Transaction(int, uint8_t, uint32_t length, const uint8_t* bytes,
                               uint32_t category) {
    for (uint32_t i = 0; i + 3 <= length; i += 3)
        Row(bytes + i, category);
}

void CExport2File::PutInfo(std::string_view text) {
    if (target_)
        target_->AddComment(text);
    full_.AddComment(text);
}

CSourceFiles CExport2File::BuildCFiles(BusGate& bus, const std::string& name,
                                       const std::vector<uint8_t>& groups) {
    CSourceFiles files;
    files.alg = ArrayStart(bus, name, "Alg");
    files.sys = ArrayStart(bus, name, "Sys");
    files.full = ArrayStart(bus, name, "FULL");
    {
        CExport2File sink(bus, files);
        BusGate::OfflineReplay replay(bus, sink);
        for (size_t o = 0; o + 3 <= groups.size(); o += 3)
            replay.Decode(bus.State().chipAddress, groups.data() + o);
        // The array's end never shares a line with a comment.
        for (Output* out : {&sink.sys_, &sink.alg_, &sink.full_})
            if (out->inComment)
                out->AddRow(std::string());
    }
    files.alg += ArrayEnd(name, "Alg");
    files.sys += ArrayEnd(name, "Sys");
    files.full += ArrayEnd(name, "FULL");
    files.init = InitFile(bus, name);
    return files;
}

void CExport2File::ExportCFiles(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    std::string chosen;
    for (;;) {
        const std::optional<std::string> path =
            AskSavePath(kCaption, "DulmAudio_Cmd", "", "Enter Func Header Name (*.)|*.||");
        if (!path)
            return;
        const std::string title = FileTitle(*path);
        if (IsValidFunctionName(title)) {
            chosen = *path;
            break;
        }
        ErrorBox(
            bus,
            ("Input text \"" + title + "\" is not a valid function name. \nPlease try another one.")
                .c_str(),
            "Invalid Function Name");
    }
    const std::string name = FileTitle(chosen);
    const std::string base = WithoutExtension(chosen);
    const CSourceFiles files = BuildCFiles(bus, name, bus.CaptureGroups());
    const struct {
        const char* suffix;
        const std::string& text;
        const char* failure;
    } outputs[] = {
        {"_Alg.c", files.alg, "Fail to open *_Alg.c file for write."},
        {"_Sys.c", files.sys, "Fail to open *_Sys.c file for write."},
        {"_FULL.c", files.full, "Fail to open *_FULL.c file for write."},
        {"_Init.c", files.init, "Fail to open *_Init.c file for write."},
    };
    for (const auto& out : outputs) {
        if (!WriteWholeFile(base + out.suffix, out.text)) {
            ErrorBox(bus, out.failure, kCaption);
            return;
        }
    }
    InfoBox(bus, "Export completed successfully.", kCaption);
}

} // namespace busgate

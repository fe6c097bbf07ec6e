// AEQ coefficient files: the list of numbers of a file and the block of
// fixed equaliser sections it becomes on the chip.
#include "TextFile.h"
#include "foundation/KCStFile.h"
#include "foundation/KUUtils.h"
#include "plugin/DebugTrace.h"
#include "plugin/PeqAlg.h"

#include <algorithm>
#include <cmath>
#include <string>

using namespace dulm;

namespace {

// The format holds at most this many sections.
constexpr int32_t kMaxAeqSections = 10;
// H + 1 goes out as a 24-bit word.
constexpr double kMaxAeqHeader = 0xFFFFFF;

void Append24(std::vector<uint8_t>& bytes, uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v >> 16));
}

// A list is valid when it holds the header H, the section count N (0 to
// the format's maximum) and exactly five coefficients per section, every
// number finite, and H + 1 fits the block's 24-bit word. Numbers are checked
// before any conversion, so no value of a file can overflow one.
bool IsValidAeqList(const std::vector<double>& n) {
    if (n.size() < 2 || !std::all_of(n.begin(), n.end(), [](double x) { return std::isfinite(x); }))
        return false;
    const double header = std::trunc(n[0]), sections = std::trunc(n[1]);
    return header >= 0 && header < kMaxAeqHeader && sections >= 0 && sections <= kMaxAeqSections &&
           n.size() == static_cast<size_t>(5 * sections + 2);
}

bool IsAeqSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The characters of the next token, the white space around it skipped.
bool NextAeqToken(const char*& position, std::string& token) {
    const char* p = position;
    if (!p)
        return false;
    while (IsAeqSpace(*p))
        ++p;
    const char* start = p;
    while (*p && !IsAeqSpace(*p))
        ++p;
    token.assign(start, p);
    while (IsAeqSpace(*p))
        ++p;
    position = p;
    return !token.empty();
}

} // namespace

bool ReadAeqToken(const char*& position, double& value) {
    std::string token;
    if (!NextAeqToken(position, token))
        return false;
    value = KUAtof(token.c_str());
    return true;
}

bool ReadAeqToken(const char*& position, int32_t& value) {
    std::string token;
    if (!NextAeqToken(position, token))
        return false;
    value = KUAtoi(token.c_str());
    return true;
}

bool cPEQ_ALG::ReadAeqFile(const std::string& path) {
    aeqNumbers_.clear();
    std::string text;
    if (path.empty() || kvFM::ReadRegularFile(path, text) != eNoErr || text.empty()) {
        if (Connection().GetTrace())
            DulmDebugOutput("DulmDSP: failed to open: \"" + path + "\"\n");
        return false;
    }
    // The text ends at its first zero byte, as the file's text in memory.
    const char* position = text.c_str();
    double number = 0.0;
    while (ReadAeqToken(position, number))
        aeqNumbers_.push_back(number);
    return true;
}

bool cPEQ_ALG::LoadAeqFile(const std::string& path) {
    if (!ReadAeqFile(path))
        return false;
    const bool trace = Connection().GetTrace() != 0;
    if (trace)
        DulmDebugOutput("DulmDSP: AEQ Begin \"" + path + "\"\n");
    const bool sent = SendAeqCoefs();
    if (trace)
        DulmDebugOutput("DulmDSP: AEQ End\n");
    return sent;
}

bool cPEQ_ALG::SendAeqCoefs() {
    const std::vector<double>& n = aeqNumbers_;
    const bool valid = IsValidAeqList(n);
    const int32_t sections = valid ? static_cast<int32_t>(std::trunc(n[1])) : -1;
    if (ChipVersion() < 0x5010 || (ChipVersion() == 0x5010 && ChipSubVersion() < 0x0401) ||
        !valid) {
        bandLimit_ = bandCount_;
        UpdateControlAvailability();
        return false;
    }
    const int32_t header = static_cast<int32_t>(std::trunc(n[0]));
    bandLimit_ = maxBands_;
    std::vector<uint8_t> block;
    Append24(block, static_cast<uint32_t>(header + 1));
    Append24(block, static_cast<uint32_t>(sections - 1));
    for (size_t i = 2; i < n.size(); ++i)
        AppendQ23(block, n[i]);

    auto& records = design_[eSetupA].aeq;
    for (int32_t k = 0; k <= bandCount_; ++k) {
        auto& r = records[k];
        r = {};
        if (k < sections && Value(PARAM_AEQ_ACTIVE) != 0) {
            const double* c = &n[static_cast<size_t>(2 + 5 * k)];
            r.b2 = 2 * c[0];
            r.b0 = 2 * c[1];
            r.b1 = 2 * c[2];
            r.a2 = 2 * c[3];
            r.a1 = 2 * c[4];
            r.field2 = k == 0 ? static_cast<uint16_t>(header) : 0;
        }
    }
    std::copy(std::begin(records), std::end(records), std::begin(design_[eSetupB].aeq));
    std::fill(std::begin(aeqResponse_), std::end(aeqResponse_), 0.0);
    for (const auto& r : records) {
        BIQUAD s;
        s.b0 = r.b0;
        s.b1 = r.b1;
        s.b2 = r.b2;
        s.a1 = r.a1;
        s.a2 = r.a2;
        for (int k = 0; k < kGraphPoints; ++k)
            aeqResponse_[k] += 10 * std::log10(std::max(BiquadSqMag(s, z1_[k], z2_[k]), 1e-10));
    }
    UpdateResponseGraph(1);
    RefreshParam(PARAM_GRAPH_AEQ);

    const uint32_t words = static_cast<uint32_t>(5 * sections + 2);
    if (words > 2) {
        SendCommandBytes(static_cast<uint8_t>(words), 0xA3, static_cast<uint8_t>(words >> 8));
        SendFrame(block.data(), static_cast<uint32_t>(block.size()), kFrameData, false);
    }
    bool result = true;
    // The end of the load follows a block that went out (an empty list sends
    // nothing at all).
    if (words > 2 && IsChip6000Plus() && !Dropped()) {
        if (Value(PARAM_AEQ_ACTIVE) != 0) {
            result = SendCommandBytes(0x00, 0xE6, 0x00);
        } else if (ChipSubVersion() == 0x0606) {
            result = SendCommandBytes(0x63, 0xA7, 0x02);
            SendData(0xE2, 0xD3, 0x00);
        } else if (ChipSubVersion() == 0x0704) {
            result = SendCommandBytes(0x78, 0xA7, 0x02);
            SendData(0xD7, 0xD5, 0x00);
        }
    }
    UpdateControlAvailability();
    return result;
}

#include "loggerui/ScriptRunner.h"

#include "loggerui/TextUtils.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwctype>
#include <thread>

namespace loggerui {
namespace {

struct ColumnColour {
    int column;
    uint32_t background;
    uint32_t text;
};

// In the order they are installed.
constexpr ColumnColour kColumnColours[] = {
    {kColNumber, kButtonFaceColour, kWindowTextColour},
    {kColSlaveId, kWindowColour, kEditableTextColour},
    {kColAction, kWindowColour, kEditableTextColour},
    {kColDataLength, kWindowColour, kEditableTextColour},
    {kColData, kWindowColour, kEditableTextColour},
};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

std::wstring Counted(const wchar_t* caption, std::size_t n) {
    return std::wstring(caption) + L" (" + std::to_wstring(n) + L")";
}

void SelectOnly(ListModel& list, std::size_t row) {
    list.ClearSelection();
    if (row < list.RowCount())
        list.Select(row);
}

} // namespace

void SetUpScriptList(ListModel& list) {
    list.SetColumnCount(kScriptColumns);
    list.SetColumnPrefix(kColComment, L"//");
    list.SetDefaultEditorType(kEditorHexList);
    list.SetCellEditType(-1, kColNumber, kEditorNone);
    list.SetCellEditType(-1, kColSlaveIdLength, kEditorNone);
    list.SetCellEditType(-1, kColAction, kEditorDropDown);
    list.SetCellEditType(-1, kColDataLength, kEditorDropDown);
    list.SetCellEditType(-1, kColComment, kEditorPlain);
    list.SetOptionFunction([](int, int column, std::list<std::wstring>& choices) {
        if (column == kColAction)
            choices = {L"Write", L"Read", L"Delay"};
        else if (column == kColDataLength)
            choices = {L"1", L"2", L"3", L"4"};
        else
            return 0;
        return 1;
    });
    RefreshScript(list);
}

void RefreshScript(ListModel& list) {
    for (std::size_t r = 0; r < list.RowCount(); ++r) {
        const int row = static_cast<int>(r);
        list.SetCellText(row, kColNumber, std::to_wstring(r + 1));
        list.SetCellText(row, kColSlaveIdLength, L"1");
    }
    list.ClearCellColors();
    for (const ColumnColour& c : kColumnColours)
        list.SetCellColor(-1, c.column, c.background, c.text);
}

ScriptButtons ButtonsFor(const ListModel& list) {
    const std::vector<std::size_t> selected = list.GetSelectedRows();
    const std::size_t n = selected.size();
    const std::size_t c = list.RowCount();
    ScriptButtons b;
    b.deleteCaption = n > 0 ? Counted(L"Delete", n) : L"Delete";
    b.runCaption = n > 0 ? Counted(L"Run", n) : L"Run";
    b.runAllCaption = c > 0 ? Counted(L"Run All", c) : L"Run All";
    b.selectionButtons = n > 0;
    b.moveUp = n == 1 && selected[0] != 0;
    b.moveDown = n == 1 && selected[0] + 1 != c;
    b.runAll = c > 0;
    return b;
}

std::size_t InsertAbovePosition(const ListModel& list) {
    const std::vector<std::size_t> selected = list.GetSelectedRows();
    return selected.empty() ? 0 : selected.front();
}

std::size_t InsertBelowPosition(const ListModel& list) {
    const int last = list.GetLastSelectedRow();
    return last < 0 ? 0 : static_cast<std::size_t>(last) + 1;
}

std::size_t InsertDefaultLine(ListModel& list, std::size_t at, const DefaultLine& line) {
    at = std::min(at, list.RowCount());
    list.InsertRow(at);
    const int row = static_cast<int>(at);
    list.SetCellText(row, kColNumber, L".");
    RefreshScript(list);
    wchar_t slave[16];
    std::swprintf(slave, 16, L"0x%X", static_cast<unsigned>(line.slaveId));
    list.SetCellText(row, kColAction, ActionName(line.action));
    list.SetCellText(row, kColSlaveIdLength, std::to_wstring(line.slaveIdLength));
    list.SetCellText(row, kColSlaveId, slave);
    list.SetCellText(row, kColDataLength, std::to_wstring(line.dataLength));
    list.SetCellText(row, kColData, line.data);
    SelectOnly(list, at);
    return at;
}

void DeleteSelectedLines(ListModel& list) {
    const std::vector<std::size_t> selected = list.GetSelectedRows();
    if (selected.empty())
        return;
    const std::size_t first = selected.front();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it)
        list.DeleteRow(*it);
    SelectOnly(list, first > 0 ? first - 1 : first);
    RefreshScript(list);
}

std::optional<std::wstring> CheckChangedCell(ListModel& list, int row, int column) {
    list.SetModified(true);
    RefreshScript(list);
    if (column == kColAction)
        list.SetCellText(row, kColDataLength,
                         Lower(list.GetCellText(row, kColAction)) == L"delay" ? L"1" : L"3");
    if (column != kColAction && column != kColDataLength && column != kColData)
        return std::nullopt;
    const int32_t n = ParseNumber(list.GetCellText(row, kColDataLength));
    const std::wstring data = list.GetCellText(row, kColData);
    std::vector<std::wstring> pieces;
    if (SplitText(data, L",", pieces) && !pieces.empty() &&
        pieces.size() == static_cast<std::size_t>(std::max(n, 0)))
        return std::nullopt;
    return L"The value \"" + data + L"\" doesn't match the expected format. Please check again.";
}

ScriptLine LineOfRow(const ListModel& list, std::size_t r) {
    const int row = static_cast<int>(r);
    ScriptLine line;
    line.action = ActionNumber(list.GetCellText(row, kColAction));
    line.slaveId = static_cast<uint8_t>(ParseNumber(list.GetCellText(row, kColSlaveId)) & 0xFF);
    line.slaveIdLength = ParseNumber(list.GetCellText(row, kColSlaveIdLength));
    line.dataLength = ParseNumber(list.GetCellText(row, kColDataLength));
    // Each byte of the line takes at least one character of its data text:
    // a longer length cannot match it, and gets no buffer.
    const std::size_t text = list.GetCellText(row, kColData).size();
    if (line.dataLength > 0 && static_cast<std::size_t>(line.dataLength) <= text)
        line.data.assign(static_cast<std::size_t>(line.dataLength), 0);
    return line;
}

int RunLine(ScriptLine& line, const ScriptTransfer& transfer) {
    const uint32_t length = static_cast<uint32_t>(std::max(line.dataLength, 0));
    uint8_t* data = line.data.empty() ? nullptr : line.data.data();
    switch (line.action) {
    case 1:
        return transfer(0, line.slaveId, length, data);
    case 2:
        return transfer(1, line.slaveId, length, data);
    case 3:
        // A negative length waits nothing.
        if (line.delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(line.delayMs));
        return 1;
    default:
        return 0;
    }
}

std::wstring ByteListText(const std::vector<uint8_t>& bytes) {
    std::wstring text;
    for (uint8_t b : bytes) {
        wchar_t piece[8];
        std::swprintf(piece, 8, L"0x%X", static_cast<unsigned>(b));
        if (!text.empty())
            text += L", ";
        text += piece;
    }
    return text;
}

int RunLines(ListModel& list, const std::vector<std::size_t>& rows, bool stopOnFailure,
             const ScriptTransfer& transfer) {
    int ok = 1;
    RefreshScript(list);
    for (std::size_t r : rows) {
        if (r >= list.RowCount())
            continue;
        const int row = static_cast<int>(r);
        ScriptLine line = LineOfRow(list, r);
        const std::wstring text = list.GetCellText(row, kColData);
        if (line.action == 3) {
            line.delayMs = ParseNumber(text);
            RunLine(line, transfer);
        } else if (line.dataLength > 0 &&
                   line.data.size() == static_cast<std::size_t>(line.dataLength) &&
                   ParseByteList(text, line.data.size(), line.data.data())) {
            ok &= RunLine(line, transfer);
            if (line.action == 2) {
                if (ok == 1) {
                    list.SetCellText(row, kColData, ByteListText(line.data));
                    list.SetCellColor(row, kColData, kReadOkColour, kWindowTextColour);
                } else {
                    list.SetCellColor(row, kColData, kFailedColour, kWindowTextColour);
                }
            }
        }
        if (stopOnFailure && ok != 1) {
            list.SetCellColor(row, kColNumber, kWindowColour, kFailedColour);
            break;
        }
    }
    return ok;
}

HeaderLayout LayOutHeaderLabels(std::vector<int> widths, int left, int top, int right) {
    widths.resize(kScriptColumns, 0);
    HeaderLayout layout;
    for (int& w : widths) {
        w = std::min(w, kMaxLabelledWidth);
        layout.signature += std::to_string(w) + ";";
    }
    // Each label spans its columns, cut at the list's right edge.
    constexpr int kSpans[3][2] = {
        {kColSlaveIdLength, kColSlaveId}, {kColDataLength, kColData}, {kColComment, kColComment}};
    int x = left + widths[kColNumber] + widths[kColAction];
    for (int i = 0; i < 3; ++i) {
        int end = x;
        for (int c = kSpans[i][0]; c <= kSpans[i][1]; ++c)
            end += widths[static_cast<std::size_t>(c)];
        const int width = std::min(end, right) - x;
        layout.labels[i] = {x, top - 21, width, 20};
        x += width + 1;
    }
    layout.widths = std::move(widths);
    return layout;
}

} // namespace loggerui

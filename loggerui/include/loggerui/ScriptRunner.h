// The Script Helper page apart from its window: the columns' numbers and
// colours, the buttons' state from the selection, inserting and deleting
// lines, the check of an edited cell, and running lines through the
// logger's transfer entry.
#pragma once

#include "loggerui/ListModel.h"
#include "loggerui/ScriptFiles.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace loggerui {

// The columns of a script row.
enum ScriptColumn : int {
    kColNumber = 0,
    kColAction = 1,
    kColSlaveIdLength = 2,
    kColSlaveId = 3,
    kColDataLength = 4,
    kColData = 5,
    kColComment = 6,
};

// Colours of the page (0x00BBGGRR).
inline constexpr uint32_t kButtonFaceColour = 0xF0F0F0;
inline constexpr uint32_t kWindowColour = 0xFFFFFF;
inline constexpr uint32_t kWindowTextColour = 0x000000;
inline constexpr uint32_t kEditableTextColour = 0xC00000;
inline constexpr uint32_t kReadOkColour = 0xC0FFC0;
inline constexpr uint32_t kFailedColour = 0xC0C0FF;

// One line while it runs.
struct ScriptLine {
    int32_t action = 0;
    int32_t slaveIdLength = 0;
    uint8_t slaveId = 0;
    int32_t dataLength = 0;
    int32_t delayMs = 0;
    std::vector<uint8_t> data;
};

// The logger's transfer: direction 0 write, 1 read; bit 0 of the result
// set on success.
using ScriptTransfer =
    std::function<int(int direction, uint8_t slave, uint32_t length, uint8_t* data)>;

// The table's columns, editors and choices as the page sets them up.
void SetUpScriptList(ListModel& list);
// Numbers the rows, sets every slave-ID length to "1" and installs the
// columns' colours afresh.
void RefreshScript(ListModel& list);

// The buttons that follow the selection.
struct ScriptButtons {
    std::wstring deleteCaption;
    std::wstring runCaption;
    std::wstring runAllCaption;
    bool selectionButtons = false; // Insert Above/Below, Delete, Run Selected
    bool moveUp = false;
    bool moveDown = false;
    bool runAll = false;
};
ScriptButtons ButtonsFor(const ListModel& list);

// Where Insert Above and Insert Below put the new line.
std::size_t InsertAbovePosition(const ListModel& list);
std::size_t InsertBelowPosition(const ListModel& list);
// Inserts the default line at `at` (clamped to the row count), selects it
// alone and refreshes; the row it went to.
std::size_t InsertDefaultLine(ListModel& list, std::size_t at, const DefaultLine& line);
// Deletes the selected rows and selects the row before the first of them
// (row 0 when that was the first).
void DeleteSelectedLines(ListModel& list);

// After an edit of (row, column) ended: marks the list modified, refreshes,
// adjusts the data length to a new action and checks the data against it.
// The format message when the data does not match.
std::optional<std::wstring> CheckChangedCell(ListModel& list, int row, int column);

// The line of a row, with a zero-filled data buffer of its length; a
// length that the row's data text cannot hold gets no buffer.
ScriptLine LineOfRow(const ListModel& list, std::size_t row);
// Runs one line: the transfer's result, 1 for a Delay, 0 for no action.
int RunLine(ScriptLine& line, const ScriptTransfer& transfer);
// Runs rows in the order given; with stopOnFailure the run ends at the
// first failed transfer, whose number is marked. The run's result: 1 when
// every transfer succeeded.
int RunLines(ListModel& list, const std::vector<std::size_t>& rows, bool stopOnFailure,
             const ScriptTransfer& transfer);
// The header labels over the columns: "Slave ID", "Reg. and Data",
// "Comment".
struct LabelPlace {
    int x;
    int y;
    int width;
    int height;
};
struct HeaderLayout {
    std::vector<int> widths; // each at most kMaxLabelledWidth
    std::string signature;   // "w0;w1;...;"
    LabelPlace labels[3];
};
inline constexpr int kMaxLabelledWidth = 500;
// From the columns' widths and the list's left, top and right edges in the
// page's client coordinates.
HeaderLayout LayOutHeaderLabels(std::vector<int> widths, int left, int top, int right);

// Read bytes as the data cell shows them.
std::wstring ByteListText(const std::vector<uint8_t>& bytes);

} // namespace loggerui

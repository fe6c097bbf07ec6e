#include "busaccess/busgate/CommandTable.h"

namespace busgate {

namespace {

const CommandRow kRows[] = {
#include "CommandTableData.inc"
};

} // namespace

std::span<const CommandRow> CommandTable() {
    return kRows;
}

std::size_t FindCommandRow(uint32_t key, uint32_t firmwareCode) {
    const std::size_t count = std::size(kRows);
    for (std::size_t i = 0; i < count; ++i) {
        const CommandRow& row = kRows[i];
        if (RowApplies(row, firmwareCode) && (key & row.mask) == row.value)
            return i;
    }
    return count - 1;
}

} // namespace busgate

// The items of the check-list combo box apart from its window: check,
// exclusive and disabled flags, the 64-bit mask of checked items and the
// summary shown in the closed field.
#pragma once

#include "loggerui/ListModel.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace loggerui {

enum : int { kItemChecked = 1, kItemExclusive = 2, kItemDisabled = 8 };

// The locale's list separator with one space: "; " where numbers use a
// decimal comma, else ", ".
std::wstring LocaleListSeparator();

class CheckListModel {
public:
    // The cell it edits (row and column -1 for none).
    CheckListModel(int row, int column) : row_(row), column_(column) {}

    void SetItems(std::vector<std::wstring> items) { items_ = std::move(items); }
    std::size_t ItemCount() const { return items_.size(); }
    // Each gives the index, or -1 for an index outside the items.
    int SetCheck(int index, bool check);
    int SetItemFlags(int index, int flags);
    bool HasItemFlag(int index, int flag) const;
    // Checks the items whose bit is set; the others keep their state.
    void SetCheckedMask(uint64_t mask);
    void SetSeparator(std::wstring separator) { separator_ = std::move(separator); }

    // The closed field's text: the checked items joined by the separator,
    // "(None)" when none is. Rebuilding it updates the mask and, for a cell,
    // the list's cell value.
    const std::wstring& Summary(ListModel* list = nullptr);
    uint64_t Mask() const { return mask_; }

private:
    int Flags(int index) const;

    int row_;
    int column_;
    std::vector<std::wstring> items_;
    std::map<int, int> flags_;
    uint64_t mask_ = 0;
    std::wstring separator_;
    std::wstring summary_ = L"(None)";
    bool fresh_ = true;
};

} // namespace loggerui

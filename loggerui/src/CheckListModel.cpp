#include "loggerui/CheckListModel.h"

#include "loggerui/TextUtils.h"

#include <langinfo.h>

namespace loggerui {

std::wstring LocaleListSeparator() {
    const char* radix = nl_langinfo(RADIXCHAR);
    return radix && radix[0] == ',' ? L"; " : L", ";
}

int CheckListModel::Flags(int index) const {
    auto it = flags_.find(index);
    return it == flags_.end() ? 0 : it->second;
}

int CheckListModel::SetCheck(int index, bool check) {
    int flags = Flags(index);
    if (flags & kItemDisabled)
        return index;
    if (check) {
        if (flags & kItemExclusive) {
            if (flags & kItemChecked)
                return index;
            // Another checked exclusive item that is disabled keeps its place.
            for (const auto& [other, otherFlags] : flags_) {
                const int exclusiveChecked = kItemExclusive | kItemChecked;
                if (other != index && (otherFlags & exclusiveChecked) == exclusiveChecked &&
                    (otherFlags & kItemDisabled))
                    return index;
            }
            for (auto& [other, otherFlags] : flags_)
                if (other != index && (otherFlags & kItemExclusive) &&
                    !(otherFlags & kItemDisabled))
                    otherFlags &= ~kItemChecked;
        }
        flags |= kItemChecked;
    } else if (!(flags & kItemExclusive)) {
        flags &= ~kItemChecked;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
        return -1;
    flags_[index] = flags;
    fresh_ = false;
    return index;
}

int CheckListModel::SetItemFlags(int index, int flags) {
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
        return -1;
    flags_[index] = flags;
    fresh_ = false;
    return index;
}

bool CheckListModel::HasItemFlag(int index, int flag) const {
    return (Flags(index) & flag) != 0;
}

void CheckListModel::SetCheckedMask(uint64_t mask) {
    mask_ = mask;
    for (int i = 0; i < 64; ++i)
        if (mask & (uint64_t{1} << i))
            SetCheck(i, true);
}

const std::wstring& CheckListModel::Summary(ListModel* list) {
    if (fresh_)
        return summary_;
    const std::wstring separator = separator_.empty() ? LocaleListSeparator() : separator_;
    std::wstring text;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const uint64_t bit = i < 64 ? uint64_t{1} << i : 0;
        if (Flags(static_cast<int>(i)) & kItemChecked) {
            if (!text.empty())
                text += separator;
            text += items_[i];
            mask_ |= bit;
        } else {
            mask_ &= ~bit;
        }
    }
    if (list && row_ >= 0 && column_ >= 0)
        list->SetCellValue(row_, column_, mask_);
    text = Trim(text);
    summary_ = text.empty() ? L"(None)" : text;
    fresh_ = true;
    return summary_;
}

} // namespace loggerui

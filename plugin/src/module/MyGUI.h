// The plug-in's editor object over the framework's editor base.
#pragma once

#include "guilib/StandardGUI.h"

struct KTResContainerType;

class CMyGUI : public CStandardGUI_X {
public:
    // The algorithm is tied later, through InitDefaultGUI.
    explicit CMyGUI(KTResContainerType* container)
        : CStandardGUI_X(nullptr), container_(container) {}
    KTResContainerType* GetResContainer() const { return container_; }

private:
    KTResContainerType* container_ = nullptr;
};

// The plug-in's editor object over the framework's editor base.
#pragma once

#include "guilib/StandardGUIHeadless.h"

class CMyGUI : public CStandardGUI_X {
public:
    using CStandardGUI_X::CStandardGUI_X;
};

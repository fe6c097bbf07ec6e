// The toolkit's start in this process, as the GUI mode starts it: it brings
// the program's file and folder dialogs (WAV files, plug-in folders,
// preferences files) with it.
#include "host/GuiApplication.h"

#include "foundation/kvFMWx.h"

#include <gtest/gtest.h>

namespace {

TEST(GuiToolkit, ItsStartBringsTheFileDialogs) {
    kvFM::KCDialogService* previous = kvFM::SetDialogService(nullptr);
    if (!StartToolkit("rigwell")) {
        kvFM::SetDialogService(previous);
        GTEST_SKIP() << "no display";
    }
    EXPECT_NE(dynamic_cast<kvFM::KCWxDialogService*>(kvFM::GetDialogService()), nullptr);
    StopToolkit();
    kvFM::SetDialogService(previous);
}

} // namespace

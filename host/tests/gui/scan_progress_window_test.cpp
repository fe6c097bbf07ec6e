#include "host/ScanProgressWindow.h"

#include <filesystem>
#include <fstream>

#include "gui_support.h"

namespace {

std::string Text(KCControl& control) {
    std::string text;
    EXPECT_EQ(KMGetControlText(control, text), eNoErr);
    return text;
}

TEST(ScanProgressWindow, ShowsEachFileOfARealScanAndGoesWithDispose) {
    REQUIRE_DISPLAY();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("scan_progress_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (const char* leaf : {"a.txt", "b.txt", "c.txt"})
        std::ofstream(folder / leaf) << "not a plug-in";

    KCScanProgressWindow progress;
    ASSERT_EQ(progress.Init(), eNoErr);
    auto* frame = static_cast<wxTopLevelWindow*>(progress.GetWindow().windowHandle);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->GetTitle().utf8_string(), KCScanProgressWindow::kTitle);
    EXPECT_FALSE(frame->IsShown()); // until the first file

    std::vector<std::string> seen;
    KCPluginDiskScanner scanner;
    scanner.SetFolder(kvFM::KCStPath(folder.string()));
    const KTScanProgressObserver show = progress.Observer();
    scanner.SetProgressObserver([&](const kvFM::KCStPath& f, size_t item, size_t count) {
        show(f, item, count);
        seen.push_back(Text(progress.GetCountLine()));
    });
    KCQuorlComponentInfoList list;
    EXPECT_EQ(scanner.CreateList(list), eNoErr);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(seen, (std::vector<std::string>{"file 1 of 3", "file 2 of 3", "file 3 of 3"}));
    EXPECT_EQ(Text(progress.GetFolderLine()),
              kvFM::KCStPath(folder.string()).GetNativePathString());
    EXPECT_TRUE(progress.IsShown());
    EXPECT_TRUE(frame->IsShown());

    // Closing it during a scan does nothing.
    frame->Close();
    display::Pump(20);
    EXPECT_EQ(KMGetWindowRecord(frame), &progress.GetWindow());

    progress.Dispose();
    EXPECT_FALSE(progress.IsShown());
    EXPECT_EQ(gui::FindTopLevel(KCScanProgressWindow::kTitle), nullptr);
    progress.Update(kvFM::KCStPath(folder.string()), 1, 1); // after Dispose: nothing
    std::filesystem::remove_all(folder);
}

} // namespace

// A small window that shows how far a plug-in scan got: the folder and
// "file i of n". It appears with the first report and goes with Dispose.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "hosting/PluginScanner.h"
#include "ui/KCWindow.h"

class KCScanProgressWindow {
public:
    static constexpr const char* kTitle = "Scanning Plug-ins";

    KCScanProgressWindow() = default;
    KCScanProgressWindow(const KCScanProgressWindow&) = delete;
    KCScanProgressWindow& operator=(const KCScanProgressWindow&) = delete;
    // Frees the records; the native window goes only through Dispose.
    ~KCScanProgressWindow() = default;

    // Creates the window (hidden) and its two lines; the first failing
    // creation's status.
    KTErr Init();
    // Shows the folder and the item about to be scanned, and paints at once
    // (the scan keeps the event loop from running meanwhile).
    void Update(const kvFM::KCStPath& folder, size_t item, size_t count);
    // The scanner's observer: Update on this window, which must outlive the
    // scan.
    KTScanProgressObserver Observer();
    bool IsShown() const { return shown; }
    void Dispose();

    // "file 3 of 10".
    static std::string FormatCountLine(size_t item, size_t count);

    KCWindow& GetWindow() { return window; }
    KCControl& GetFolderLine() { return folderLine; }
    KCControl& GetCountLine() { return countLine; }

private:
    KCWindow window;
    KCControl folderLine;
    KCControl countLine;
    bool created = false;
    bool shown = false;
};

// Disposes of a scan's progress window and frees it.
struct KSScanProgressWindowCloser {
    void operator()(KCScanProgressWindow* window) const;
};
using KCScanProgressWindowPtr = std::unique_ptr<KCScanProgressWindow, KSScanProgressWindowCloser>;

// A progress window that the scanner reports to while the returned object
// lives; null without a display or when the window cannot be made.
KCScanProgressWindowPtr WatchScan(KCPluginDiskScanner& scanner);

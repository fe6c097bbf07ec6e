#include "host/ScanProgressWindow.h"

#include <wx/utils.h>
#include <wx/window.h>

#include "ui/KCCreationOptions.h"
#include "ui/KMWindowManager.h"

namespace {

KTErr CreateLine(KCWindow& parent, short top, KCControl& control) {
    KCControlCreationOptions options;
    options.controlType = kControlStaticText;
    options.parent = &parent;
    options.bounds = KURect<short>(top, 20, static_cast<short>(top + 20), 470);
    return KMCreateControl(options, control);
}

// The window stays until the scan ends: closing it does nothing.
bool IgnoreClose(void*, KEEventTypes event, KCEventData*, void*) {
    return event == eWindowClose;
}

} // namespace

std::string KCScanProgressWindow::FormatCountLine(size_t item, size_t count) {
    return "file " + std::to_string(item) + " of " + std::to_string(count);
}

KTErr KCScanProgressWindow::Init() {
    KCWinCreateOpts options;
    options.flags =
        (options.flags & ~kWinFlagDefault) | kWinFlagCentreHorizontally | kWinFlagCentreVertically;
    options.kind = kWinKindPlain;
    options.title = kTitle;
    options.bounds = KURect<short>(0, 0, 80, 500);
    options.handler = &IgnoreClose;
    options.userData = this;
    KTErr err = KMCreateWindow(options, window);
    created = err == eNoErr;
    if (err == eNoErr)
        err = CreateLine(window, 15, folderLine);
    if (err == eNoErr)
        err = CreateLine(window, 40, countLine);
    return err;
}

void KCScanProgressWindow::Update(const kvFM::KCStPath& folder, size_t item, size_t count) {
    if (!created)
        return;
    KMSetControlText(folderLine, folder.GetNativePathString());
    KMSetControlText(countLine, FormatCountLine(item, count));
    if (!shown)
        shown = KMShowWindow(window) == eNoErr;
    if (window.windowHandle != nullptr) {
        window.windowHandle->Refresh();
        window.windowHandle->Update();
        // Lets the display catch up while the user can do nothing else.
        wxSafeYield(window.windowHandle, true);
    }
}

KTScanProgressObserver KCScanProgressWindow::Observer() {
    return [this](const kvFM::KCStPath& folder, size_t item, size_t count) {
        Update(folder, item, count);
    };
}

void KCScanProgressWindow::Dispose() {
    if (!created)
        return;
    KMDisposeControl(folderLine);
    KMDisposeControl(countLine);
    KMDisposeWindow(window);
    created = false;
    shown = false;
}

void KSScanProgressWindowCloser::operator()(KCScanProgressWindow* window) const {
    if (window)
        window->Dispose();
    delete window;
}

KCScanProgressWindowPtr WatchScan(KCPluginDiskScanner& scanner) {
    if (!KMHasDisplay())
        return nullptr;
    KCScanProgressWindowPtr window(new KCScanProgressWindow);
    if (window->Init() != eNoErr)
        return nullptr;
    scanner.SetProgressObserver(window->Observer());
    return window;
}

#include "ui/KCWindow.h"

#include "KMNative.h"
#include "ui/KCDispatcherWX.h"

KCWindow::KCWindow() : dispatcher(new KCDispatcherWX()) {}

KCWindow::~KCWindow() {
    // A native window that outlives its record must not reach it any more.
    KMNative::DetachRecord(this);
    KCDispatcherWX::Release(dispatcher);
}

KCControl::KCControl() : dispatcher(new KCDispatcherWX()) {}

KCControl::~KCControl() {
    KMNative::DetachControl(this);
    KCDispatcherWX::Release(dispatcher);
}

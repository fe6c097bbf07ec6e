// The file manager's services on wxWidgets (the GUI thread's event loop).
#pragma once

#include "foundation/kvFMDialogs.h"

namespace kvFM {

// Save, open and folder dialogs over wx's file and folder dialogs. They
// need a running wx GUI application and are called on its thread; without
// one they fail with eGenericErr.
class KCWxDialogService : public KCDialogService {
public:
    KTErr SaveAs(const KCDialogCreationOptions& options, KCDialogReply& reply) override;
    KTErr SelectFileSystemObject(const KCDialogCreationOptions& options,
                                 KCDialogReply& reply) override;
};

// Installs one process-wide KCWxDialogService as the dialog service.
void InstallWxDialogService();

} // namespace kvFM

// The plug-in's editor object over the framework's editor base: it reads
// the editor's layout from the plug-in's resources and sets up the host's
// frame window on activation.
#pragma once

#include "guilib/StandardGUI.h"

#include <memory>

struct KTResContainerType;

class CMyGUI : public CStandardGUI_X {
public:
    // The layout resource of the editor.
    static constexpr short kLayoutId = 1000;

    // The algorithm is tied later, through InitDefaultGUI.
    explicit CMyGUI(KTResContainerType* container);
    ~CMyGUI() override;

    void InitDefaultGUI(cALGORITHM* alg) override;
    void ActivateWindow(KCWindow* w) override;
    void SetWindow(KCWindow* w) override;

private:
    class CServices;
    std::shared_ptr<CServices> services_;
};

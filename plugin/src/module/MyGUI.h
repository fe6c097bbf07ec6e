// The plug-in's editor object over the framework's editor base: it reads
// the editor's layout from the plug-in's resources and sets up the host's
// frame window on activation.
//
// Beyond the library's control classes, the layout may hold "Section"
// controls (a titled frame around a group of controls: Title), "Caption"
// controls (a free text such as a graph's scale mark: Text), both drawn
// beneath the controls that follow them; a "Text" control's Units (shown
// after the value) and Form (how the value is shown: "whole", "ratio" or
// "balance"); a "Caption"'s Color ("r,g,b"). Faders sit at their values on
// the parameter list's scales.
#pragma once

#include "guilib/StandardGUI.h"

#include <memory>
#include <string>

struct KTResContainerType;

class CMyGUI : public CStandardGUI_X {
public:
    // The layout resource of the editor.
    static constexpr short kLayoutId = 1000;
    // The height of a section's title bar.
    static constexpr short kSectionTitleHeight = 20;

    // The algorithm is tied later, through InitDefaultGUI.
    explicit CMyGUI(KTResContainerType* container);
    ~CMyGUI() override;

    void InitDefaultGUI(cALGORITHM* alg) override;
    void ActivateWindow(KCWindow* w) override;
    void SetWindow(KCWindow* w) override;
    // A value text with a form of its own: the text it shows.
    long TranslateController(unsigned long controller, double value, std::string& text) override;
    // Each control takes its parameter's disabled mode, then what changed is
    // drawn.
    void DoIdle() override;
    cControl_X* CreateSpecificControls(std::string& className) override;

private:
    // The section titles, captions and units of the layout resource.
    void ReadDecorations();

    class CServices;
    std::shared_ptr<CServices> services_;
};

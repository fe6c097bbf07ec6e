// The command-list window "DulmDSP Commander": named command scripts read
// from "Commander.xml"; a double click sends one to the chip at its I2C
// address. Created hidden once per algorithm object; its close box hides
// it.
#pragma once

#include "plugin/GenericWindow.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class cPEQ_ALG;

class CCommander : public CGenericWindow {
public:
    static constexpr int32_t kListId = 1;
    static constexpr int32_t kRefreshCommand = 1;

    CCommander() = default;
    ~CCommander() override;

    // The top-level window, hidden, at left 30, top 30, 170 x 370.
    bool Create();
    using CGenericWindow::Create;
    void Show(bool show);
    bool IsVisible() const;
    // Refills the list; false when the file cannot be read (empty list).
    bool Load(const std::string& path);
    void RunCommand(int32_t index);
    void SetAlgorithm(cPEQ_ALG* alg) { alg_ = alg; }

    size_t Count() const { return texts_.size(); }
    uint8_t Address(size_t index) const { return addresses_.at(index); }
    const std::string& Text(size_t index) const { return texts_.at(index); }
    std::string Name(size_t index) const;
    const std::string& Path() const { return path_; }
    CGenericWindow& List() { return list_; }

    // Shows a pop-up menu of `items` at a screen point and returns the
    // chosen item's index, or -1. Replaceable (tests script it).
    using PopupChooser = std::function<int32_t(wxWindow* owner, int32_t x, int32_t y,
                                               const std::vector<std::string>& items)>;
    static PopupChooser SetPopupChooser(PopupChooser chooser);

    cPEQ_ALG* alg_ = nullptr;

protected:
    intptr_t WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) override;
    intptr_t OnCreate(const SGenericCreate* create) override;

private:
    void ClearList();

    CGenericWindow list_;
    std::vector<std::string> texts_;
    std::vector<uint8_t> addresses_;
    std::string path_;
};

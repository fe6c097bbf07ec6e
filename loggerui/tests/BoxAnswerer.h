// Answers the logger's message boxes from inside their modal loops.
#pragma once

#include <wx/msgdlg.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

// The boxes the library shows.
#include <wx/generic/msgdlgg.h>

#include <string>
#include <vector>

namespace wxtest {

// Answers the message boxes as they open, in order: each answer ends the
// modal loop of the next box shown; captions and texts are recorded. A timer
// looks for them, as timers run inside modal loops too.
class BoxAnswerer : public wxTimer {
public:
    explicit BoxAnswerer(std::vector<int> answers) : answers_(std::move(answers)) { Start(10); }
    ~BoxAnswerer() override { Stop(); }
    std::vector<std::string> captions;
    std::vector<std::string> texts;
    bool Done() const { return answers_.empty(); }

    void Notify() override {
        for (wxWindow* window : wxTopLevelWindows) {
            auto* box = dynamic_cast<wxGenericMessageDialog*>(window);
            if (answers_.empty() || !box || !box->IsModal())
                continue;
            captions.push_back(box->GetTitle().utf8_string());
            texts.push_back(box->GetMessage().utf8_string());
            box->EndModal(answers_.front());
            answers_.erase(answers_.begin());
            break;
        }
        if (answers_.empty())
            Stop();
    }

private:
    std::vector<int> answers_;
};

} // namespace wxtest

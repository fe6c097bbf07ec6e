// A GTK module for the whole-system test: loaded into a wx program through
// GTK_MODULES, it writes the text of every multi-line text control of the
// program's top-level windows to the file named by KV_PANE_DUMP, whenever
// that text changes. A script outside the program can then read what a
// window's panes show (the logger's decoded traffic), which X alone cannot.
//
// The file holds, per control, a line "== TITLE #ID" and the control's text,
// and per enabled push button a line "@@ TITLE #ID X Y WIDTH HEIGHT" with
// the button's place in its top-level window (for a script's clicks); it
// is replaced whole (write to a temporary file, then rename).
#include <glib.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string target;
std::string written;

void Collect(const wxWindow* window, const wxWindow* top, const std::string& title,
             std::string& out) {
    if (const auto* text = dynamic_cast<const wxTextCtrl*>(window); text && text->IsMultiLine()) {
        out += "== " + title + " #" + std::to_string(text->GetId()) + "\n";
        out += text->GetValue().utf8_string();
        out += "\n";
    }
    if (const auto* button = dynamic_cast<const wxButton*>(window);
        button && button->IsShownOnScreen() && button->IsEnabled()) {
        const wxPoint at = button->GetScreenPosition() - top->GetScreenPosition();
        const wxSize size = button->GetSize();
        out += "@@ " + title + " #" + std::to_string(button->GetId()) + " " + std::to_string(at.x) +
               " " + std::to_string(at.y) + " " + std::to_string(size.x) + " " +
               std::to_string(size.y) + "\n";
    }
    for (const wxWindow* child : window->GetChildren())
        if (!child->IsTopLevel()) // dialogs owned by the window are listed on their own
            Collect(child, top, title, out);
}

bool WriteWhole(const std::string& text) {
    const std::string temporary = target + ".part";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !ok) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), target.c_str()) == 0;
}

gboolean Tick(gpointer) {
    // The toolkit may be stopping: nothing to read then.
    if (wxTheApp == nullptr)
        return G_SOURCE_CONTINUE;
    std::string now;
    for (const wxWindow* window : wxTopLevelWindows)
        Collect(window, window, window->GetLabel().utf8_string(), now);
    if (now != written && WriteWhole(now))
        written = now;
    return G_SOURCE_CONTINUE;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void gtk_module_init(int*, char***) {
    const char* path = std::getenv("KV_PANE_DUMP");
    if (path == nullptr || *path == '\0')
        return;
    target = path;
    g_timeout_add(200, &Tick, nullptr);
}

// libbusgate_c.so loaded with dlopen as a host loads it, its exports bound;
// unloaded at the end of the scope.
#pragma once

#include "busaccess/busgate/busgate_api.h"

#include <dlfcn.h>
#include <wx/frame.h>

namespace wxtest {

class LoadedBusgate {
public:
    LoadedBusgate() : library_(dlopen(BUSGATE_C_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (!library_)
            return;
        open = Bind<decltype(busgate_open)>("busgate_open");
        transmit = Bind<decltype(busgate_transmit)>("busgate_transmit");
        receive = Bind<decltype(busgate_receive)>("busgate_receive");
        close = Bind<decltype(busgate_close)>("busgate_close");
    }
    ~LoadedBusgate() {
        if (library_)
            dlclose(library_);
    }
    LoadedBusgate(const LoadedBusgate&) = delete;
    LoadedBusgate& operator=(const LoadedBusgate&) = delete;

    // True when the library and every export were found.
    bool Loaded() const { return library_ && open && transmit && receive && close; }
    // Opens as the plug-in's connection does: a zeroed board entry.
    busgate_handle Open(busgate_status& status) {
        busgate_board board{};
        return open(&board, &status);
    }

    decltype(busgate_open)* open = nullptr;
    decltype(busgate_transmit)* transmit = nullptr;
    decltype(busgate_receive)* receive = nullptr;
    decltype(busgate_close)* close = nullptr;

private:
    template <typename F>
    F* Bind(const char* name) {
        return reinterpret_cast<F*>(dlsym(library_, name));
    }
    void* library_;
};

// The host's editor frame, shown, under the title the library looks for.
inline wxFrame* ShowEditorFrame() {
    auto* host = new wxFrame(nullptr, wxID_ANY, "Quorl Audio DulmDSP");
    host->Show();
    return host;
}

// The host's editor frame shown, then the library loaded and opened on the
// board as the plug-in's connection opens it (a zero handle when it did not).
struct EditorAndBusgate {
    wxFrame* host = ShowEditorFrame();
    LoadedBusgate busgate;
    busgate_status status{};
    busgate_handle handle = busgate.Loaded() ? busgate.Open(status) : 0;
};

} // namespace wxtest

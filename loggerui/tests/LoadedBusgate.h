// libbusgate_c.so loaded with dlopen as a host loads it, its exports bound;
// unloaded at the end of the scope.
#pragma once

#include "busaccess/busgate/busgate_api.h"

#include <dlfcn.h>

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

} // namespace wxtest

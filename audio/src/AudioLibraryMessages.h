// The audio libraries' own messages (ALSA's and JACK's, which they print to
// the terminal by default) go to the debug trace instead.
#pragma once

namespace KCAudioLibraryMessages {

// Installs the libraries' message handlers once per process; called before
// a library is first started.
void Install();

} // namespace KCAudioLibraryMessages

// What the devices tell the PortAudio session about their streams.
#pragma once

namespace KCPortAudioSession {

// Counts the streams that are open, so that the session ends only after
// the last one was closed.
void NoteStreamOpened();
void NoteStreamClosed();

} // namespace KCPortAudioSession

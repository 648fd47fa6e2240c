// The real sound output of the desktop (Qt Multimedia, push mode) and the playing of a WAV file.
#pragma once

#include <string>

namespace rf::ui {

// Makes DXAInit open the default audio output of the machine (none when it has none), unless an
// output factory was installed already.
void InstallSoundOutput();
// True when the machine offers an audio output.
bool SoundOutputPresent();
// Plays a sound file's audio once, without waiting; the sound started last replaces a playing
// one. False when there is no output or the file carries no readable sound.
bool PlayWave(const std::string& name);

}  // namespace rf::ui

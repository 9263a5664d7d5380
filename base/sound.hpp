#pragma once
// Sound output: one stream of 16-bit stereo frames through a looping buffer. The sound
// handler, installed by the application, is called on the mixing thread to refill the
// part of the buffer that has just been played, so what it writes is heard one buffer
// length later. The mixing thread wakes once per frame (sSoundClock) or after a third of
// the buffer's duration, whichever comes first, and writes in steps of 64 frames.

#include "base/types.hpp"

#include <memory>
#include <string>

namespace plat
{
class SoundOutput;
}

// Fills count frames (left sample first, 4 bytes each) completely. Runs on the mixing
// thread with the sound lock held; it must not set or clear the handler itself.
using sSoundHandler = void (*)(sS16 *samples, sInt count);

// The "Sound" subsystem (level 176). sInitSound starts the mixing thread unless the
// system flags hold sISF_NOSOUND; sExitSound clears the output and ends the thread.
void sInitSound();
void sExitSound();
// Fills in the functions of the framework's "Sound" entry (once; later calls do nothing).
void sInstallSoundSubsystem();

// Starts output of rate frames per second through a buffer of length frames and makes
// handler its source; flags bit 0 keeps the output playing while the window is not
// focused. Returns 1 when output runs; 0 (the program runs silent) when sound is off,
// there is no sound device or the values are unusable.
sBool sSetSoundHandler(sInt rate, sSoundHandler handler, sInt length, sInt flags);
// Stops and releases the output; the handler is not called again.
void sClearSoundHandler();
// Wakes the mixing thread; the frame driver calls it after every frame.
void sSoundClock();

// Where output devices come from; null (the default) is the machine's sound output.
// Tests install outputs of their own.
using sSoundOutputFactory = std::unique_ptr<plat::SoundOutput> (*)(sInt rate, sInt length, std::u16string *error);
void sSetSoundOutputFactory(sSoundOutputFactory factory);

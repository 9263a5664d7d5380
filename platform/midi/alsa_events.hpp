#pragma once
// Translation between ALSA sequencer events and packed short messages.

#include <alsa/asoundlib.h>

#include <cstdint>

namespace plat
{

// Writes the short messages that one event stands for into out (at most max) and
// returns how many: 0 for events that carry no short message (sysex, queue control,
// port announcements), up to 4 for a registered/non-registered parameter change.
int MidiDecodeSeqEvent(const snd_seq_event_t &ev, uint32_t *out, int max);

// Fills the type and data of ev for one short message; false when the status byte
// cannot travel as a short message. Data bytes are taken as 7-bit values.
bool MidiEncodeSeqEvent(uint32_t message, snd_seq_event_t &ev);

}

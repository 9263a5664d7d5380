#include "platform/midi/alsa_events.hpp"
#include "platform/midi/midi.hpp"

#include <ctime>

namespace plat
{

uint32_t MidiClockMs()
{
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

bool MidiIsShortStatus(uint8_t status)
{
  if(status >= 0x80 && status < 0xf0)
    return true;
  switch(status)
  {
  case 0xf1: case 0xf2: case 0xf3: case 0xf6:
  case 0xf8: case 0xfa: case 0xfb: case 0xfc: case 0xfe: case 0xff:
    return true;
  default:
    return false;
  }
}

int MidiDataBytes(uint8_t status)
{
  if(status >= 0x80 && status < 0xf0)
    return (status & 0xf0) == 0xc0 || (status & 0xf0) == 0xd0 ? 1 : 2;
  if(status == 0xf1 || status == 0xf3)
    return 1;
  if(status == 0xf2)
    return 2;
  return 0;
}

namespace
{
uint32_t Channel(uint8_t kind, const snd_seq_event_t &ev, unsigned d1, unsigned d2)
{
  return MidiPackShort(uint8_t(kind | (ev.data.note.channel & 15)), uint8_t(d1 & 0x7f), uint8_t(d2 & 0x7f));
}
}

int MidiDecodeSeqEvent(const snd_seq_event_t &ev, uint32_t *out, int max)
{
  uint32_t msg[4];
  int n = 0;
  const snd_seq_ev_ctrl_t &c = ev.data.control;
  switch(ev.type)
  {
  case SND_SEQ_EVENT_NOTEON:
    msg[n++] = Channel(0x90, ev, ev.data.note.note, ev.data.note.velocity);
    break;
  case SND_SEQ_EVENT_NOTEOFF:
    msg[n++] = Channel(0x80, ev, ev.data.note.note, ev.data.note.velocity);
    break;
  case SND_SEQ_EVENT_KEYPRESS:
    msg[n++] = Channel(0xa0, ev, ev.data.note.note, ev.data.note.velocity);
    break;
  case SND_SEQ_EVENT_CONTROLLER:
    msg[n++] = Channel(0xb0, ev, c.param, unsigned(c.value));
    break;
  case SND_SEQ_EVENT_PGMCHANGE:
    msg[n++] = Channel(0xc0, ev, unsigned(c.value), 0);
    break;
  case SND_SEQ_EVENT_CHANPRESS:
    msg[n++] = Channel(0xd0, ev, unsigned(c.value), 0);
    break;
  case SND_SEQ_EVENT_PITCHBEND:
  {
    int v = c.value + 8192;
    v = v < 0 ? 0 : v > 16383 ? 16383 : v;
    msg[n++] = Channel(0xe0, ev, unsigned(v) & 0x7f, unsigned(v) >> 7);
    break;
  }
  case SND_SEQ_EVENT_CONTROL14:
    if(c.param < 32)
    {
      msg[n++] = Channel(0xb0, ev, c.param, unsigned(c.value) >> 7);
      msg[n++] = Channel(0xb0, ev, c.param + 32, unsigned(c.value));
    }
    else
      msg[n++] = Channel(0xb0, ev, c.param, unsigned(c.value));
    break;
  case SND_SEQ_EVENT_NONREGPARAM:
  case SND_SEQ_EVENT_REGPARAM:
  {
    bool nrpn = ev.type == SND_SEQ_EVENT_NONREGPARAM;
    msg[n++] = Channel(0xb0, ev, nrpn ? 99 : 101, c.param >> 7);
    msg[n++] = Channel(0xb0, ev, nrpn ? 98 : 100, c.param);
    msg[n++] = Channel(0xb0, ev, 6, unsigned(c.value) >> 7);
    msg[n++] = Channel(0xb0, ev, 38, unsigned(c.value));
    break;
  }
  case SND_SEQ_EVENT_SONGPOS:
    msg[n++] = MidiPackShort(0xf2, uint8_t(c.value & 0x7f), uint8_t((c.value >> 7) & 0x7f));
    break;
  case SND_SEQ_EVENT_SONGSEL:
    msg[n++] = MidiPackShort(0xf3, uint8_t(c.value & 0x7f), 0);
    break;
  case SND_SEQ_EVENT_QFRAME:
    msg[n++] = MidiPackShort(0xf1, uint8_t(c.value & 0x7f), 0);
    break;
  case SND_SEQ_EVENT_TUNE_REQUEST: msg[n++] = 0xf6; break;
  case SND_SEQ_EVENT_CLOCK: msg[n++] = 0xf8; break;
  case SND_SEQ_EVENT_START: msg[n++] = 0xfa; break;
  case SND_SEQ_EVENT_CONTINUE: msg[n++] = 0xfb; break;
  case SND_SEQ_EVENT_STOP: msg[n++] = 0xfc; break;
  case SND_SEQ_EVENT_SENSING: msg[n++] = 0xfe; break;
  case SND_SEQ_EVENT_RESET: msg[n++] = 0xff; break;
  default:
    break;
  }
  if(n > max)
    n = max;
  for(int i = 0; i < n; i++)
    out[i] = msg[i];
  return n;
}

bool MidiEncodeSeqEvent(uint32_t message, snd_seq_event_t &ev)
{
  uint8_t status = MidiStatus(message);
  if(!MidiIsShortStatus(status))
    return false;
  unsigned d1 = MidiData1(message) & 0x7f;
  unsigned d2 = MidiData2(message) & 0x7f;
  unsigned ch = status & 15;
  snd_seq_ev_clear(&ev);
  switch(status >= 0xf0 ? status : status & 0xf0)
  {
  case 0x80: snd_seq_ev_set_noteoff(&ev, ch, d1, d2); break;
  case 0x90: snd_seq_ev_set_noteon(&ev, ch, d1, d2); break;
  case 0xa0: snd_seq_ev_set_keypress(&ev, ch, d1, d2); break;
  case 0xb0: snd_seq_ev_set_controller(&ev, ch, d1, d2); break;
  case 0xc0: snd_seq_ev_set_pgmchange(&ev, ch, d1); break;
  case 0xd0: snd_seq_ev_set_chanpress(&ev, ch, d1); break;
  case 0xe0: snd_seq_ev_set_pitchbend(&ev, ch, int(d2 << 7 | d1) - 8192); break;
  case 0xf1: ev.type = SND_SEQ_EVENT_QFRAME; ev.data.control.value = int(d1); break;
  case 0xf2: ev.type = SND_SEQ_EVENT_SONGPOS; ev.data.control.value = int(d2 << 7 | d1); break;
  case 0xf3: ev.type = SND_SEQ_EVENT_SONGSEL; ev.data.control.value = int(d1); break;
  case 0xf6: ev.type = SND_SEQ_EVENT_TUNE_REQUEST; break;
  case 0xf8: ev.type = SND_SEQ_EVENT_CLOCK; break;
  case 0xfa: ev.type = SND_SEQ_EVENT_START; break;
  case 0xfb: ev.type = SND_SEQ_EVENT_CONTINUE; break;
  case 0xfc: ev.type = SND_SEQ_EVENT_STOP; break;
  case 0xfe: ev.type = SND_SEQ_EVENT_SENSING; break;
  case 0xff: ev.type = SND_SEQ_EVENT_RESET; break;
  default: return false;
  }
  return true;
}

}

#pragma once
// The control values of the show: the DMX and MIDI value banks with their learn
// baselines, and the live recording of the 32 control tracks that the GUI writes and the
// show replays.
//
// The scene machine derives from SceneControls, so that the GUI and the IPP machine call
// these operations on the machine. The banks are refreshed once per frame; the live table
// is read from "LiveRecordingData.txt" at construction and written when the GUI asks.
// Main thread only: the DMX values are copied from the receiver's table without a lock.

#include "base/types.hpp"

class sMidiHandler;

enum : sInt
{
  sCONTROL_DMX = 1,   // the kind of a DMX control; any other kind is MIDI
  sCONTROL_DMXCHANNELS = 4096,
  sCONTROL_MIDICONTROLLERS = 128,
  sCONTROL_TRACKS = 32,
  sLIVE_LINES = 50 * 60 * 6,   // six minutes of 20 ms lines
  sLIVE_WORDS = 1 + sCONTROL_TRACKS,
};

class SceneControls
{
public:
  // DMX banks, values 0..1 as received, -1 where nothing came yet
  sF32 DmxCurrent[sCONTROL_DMXCHANNELS];
  sF32 DmxPrevious[sCONTROL_DMXCHANNELS];
  sF32 DmxBaseline[sCONTROL_DMXCHANNELS];
  sInt DmxCount, DmxPrevCount, DmxBaselineCount;
  // MIDI banks by controller number
  sF32 MidiCurrent[sCONTROL_MIDICONTROLLERS];
  sF32 MidiPrevious[sCONTROL_MIDICONTROLLERS];
  sF32 MidiBaseline[sCONTROL_MIDICONTROLLERS];
  // The live recording: word 0 a position stamp, word 1 + t track t as
  // flags x 1000 + value x 999 (flag 1000 MIDI live, 2000 DMX live; 0 = nothing).
  sU32 (*LiveTable)[sLIVE_WORDS];
  sInt LiveOverride[sLIVE_WORDS];
  // The show clock in milliseconds that picks the current line (20 ms per line).
  sU32 LiveClockMs;
  // Lines the clock passed over since the last frame, before the current one: a frame
  // replays them with the current line.
  sInt LivePassedLines;

  SceneControls();
  virtual ~SceneControls();
  SceneControls(const SceneControls &) = delete;
  SceneControls &operator=(const SceneControls &) = delete;

  // Every bank value -1, the DMX counts 0 (the machine's start).
  void ResetBanks();
  // Start of a frame: the previous DMX bank takes the current one, the current one takes
  // count received values (count is clamped to the bank).
  void UpdateDmx(const sF32 *values, sInt count);
  // The MIDI banks: previous := current, then every waiting message sets the value of the
  // controller in its first data byte to its second data byte / 127. Null handler: no
  // messages. Returns 1.
  sInt PollMidi(sMidiHandler *handler);

  // The line of the live table for the current clock (capped at the last line).
  sInt GetLiveLine() const;
  // A frame's clock: the current line, and the lines passed since the last frame's.
  void SetLiveClock(sU32 ms);
  // Whether the control drives the track now: it moved this frame (its track's recording
  // is then given up from the frame's lines on), or the recording holds a live value of
  // its kind on the frame's lines.
  sBool GetControlTrigger(sInt kind, sInt channel, sInt track);
  // The recorded value of the track when the frame's lines hold one of this kind (the
  // latest), else the live value of the control (0 for a control that never sent anything).
  sF32 GetControlValue(sInt kind, sInt channel, sInt track);
  // Takes the learn baseline of a kind.
  void BeginControlLearn(sInt kind);
  // The lowest channel that moved by more than 0.25 since the baseline; 0 when none.
  sBool FindLearnedControl(sInt kind, sInt &channel);

private:
  // The track's word that the frame replays for a kind's flag (1 MIDI, 2 DMX).
  sU32 ReplayedWord(sInt track, sU32 flag) const;
};

// The live recording's file, in the current directory.
extern const sChar *const sLiveRecordingFile;

// Reads the live table from a file (missing file: the table stays as it is). The text is
// split into tokens as every text format of the program is: a line is the name "live",
// then 33 times any one token and an integer (a '-' may precede it; hexadecimal after 0x,
// binary after 0b, or a character literal), with blanks and comments anywhere between.
// The reading stops at damage, logged with its line number: a line that is not "live"
// or whose word is no integer or one past 32 bits is dropped, and a line after which the
// tokenizer meets an error of the text is the last one read. The lines before are kept
// and the rest of the table stays empty. Lines past the table's end are ignored. Returns
// the number of lines read.
sInt LoadLiveRecording(SceneControls *controls, const sChar *name);
// Writes the whole table to the file: first to a new file beside it, which then replaces
// the old one, so a failed save leaves the old recording intact. 1 on success.
sBool SaveLiveRecording(SceneControls *controls, const sChar *name = sLiveRecordingFile);

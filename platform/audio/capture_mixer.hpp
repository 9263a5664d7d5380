#pragma once
// The input volume: the capture faders of the default sound card's mixer.

#include <memory>
#include <string>

namespace plat
{

class CaptureMixer
{
public:
  // The capture faders of the default card. Null, with the reason in error, when there
  // is no card or it has no capture fader (the program then leaves the volume alone).
  static std::unique_ptr<CaptureMixer> Open(std::u16string *error = nullptr);
  virtual ~CaptureMixer() = default;

  virtual int GetFaderCount() const = 0;
  virtual std::u16string GetFaderName(int fader) const = 0;
  // The fader's range of raw values; false for a bad index.
  virtual bool GetFaderRange(int fader, long *minimum, long *maximum) const = 0;
  // Sets every channel of the fader to value (clamped into its range).
  virtual bool SetFader(int fader, long value) = 0;
  // Reads the fader back (its first channel).
  virtual bool GetFader(int fader, long *value) const = 0;
};

}

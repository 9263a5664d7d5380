#include "platform/audio/capture_mixer.hpp"
#include "platform/text/utf.hpp"

#include <alsa/asoundlib.h>

#include <vector>

namespace plat
{
namespace
{

void QuietAlsaErrors(const char *, int, const char *, int, const char *, ...) {}

class AlsaCaptureMixer : public CaptureMixer
{
public:
  snd_mixer_t *Mixer = nullptr;
  std::vector<snd_mixer_elem_t *> Faders;

  ~AlsaCaptureMixer() override
  {
    if(Mixer)
      snd_mixer_close(Mixer);
  }

  int GetFaderCount() const override { return int(Faders.size()); }

  std::u16string GetFaderName(int fader) const override
  {
    if(fader < 0 || fader >= int(Faders.size()))
      return u"";
    return ToUtf16(snd_mixer_selem_get_name(Faders[fader]));
  }

  bool GetFaderRange(int fader, long *minimum, long *maximum) const override
  {
    if(fader < 0 || fader >= int(Faders.size()))
      return false;
    return snd_mixer_selem_get_capture_volume_range(Faders[fader], minimum, maximum) >= 0;
  }

  bool SetFader(int fader, long value) override
  {
    long lo, hi;
    if(!GetFaderRange(fader, &lo, &hi))
      return false;
    value = value < lo ? lo : value > hi ? hi : value;
    return snd_mixer_selem_set_capture_volume_all(Faders[fader], value) >= 0;
  }

  bool GetFader(int fader, long *value) const override
  {
    if(fader < 0 || fader >= int(Faders.size()))
      return false;
    snd_mixer_elem_t *elem = Faders[fader];
    for(int ch = 0; ch <= SND_MIXER_SCHN_LAST; ch++)
      if(snd_mixer_selem_has_capture_channel(elem, snd_mixer_selem_channel_id_t(ch)))
        return snd_mixer_selem_get_capture_volume(elem, snd_mixer_selem_channel_id_t(ch), value) >= 0;
    return false;
  }
};

std::u16string Reason(const char *what, int err)
{
  return ToUtf16(std::string(what) + " (" + snd_strerror(err) + ")");
}

}

std::unique_ptr<CaptureMixer> CaptureMixer::Open(std::u16string *error)
{
  snd_lib_error_set_handler(QuietAlsaErrors);
  auto mixer = std::make_unique<AlsaCaptureMixer>();
  int err = snd_mixer_open(&mixer->Mixer, 0);
  if(err < 0)
  {
    mixer->Mixer = nullptr;
    if(error)
      *error = Reason("no sound mixer", err);
    return nullptr;
  }
  if((err = snd_mixer_attach(mixer->Mixer, "default")) < 0 ||
     (err = snd_mixer_selem_register(mixer->Mixer, nullptr, nullptr)) < 0 ||
     (err = snd_mixer_load(mixer->Mixer)) < 0)
  {
    if(error)
      *error = Reason("no sound card mixer", err);
    return nullptr;
  }
  for(snd_mixer_elem_t *elem = snd_mixer_first_elem(mixer->Mixer); elem; elem = snd_mixer_elem_next(elem))
    if(snd_mixer_selem_is_active(elem) && snd_mixer_selem_has_capture_volume(elem))
      mixer->Faders.push_back(elem);
  if(mixer->Faders.empty())
  {
    if(error)
      *error = u"the sound card has no capture fader";
    return nullptr;
  }
  return mixer;
}

}

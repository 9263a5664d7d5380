// The SYNC machine's analysis over a sound file, as fast as it can run: the fraction of
// one core it needs at real time, and the bass and snare onsets it finds with their
// times, one per line ("bass 12.345"), for an outside tool to score.
//   bench_sync_analysis [file.wav] [-soak minutes] [-synth out.wav seconds bpm]
// The file is 16-bit PCM WAV at 44,100 Hz (mono or stereo), or any sound file FFmpeg
// decodes at 44,100 Hz (the stand-in music "Tarnglow.ogg", taken when no file is named). -soak feeds the file round and round for
// that many minutes and reports memory growth and the clock's drift against the samples.
// -synth writes a drum track of known tempo and prints its true beat times ("beat t").

#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "show/sync.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <time.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}
#include <vector>

namespace
{
constexpr int Rate = 44100;

bool ReadWav(const char *name, std::vector<int16_t> &stereo)
{
  FILE *f = std::fopen(name, "rb");
  if(!f)
    return false;
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  size_t n;
  while((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
    data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  auto u32 = [&](size_t at) { return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24; };
  auto u16 = [&](size_t at) { return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8; };
  if(data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) || std::memcmp(data.data() + 8, "WAVE", 4))
    return false;
  int channels = 0, bits = 0, rate = 0;
  for(size_t at = 12; at + 8 <= data.size();)
  {
    const uint32_t size = u32(at + 4);
    const size_t body = at + 8;
    if(size > data.size() - body)
      return false;
    if(!std::memcmp(data.data() + at, "fmt ", 4) && size >= 16)
    {
      channels = int(u16(body + 2));
      rate = int(u32(body + 4));
      bits = int(u16(body + 14));
    }
    else if(!std::memcmp(data.data() + at, "data", 4))
    {
      if(bits != 16 || rate != Rate || channels < 1 || channels > 2)
        return false;
      const size_t frames = size / (2 * channels);
      stereo.resize(frames * 2);
      for(size_t i = 0; i < frames; i++)
        for(int c = 0; c < 2; c++)
          stereo[i * 2 + c] = int16_t(u16(body + (i * channels + (channels == 2 ? c : 0)) * 2));
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

// Any other sound file through FFmpeg: 44,100 Hz, one or two channels.
bool ReadDecoded(const char *name, std::vector<int16_t> &stereo)
{
  AVFormatContext *format = nullptr;
  if(avformat_open_input(&format, name, nullptr, nullptr) < 0)
    return false;
  bool ok = false;
  AVCodecContext *codec = nullptr;
  AVPacket *packet = av_packet_alloc();
  AVFrame *frame = av_frame_alloc();
  const AVCodec *decoder = nullptr;
  const int stream = avformat_find_stream_info(format, nullptr) >= 0
                       ? av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0) : -1;
  if(stream >= 0 && (codec = avcodec_alloc_context3(decoder)) &&
     avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) >= 0 &&
     avcodec_open2(codec, decoder, nullptr) >= 0 && codec->sample_rate == Rate)
  {
    ok = true;
    auto take = [&] {
      while(avcodec_receive_frame(codec, frame) >= 0)
      {
        const int channels = frame->ch_layout.nb_channels;
        for(int i = 0; i < frame->nb_samples; i++)
          for(int c = 0; c < 2; c++)
          {
            const int ch = c < channels ? c : 0;
            float v = 0.0f;
            switch(frame->format)
            {
            case AV_SAMPLE_FMT_FLTP: v = reinterpret_cast<const float *>(frame->extended_data[ch])[i]; break;
            case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<const float *>(frame->extended_data[0])[i * channels + ch]; break;
            case AV_SAMPLE_FMT_S16P: v = reinterpret_cast<const int16_t *>(frame->extended_data[ch])[i] / 32768.0f; break;
            case AV_SAMPLE_FMT_S16: v = reinterpret_cast<const int16_t *>(frame->extended_data[0])[i * channels + ch] / 32768.0f; break;
            default: ok = false; break;
            }
            v = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v;
            stereo.push_back(int16_t(v * 32767.0f));
          }
      }
    };
    while(ok && av_read_frame(format, packet) >= 0)
    {
      if(packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0)
        take();
      av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    take();
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return ok;
}

void WriteWav(const char *name, const std::vector<int16_t> &stereo)
{
  FILE *f = std::fopen(name, "wb");
  if(!f)
    return;
  const uint32_t bytes = uint32_t(stereo.size() * 2);
  auto put32 = [&](uint32_t v) { for(int i = 0; i < 4; i++) std::fputc(int(v >> (8 * i) & 255), f); };
  auto put16 = [&](uint32_t v) { std::fputc(int(v & 255), f); std::fputc(int(v >> 8 & 255), f); };
  std::fwrite("RIFF", 1, 4, f);
  put32(36 + bytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  put32(16); put16(1); put16(2); put32(Rate); put32(Rate * 4); put16(4); put16(16);
  std::fwrite("data", 1, 4, f);
  put32(bytes);
  for(int16_t s : stereo)
    put16(uint16_t(s));
  std::fclose(f);
}

// Kicks on every beat, snares on two and four, closed hats on the off-beats and a
// sustained bass note under it all.
std::vector<int16_t> Synthesise(double seconds, double bpm, std::vector<double> &beats)
{
  const size_t frames = size_t(seconds * Rate);
  std::vector<float> mix(frames, 0.0f);
  const double beat = 60.0 / bpm;
  uint32_t noise = 12345;
  auto rnd = [&] { noise = noise * 1103515245u + 12345u; return float(int32_t(noise) >> 8) / float(1 << 23); };
  for(double t = 0.5; t + 0.4 < seconds; t += beat)
  {
    beats.push_back(t);
    const size_t at = size_t(t * Rate);
    double phase = 0.0;
    for(size_t i = 0; i < size_t(0.35 * Rate) && at + i < frames; i++)
    {
      const double s = double(i) / Rate;
      phase += 2.0 * M_PI * (50.0 + 90.0 * std::exp(-s / 0.03)) / Rate;
      mix[at + i] += float(0.8 * std::exp(-s / 0.12) * std::sin(phase));
    }
    const int index = int(std::lround((t - 0.5) / beat));
    const size_t hat = size_t((t + beat / 2) * Rate);
    for(size_t i = 0; i < size_t(0.05 * Rate) && hat + i < frames; i++)
      mix[hat + i] += 0.15f * float(std::exp(-double(i) / Rate / 0.01)) * (rnd() - 0.5f * rnd());
    if(index % 2 == 1)
      for(size_t i = 0; i < size_t(0.2 * Rate) && at + i < frames; i++)
      {
        const double s = double(i) / Rate;
        mix[at + i] += float(0.5 * std::exp(-s / 0.06)) * (rnd() + 0.3f * float(std::sin(2.0 * M_PI * 190.0 * s)));
      }
  }
  std::vector<int16_t> stereo(frames * 2);
  for(size_t i = 0; i < frames; i++)
  {
    float v = mix[i] + 0.08f * float(std::sin(2.0 * M_PI * 55.0 * double(i) / Rate));
    v = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v;
    stereo[i * 2] = stereo[i * 2 + 1] = int16_t(v * 30000.0f);
  }
  return stereo;
}

// Processor time of the calling thread: other work on the machine does not count.
double ThreadSeconds()
{
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Collects the onsets of one list by absolute block: a closed run keeps its place.
void Collect(const SyncOnsetList &list, sInt analysed, std::map<sInt, bool> &found)
{
  for(sInt i = 0; i < list.Count; i++)
    found[analysed - 1 - list.Records[i][0]] = true;
}

std::vector<double> Times(const std::map<sInt, bool> &found)
{
  std::vector<double> t;
  for(const auto &f : found)
  {
    const double at = (double(f.first + 1) * 256.0 - double(SYNC_ONSETDELAY)) / Rate;
    // a run can be found again one block off as it settles: keep the first
    if(t.empty() || at - t.back() > 0.03)
      t.push_back(at);
  }
  return t;
}
}

int main(int argc, char **argv)
{
  const char *file = nullptr;
  int soakMinutes = 0;
  for(int i = 1; i < argc; i++)
  {
    if(!std::strcmp(argv[i], "-soak") && i + 1 < argc)
      soakMinutes = std::atoi(argv[++i]);
    else if(!std::strcmp(argv[i], "-synth") && i + 3 < argc)
    {
      std::vector<double> beats;
      WriteWav(argv[i + 1], Synthesise(std::atof(argv[i + 2]), std::atof(argv[i + 3]), beats));
      for(double b : beats)
        std::printf("beat %.4f\n", b);
      return 0;
    }
    else
      file = argv[i];
  }
  if(!file)
    file = "Tarnglow.ogg";
  std::vector<int16_t> samples;
  if((!ReadWav(file, samples) && !ReadDecoded(file, samples)) || samples.empty())
  {
    std::fprintf(stderr, "%s: not a 16-bit WAV file or a sound file of 44,100 Hz\n", file);
    return 1;
  }

  sInitMemorySystem();
  sGetMemoryHandler(1)->MakeThreadSafe();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  int result = 0;
  {
    SyncMachine *sync = sNEW SyncMachine(126.0f);
    const size_t frames = samples.size() / 2;
    const size_t total = soakMinutes > 0 ? size_t(soakMinutes) * 60 * Rate : frames;
    std::map<sInt, bool> bass, snare;
    long long fed = 0, clock = 0;
    sS64 memoryAfterWarmUp = -1;
    double busy = 0.0;
    for(size_t done = 0; done < total;)
    {
      // capture-sized pieces, as the sound input delivers them
      size_t n = 1024;
      const size_t at = done % frames;
      if(n > frames - at) n = frames - at;
      if(n > total - done) n = total - done;
      const double t0 = ThreadSeconds();
      sync->Receiver.OnSamples(samples.data() + at * 2, sInt(n));
      done += n;
      fed += (long long)n;
      // the frame clock follows the samples: whole milliseconds, the rest carried on
      const long long ms = fed * 1000 / Rate - clock;
      if(ms > 0)
      {
        sync->Update(sInt(ms));
        clock += ms;
      }
      busy += ThreadSeconds() - t0;
      if(soakMinutes == 0)
      {
        Collect(sync->Bass, sync->AnalysedBlocks, bass);
        Collect(sync->Snare, sync->AnalysedBlocks, snare);
      }
      else if(memoryAfterWarmUp < 0 && done >= size_t(20 * Rate))
        memoryAfterWarmUp = sAllocatedBytes.load();
    }
    const double seconds = double(total) / Rate;
    std::printf("audio %.1f s analysed in %.3f s: %.2f%% of one core at real time (target at most 2%%)\n", seconds,
                busy, 100.0 * busy / seconds);
    if(soakMinutes > 0)
    {
      const long long drift = (long long)sync->SyncClock - fed * 1000 / Rate;
      const sS64 growth = sAllocatedBytes.load() - memoryAfterWarmUp;
      // the beat against the clock: the phase started half a bar before a bar's end
      const double beatMs = 60000.0 / sync->Tempo;
      double expect = std::fmod(double(sync->SyncClock) / beatMs, 1.0);
      double beatError = std::fabs(sync->Results.BeatPhase - expect);
      beatError = beatError > 0.5 ? 1.0 - beatError : beatError;
      std::printf("soak: clock %d ms for %lld frames, drift %lld ms, beat off by %.5f beats, memory growth %lld bytes\n",
                  sync->SyncClock, fed, drift, beatError, (long long)growth);
      result = (drift != 0 || growth != 0 || beatError > 1e-3) ? 1 : 0;
    }
    else
    {
      for(double t : Times(bass))
        std::printf("bass %.4f\n", t);
      for(double t : Times(snare))
        std::printf("snare %.4f\n", t);
    }
    sDELETE(sync);
  }
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return result;
}

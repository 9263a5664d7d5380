// GIF and TIFF writers of the data generator.
#include "picfiles.hpp"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace datagen
{
namespace
{
void Put16(std::vector<uint8_t> &v, uint32_t x)
{
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

void Put32(std::vector<uint8_t> &v, uint32_t x)
{
  Put16(v, x & 0xffff);
  Put16(v, x >> 16);
}

// The palette: the picture's own colours when it has 256 at most, else the mean colours
// of the 256 most used cells of a 16 x 16 x 16 grid.
std::array<uint32_t, 256> Palette(const sImage &img)
{
  std::array<uint32_t, 256> own{};
  size_t n = 0;
  std::unordered_map<uint32_t, bool> seen;
  for(sInt i = 0; i < img.SizeX * img.SizeY && n <= 256; i++)
    if(seen.emplace(img.Data[i] & 0xffffff, true).second && ++n <= 256) own[n - 1] = img.Data[i] & 0xffffff;
  if(n <= 256) return own;

  struct Cell
  {
    uint64_t R = 0, G = 0, B = 0, N = 0;
    int Index = 0;
  };
  std::vector<Cell> cells(4096);
  for(int i = 0; i < 4096; i++) cells[size_t(i)].Index = i;
  for(sInt i = 0; i < img.SizeX * img.SizeY; i++)
  {
    uint32_t c = img.Data[i];
    Cell &cell = cells[((c >> 12) & 0xf00) | ((c >> 8) & 0xf0) | ((c >> 4) & 0xf)];
    cell.R += (c >> 16) & 255;
    cell.G += (c >> 8) & 255;
    cell.B += c & 255;
    cell.N++;
  }
  std::stable_sort(cells.begin(), cells.end(), [](const Cell &a, const Cell &b) { return a.N > b.N; });
  std::array<uint32_t, 256> pal{};
  for(size_t i = 0; i < 256; i++)
  {
    const Cell &c = cells[i];
    pal[i] = c.N ? uint32_t(c.R / c.N) << 16 | uint32_t(c.G / c.N) << 8 | uint32_t(c.B / c.N) : 0;
  }
  return pal;
}

int Nearest(const std::array<uint32_t, 256> &pal, uint32_t c)
{
  int best = 0, bestD = 1 << 30;
  for(int i = 0; i < 256; i++)
  {
    int dr = int((pal[size_t(i)] >> 16) & 255) - int((c >> 16) & 255);
    int dg = int((pal[size_t(i)] >> 8) & 255) - int((c >> 8) & 255);
    int db = int(pal[size_t(i)] & 255) - int(c & 255);
    int d = dr * dr + dg * dg + db * db;
    if(d < bestD) best = i, bestD = d;
  }
  return best;
}

// LZW codes of 8-bit indices, packed into sub-blocks. The code width follows the reader's
// table: it grows when the reader's next free entry reaches 512, 1024 and 2048.
void Lzw(std::vector<uint8_t> &out, const std::vector<uint8_t> &idx)
{
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int bits = 0, width = 9, avail = 258, next = 258;
  bool fresh = true;
  std::unordered_map<uint32_t, int> dict;
  auto emit = [&](int code) {
    acc |= uint32_t(code) << bits;
    bits += width;
    while(bits >= 8)
    {
      bytes.push_back(uint8_t(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  auto clear = [&] {
    emit(256);
    dict.clear();
    width = 9;
    avail = next = 258;
    fresh = true;
  };
  auto code = [&](int c) {
    emit(c);
    if(!fresh) avail++;
    fresh = false;
    if((avail & ((1 << width) - 1)) == 0 && avail <= 0xfff) width++;
  };
  clear();
  int prefix = idx.empty() ? 0 : idx[0];
  for(size_t i = 1; i < idx.size(); i++)
  {
    uint32_t key = uint32_t(prefix) << 8 | idx[i];
    auto it = dict.find(key);
    if(it != dict.end())
    {
      prefix = it->second;
      continue;
    }
    code(prefix);
    dict[key] = next++;
    if(next == 4095) clear();
    prefix = idx[i];
  }
  code(prefix);
  emit(257);
  if(bits > 0) bytes.push_back(uint8_t(acc));
  out.push_back(8);
  for(size_t at = 0; at < bytes.size(); at += 255)
  {
    size_t n = std::min<size_t>(255, bytes.size() - at);
    out.push_back(uint8_t(n));
    out.insert(out.end(), bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + n));
  }
  out.push_back(0);
}
}   // namespace

std::vector<uint8_t> EncodeGif(const sImage &img)
{
  std::vector<uint8_t> v = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(v, uint32_t(img.SizeX));
  Put16(v, uint32_t(img.SizeY));
  v.insert(v.end(), {0xf7, 0, 0});   // a global table of 256 colours
  const std::array<uint32_t, 256> pal = Palette(img);
  for(uint32_t c : pal) v.insert(v.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
  v.push_back(0x2c);
  Put16(v, 0);
  Put16(v, 0);
  Put16(v, uint32_t(img.SizeX));
  Put16(v, uint32_t(img.SizeY));
  v.push_back(0);
  std::vector<uint8_t> idx(size_t(img.SizeX) * size_t(img.SizeY));
  std::unordered_map<uint32_t, uint8_t> known;
  for(size_t i = 0; i < idx.size(); i++)
  {
    uint32_t c = img.Data[i] & 0xffffff;
    auto it = known.find(c);
    idx[i] = it != known.end() ? it->second : (known[c] = uint8_t(Nearest(pal, c)));
  }
  Lzw(v, idx);
  v.push_back(0x3b);
  return v;
}

std::vector<uint8_t> EncodeTiff(const sImage &img)
{
  bool alpha = false;
  for(sInt i = 0; i < img.SizeX * img.SizeY && !alpha; i++) alpha = (img.Data[i] >> 24) != 0xff;
  const uint32_t spp = alpha ? 4 : 3, entries = alpha ? 11 : 10;
  const uint32_t bpsAt = 8 + 2 + entries * 12 + 4, dataAt = bpsAt + spp * 2;
  const uint32_t dataSize = uint32_t(img.SizeX) * uint32_t(img.SizeY) * spp;
  std::vector<uint8_t> v = {'I', 'I', 42, 0};
  Put32(v, 8);
  Put16(v, entries);
  auto entry = [&v](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
    Put16(v, tag);
    Put16(v, type);
    Put32(v, count);
    Put32(v, value);   // a short stands in the low half
  };
  entry(256, 4, 1, uint32_t(img.SizeX));
  entry(257, 4, 1, uint32_t(img.SizeY));
  entry(258, 3, spp, bpsAt);
  entry(259, 3, 1, 1);   // no compression
  entry(262, 3, 1, 2);   // RGB
  entry(273, 4, 1, dataAt);
  entry(277, 3, 1, spp);
  entry(278, 4, 1, uint32_t(img.SizeY));
  entry(279, 4, 1, dataSize);
  entry(284, 3, 1, 1);   // samples interleaved
  if(alpha) entry(338, 3, 1, 2);   // unassociated alpha
  Put32(v, 0);
  for(uint32_t i = 0; i < spp; i++) Put16(v, 8);
  for(sInt i = 0; i < img.SizeX * img.SizeY; i++)
  {
    uint32_t c = img.Data[i];
    v.insert(v.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    if(alpha) v.push_back(uint8_t(c >> 24));
  }
  return v;
}
}   // namespace datagen

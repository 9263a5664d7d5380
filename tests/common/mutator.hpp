#pragma once
// Mutation runs over inputs from outside: a seeded byte mutator, so every failure can be
// repeated, and the run length, bounded by default and scaled by SPARK_FUZZ_RUNS.

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace sparktest
{
// The number of mutation runs: base unless SPARK_FUZZ_RUNS names another number.
inline int FuzzRuns(int base)
{
  const char *env = std::getenv("SPARK_FUZZ_RUNS");
  int runs = env ? std::atoi(env) : 0;
  return runs > 0 ? runs : base;
}

// A small deterministic generator for mutation runs (xorshift).
struct Mutator
{
  uint64_t State;
  explicit Mutator(uint64_t seed) : State(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next()
  {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return uint32_t(State >> 16);
  }
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }

  // flips bits, overwrites, inserts, deletes or truncates a few times
  std::vector<uint8_t> Mutate(std::vector<uint8_t> data, const std::vector<uint8_t> &dictionary = {})
  {
    uint32_t steps = 1 + Below(6);
    for(uint32_t s = 0; s < steps; s++)
    {
      switch(Below(7))
      {
      case 0:
        if(!data.empty()) data[Below(uint32_t(data.size()))] ^= uint8_t(1u << Below(8));
        break;
      case 1:
        if(!data.empty()) data[Below(uint32_t(data.size()))] = uint8_t(Next());
        break;
      case 2:
        data.insert(data.begin() + Below(uint32_t(data.size() + 1)), uint8_t(Next()));
        break;
      case 3:
        if(!data.empty()) data.erase(data.begin() + Below(uint32_t(data.size())));
        break;
      case 4:
        data.resize(Below(uint32_t(data.size() + 1)));
        break;
      case 5:
        if(!dictionary.empty())
        {
          size_t at = Below(uint32_t(data.size() + 1));
          size_t from = Below(uint32_t(dictionary.size()));
          size_t len = 1 + Below(8);
          for(size_t i = 0; i < len && from + i < dictionary.size(); i++)
            data.insert(data.begin() + at + i, dictionary[from + i]);
        }
        break;
      case 6:
        if(data.size() >= 4)
        {
          // a little-endian word set to an extreme value
          size_t at = Below(uint32_t(data.size() - 3));
          uint32_t v = Below(2) ? 0xffffffffu - Below(64) : 0x7fffffffu + Below(3);
          for(int i = 0; i < 4; i++) data[at + size_t(i)] = uint8_t(v >> (8 * i));
        }
        break;
      }
    }
    return data;
  }
};
}

// Seeded random mutations of valid streams: the parser, translator and disassembler must
// never crash or read outside the stream, every refusal carries a message, and every stream
// that is accepted must translate to GLSL that the driver compiles.

#include <cstdio>
#include <random>
#include <set>

#include "common.hpp"
#include "platform/shader/shader.hpp"
#include "streams.hpp"

using namespace shtest;
using namespace plat::shader;

namespace {

void Mutate(Tokens &t, std::mt19937 &rng) {
  auto pick = [&](size_t n) { return n ? size_t(rng() % n) : 0; };
  if (t.empty()) {
    t.push_back(rng());
    return;
  }
  size_t i = pick(t.size());
  switch (rng() % 10) {
    case 0: t[i] ^= 1u << (rng() % 32); break;                     // any bit
    case 1: t[i] ^= 1u << (rng() % 11); break;                     // register number
    case 2: t[i] ^= 1u << (16 + rng() % 8); break;                 // mask, swizzle, controls
    case 3: t[i] ^= 1u << (24 + rng() % 8); break;                 // modifiers, type, length
    case 4: t[i] = rng(); break;
    case 5: t.insert(t.begin() + long(i), rng() % 2 ? rng() : (0x80000000u | (rng() & 0x7FFFFFFFu))); break;
    case 6: t.erase(t.begin() + long(i)); break;
    case 7: t.resize(i); break;
    case 8: t[i] = (t[i] & ~0x0F000000u) | ((rng() % 16) << 24); break;   // instruction length
    default: {                                                     // copy a token elsewhere
      size_t j = pick(t.size());
      t[j] = t[i];
      break;
    }
  }
}

// a pixel program with one of most instructions, as more material for the mutations
Tokens MixedPixelStream() {
  return {PS3,
          Ins(DEF, 5), Dst(CONST, 9), F(0.5f), F(2), F(-1), F(0),
          Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0),
          Ins(DCL, 2), DclSampler(3), Dst(SAMPLER, 1),
          Ins(DCL, 2), DclSampler(4), Dst(SAMPLER, 2),
          Ins(TEX, 3, 1), Dst(TEMP, 0), Src(INPUT, 0), Src(SAMPLER, 0),
          Ins(TEXLDL, 3), Dst(TEMP, 1), Src(INPUT, 0), Src(SAMPLER, 1),
          Ins(TEX, 3, 2), Dst(TEMP, 2), Src(INPUT, 0), Src(SAMPLER, 2, Swz(3, 2, 1, 0)),
          Ins(DP2ADD, 4), Dst(TEMP, 3, 0x1), Src(TEMP, 0), Src(TEMP, 1), Src(CONST, 9, XXXX),
          Ins(POW, 3), Dst(TEMP, 3, 0x2), Src(TEMP, 2, XXXX), Src(CONST, 9, YYYY),
          Ins(LOG, 2), Dst(TEMP, 3, 0x4), Src(TEMP, 1, ZZZZ, ABSMOD),
          Ins(RCP, 2), Dst(TEMP, 3, 0x8), Src(TEMP, 0, WWWW),
          Ins(EXP, 2), Dst(TEMP, 4), Src(TEMP, 3, XXXX),
          Ins(FRC, 2), Dst(TEMP, 5), Src(TEMP, 4),
          Ins(DSX, 2), Dst(TEMP, 6), Src(TEMP, 5),
          Ins(DSY, 2), Dst(TEMP, 7), Src(TEMP, 5),
          Ins(SLT, 3), Dst(TEMP, 8), Src(TEMP, 6), Src(TEMP, 7),
          Ins(SGE, 3), Dst(TEMP, 9), Src(TEMP, 6), Src(TEMP, 7),
          Ins(M3x3, 3), Dst(TEMP, 10, 0x7), Src(TEMP, 8), Src(TEMP, 0),
          Ins(MIN, 3), Dst(TEMP, 11), Src(TEMP, 9), Src(TEMP, 10),
          Ins(MAX, 3), Dst(TEMP, 11), Src(TEMP, 11), Src(CONST, 9, ZZZZ),
          Ins(TEXKILL, 1), Dst(TEMP, 11),
          Ins(ABS, 2), Dst(TEMP, 12), Src(TEMP, 11),
          Ins(SINCOS, 2), Dst(TEMP, 12, 0x3), Src(TEMP, 12, XXXX),
          Ins(MOV, 2), Dst(COLOROUT, 0, 0xF, SAT), Src(TEMP, 12),
          Ins(MOV, 2), Dst(COLOROUT, 1), Src(TEMP, 3),
          END};
}

TEST(Mutation, NeverCrashesAndAcceptedStreamsCompile) {
  const std::vector<Tokens> seeds = {VertexStream(), PixelStream(), FlowStream(), Vertex3Stream(),
                                     PassVS2(), PassVS3(), ShowTexcoordPS3(), MixedPixelStream()};
  for (const Tokens &t : seeds) {
    ShaderInfo info;
    std::string err;
    ASSERT_TRUE(Parse(t.data(), t.size(), info, err)) << err;
  }
  std::mt19937 rng(20261206u);
  int accepted = 0, compiled = 0;
  std::set<std::string> seen;
  const bool gl = HaveGL();
  for (int it = 0; it < 20000; it++) {
    Tokens t = seeds[size_t(it) % seeds.size()];
    int n = 1 + int(rng() % 3);
    for (int k = 0; k < n; k++) Mutate(t, rng);
    ShaderInfo info;
    std::string err;
    bool ok = Parse(t.data(), t.size(), info, err);
    std::string text = Disassemble(t.data(), t.size());
    ASSERT_FALSE(text.empty());
    if (!ok) {
      ASSERT_FALSE(err.empty());
      ASSERT_NE(text.find("// error: "), std::string::npos) << text;
      continue;
    }
    accepted++;
    ASSERT_EQ(text.find("// error: "), std::string::npos) << text;
    std::string glsl = Translate(t.data(), t.size(), info, nullptr);
    ASSERT_FALSE(glsl.empty()) << text;
    if (gl && compiled < 100000 && seen.insert(glsl).second) {
      compiled++;
      std::string log;
      EXPECT_TRUE(CompileOnly(info.Kind == Stage::Vertex, glsl, log)) << text << log;
    }
  }
  std::printf("accepted %d of 20000 mutants, compiled %d distinct programs\n", accepted, compiled);
  // the mutations reach the translator, not only the refusals
  EXPECT_GT(accepted, 1000);
  if (gl) {
    EXPECT_GT(compiled, 300);
  }
}

}  // namespace

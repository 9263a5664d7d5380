// The form base: what a new form draws with, and what its destructor frees.

#include "show/scene.hpp"

#include "base/memory.hpp"

#include <gtest/gtest.h>

TEST(Form, NewFormDefaultsAndOwnership)
{
  Form plain(3);
  EXPECT_EQ(plain.MaterialIndex, 3);
  EXPECT_EQ(plain.Colour, 0xffffffffu);
  EXPECT_EQ(plain.LayerMask, 1u);
  EXPECT_EQ(plain.PassFlags, 4);
  EXPECT_EQ(plain.SharedGeometry, 0);
  EXPECT_EQ(plain.Matrix.l.x, 0.0f);
  EXPECT_EQ(plain.Matrix.i.x, 1.0f);
  // a plain form carries none of the kind records
  EXPECT_EQ(plain.GetSuperShapeParams(), nullptr);
  EXPECT_EQ(plain.GetStripWords(), nullptr);
  EXPECT_EQ(plain.GetPointWords(), nullptr);
  EXPECT_EQ(plain.GetGradeWords(), nullptr);

  // a shared geometry survives the form; the shadow records go with it
  sGeometry *shared = sNEW sGeometry();
  Form *f = sNEW Form(0, shared);
  EXPECT_EQ(f->SharedGeometry, 1);
  f->Shadow = sNEW ShadowSetup();
  f->ShadowRecord = sNEW ShadowSetup();
  sDELETE(f);
  sDELETE(shared);
}

TEST(Form, ShadowSetupAndStripDefaults)
{
  ShadowSetup s;
  s.LightCount = 1;
  s.Reset();
  EXPECT_EQ(s.LightCount, 3);
  EXPECT_FLOAT_EQ(s.Strength, 0.23f);
  EXPECT_FLOAT_EQ(s.Distance, 1500.0f);
  EXPECT_EQ(s.Targets[3], nullptr);

  StripWords w;
  EXPECT_FLOAT_EQ(w.Words[StripWords::ViewDirection], 1.0f);
  EXPECT_FLOAT_EQ(w.Words[StripWords::ParamA], 3.0f);
  EXPECT_FLOAT_EQ(w.Words[StripWords::GrowthLimit], 200000.0f);
  EXPECT_FLOAT_EQ(w.Words[StripWords::Curl2], 0.2f);
  EXPECT_FLOAT_EQ(w.Words[StripWords::Radius], 28.0f);
}

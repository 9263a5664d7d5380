// The Global scene: its set, its light sets and the show program.
#include "scenes/global.hpp"

namespace
{
const TextureEntry GlobalTextures[] = {
    {u"global/unpacked/white.bmp", u"global/packed/white.png", 0x1001, 0},
    {u"global/unpacked/glow.bmp", u"global/packed/glow.png", 0x1001, 0},
    {nullptr, nullptr, 0, 0},
};

const MaterialEntry GlobalMaterials[] = {
    MaterialRow(0, 1, 3, 0x60105, 1, 0x11000010, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x40102, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialEnd(),
};

// Scene keys of the program, by the scenes' places in the scene table.
enum : sInt
{
  ToFish = 0xE021,
  ToTransformer = 0xE022,
  ToBody = 0xE023,
  ToCubic = 0xE026,
  ToInvaders = 0xE027,
  ToTunnel = 0xE028,
  ToRobot = 0xE029,
};

// 'q' calm colours, 'r' full colours, '#' the resynchronisation mark, ',' and the
// negative codes are post-processing commands.
const PatternList<256, 15> ShowProgram = {
    {24, 0, {ToCubic, 'r', '#'}},
    {40, 0, {ToRobot, 'r'}},
    {56, 0, {ToBody, 'r'}},
    {72, 0, {ToTunnel, -28, 'q', '#'}},
    {76, 0, {-28}},
    {80, 0, {-28}},
    {84, 0, {-28}},
    {88, 0, {ToTunnel, 'q'}},
    {88, 2, {'r'}},
    {104, 0, {ToTransformer, 'r'}},
    {120, 0, {ToInvaders, 'r'}},
    {137, 4, {-10}},
    {137, 6, {ToFish, 'r'}},
    {156, 0, {-28}},
    {160, 0, {-33}},
    {168, 0, {','}},
    {169, 0, {','}},
};
}

SyncPatternTable GlobalShowTable() { return ShowProgram.Table(); }

void GlobalScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  TakeMaterialSet(this, globalSet, GlobalTextures, GlobalMaterials, initFlags);
  // a set handed in belongs to the scene that built it: borrow it, so that this scene's
  // end does not free it a second time
  if(globalSet) TextureSetKind = 2;
  SyncSource = syncSource;

  LightSet *main = MaterialSet->LightSets[0];
  SetLight(main, 0, 0x006F80BF, sVec3(-1.0f, 0.5f, 0.5f), 100.0f);
  SetLight(main, 1, 0x009F8F7F, sVec3(1.0f, 1.2f, 0.2f), 100.0f);
  main->Ambient = 0x00303030;
  LightSet *mirrored = MaterialSet->LightSets[1];
  *mirrored = *main;
  mirrored->Ambient = 0x00606060;
}

void GlobalScene::Enter(sInt)
{
  InstallPatterns(SyncSource, 1, GlobalShowTable());
}

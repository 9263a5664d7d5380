// The Global scene handed another scene's set: it lights that set and leaves it to its
// owner.
#include "scenes/global.hpp"

#include "show/scene_util.hpp"

TEST_F(SceneRecording, GlobalLightsABorrowedSetAndLeavesItToItsOwner)
{
  const MaterialEntry rows[] = {Row(0, 1), EndRow()};
  Scene *owner = sNEW Scene;
  owner->CreateTMData(NoFile, rows, 0);
  GlobalScene *global = sNEW GlobalScene;
  global->TextureSetKind = 1;   // as the scene table registers it
  global->Init(nullptr, 0, owner->MaterialSet);
  global->Enter(0);             // without a SYNC machine there is no channel to program
  EXPECT_EQ(global->MaterialSet, owner->MaterialSet);
  EXPECT_EQ(owner->MaterialSet->LightSets[1]->Colors[1], 0x009F8F7Fu);
  sDELETE(global);
  // the set outlives the borrower: its lights are still there to read and to free
  EXPECT_EQ(owner->MaterialSet->LightSets[1]->Colors[0], 0x006F80BFu);
  sDELETE(owner);
}

// The show's scene table.
#include "scenes/table.hpp"

#include "base/memory.hpp"
#include "gui/gui.hpp"
#include "scenes/abstract.hpp"
#include "scenes/body.hpp"
#include "scenes/crystal.hpp"
#include "scenes/cubic.hpp"
#include "scenes/fish.hpp"
#include "scenes/global.hpp"
#include "scenes/invaders.hpp"
#include "scenes/lava.hpp"
#include "scenes/led1.hpp"
#include "scenes/morvensk.hpp"
#include "scenes/plant.hpp"
#include "scenes/robot.hpp"
#include "scenes/slideshow.hpp"
#include "scenes/transformer.hpp"
#include "scenes/tunnel.hpp"

namespace
{
template <class T> Scene *MakeScene() { return sNEW T; }
}

const ShowSceneRow sShowSceneTable[SHOW_SCENES] = {
    {u"Morvensk", MakeScene<MorvenskScene>, 1, 0},
    {u"Fish", MakeScene<FishScene>, 1, 0},
    {u"Transformer", MakeScene<TransformerScene>, 1, 0},
    {u"Body", MakeScene<BodyScene>, 1, 0},
    {u"Plant", MakeScene<PlantScene>, 1, 0},
    {u"Abstract", MakeScene<AbstractScene>, 1, 0},
    {u"Cubic", MakeScene<CubicScene>, 1, 0},
    {u"Invaders", MakeScene<InvadersScene>, 1, 0},
    {u"Tunnel", MakeScene<TunnelScene>, 1, 0},
    {u"Robot", MakeScene<RobotScene>, 1, 0},
    {u"Crystal", MakeScene<CrystalScene>, 1, 0},
    {u"Lava", MakeScene<LavaScene>, 1, 0},
    {u"LED1", MakeScene<Led1Scene>, 1, 0},
    {u"Global", MakeScene<GlobalScene>, 0x101, 0},
    {u"Slideshow", MakeScene<SlideshowScene>, 1, 0},
    {u"GUI", MakeTouchGui, 0x101, 1},
};

// The show's scene table.
#include "scenes/table.hpp"

#include "base/memory.hpp"
#include "scenes/global.hpp"
#include "scenes/morvensk.hpp"
#include "scenes/slideshow.hpp"

namespace
{
template <class T> Scene *MakeScene() { return sNEW T; }
}

const ShowSceneRow sShowSceneTable[SHOW_SCENES] = {
    {u"Morvensk", MakeScene<MorvenskScene>, 1, 0},
    {u"Fish", nullptr, 1, 0},
    {u"Transformer", nullptr, 1, 0},
    {u"Body", nullptr, 1, 0},
    {u"Plant", nullptr, 1, 0},
    {u"Abstract", nullptr, 1, 0},
    {u"Cubic", nullptr, 1, 0},
    {u"Invaders", nullptr, 1, 0},
    {u"Tunnel", nullptr, 1, 0},
    {u"Robot", nullptr, 1, 0},
    {u"Crystal", nullptr, 1, 0},
    {u"Lava", nullptr, 1, 0},
    {u"LED1", nullptr, 1, 0},
    {u"Global", MakeScene<GlobalScene>, 0x101, 0},
    {u"Slideshow", MakeScene<SlideshowScene>, 1, 0},
    {u"GUI", nullptr, 0x101, 1},
};

// The process entry of the show.
#include "base/types.hpp"

#include <cstdio>

int main(int, char **)
{
  std::puts("sparkvane: the framework core is being built; the show does not run yet.");
  return 0;
}

#pragma once
// The worker threads behind File::ReadAsync (internal to the files layer).

#include "platform/files/files.hpp"

#include <cstdint>
#include <string>

namespace plat::files_internal
{
uint64_t Submit(const File *owner, int fd, uint64_t offset, uint64_t size, void *dest);
AsyncState Status(const File *owner, uint64_t ticket, bool wait, bool collect, int64_t *bytes, std::string *error);
// Waits until no read of the owner is queued or running, then forgets its results.
void Drain(const File *owner);
}

#include "board/shared_lock.h"

namespace qor {

namespace {
// Constant-initialised, so it is ready before any call.
std::mutex lock;
}  // namespace

std::mutex &sharedLock()
{
    return lock;
}

}  // namespace qor

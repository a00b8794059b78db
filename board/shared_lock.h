/*
 * The one lock of the library. Calls on different slots may run at once,
 * so what slots share is only touched while it is held: the open-board
 * count, the first-open reset and the choice of a slot in BF_Open, the
 * board handle's coming and going, the record of live blocks, and each
 * slot's single-destination record (destination, destinationFreed), which
 * BF_FreeBuffer on one slot reads and marks on every other.
 *
 * It is held for short steps only and never across a wait: the SDK calls
 * made under it are the commands that start or stop capture into a single
 * destination, which the SDK returns from without waiting for a frame to
 * be acquired. No library lock is taken while it is held, and the SDK
 * calls nothing back, so holding it can never deadlock.
 */
#ifndef QOR_BOARD_SHARED_LOCK_H
#define QOR_BOARD_SHARED_LOCK_H

#include <mutex>

namespace qor {

std::mutex &sharedLock();

using SharedGuard = std::lock_guard<std::mutex>;

}  // namespace qor

#endif

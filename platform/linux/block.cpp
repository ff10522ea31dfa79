// Cancellable blocks: the flag is looked at when the block's turn comes, so a
// cancel that arrives before then keeps it from running, and one after is moot.
#include "platform/platform.h"

#include <atomic>

namespace platform {

struct CancellableBlock {
    Block body;
    std::atomic<bool> cancelled{false};
};

BlockRef block_create(Block body)
{
    auto block = std::make_shared<CancellableBlock>();
    block->body = std::move(body);
    return block;
}

void block_cancel(const BlockRef& block)
{
    block->cancelled = true;
}

void queue_after(const Queue& queue, Nanoseconds delay, const BlockRef& block)
{
    queue_after(queue, delay, [block] {
        if (!block->cancelled)
            block->body();
    });
}

}  // namespace platform

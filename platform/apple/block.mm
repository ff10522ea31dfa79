// Cancellable blocks are dispatch blocks: a cancelled one that has not
// started never runs, and cancelling one that ran changes nothing.
#include "platform/dispatch_queue.h"

#include <Block.h>

namespace platform {

struct CancellableBlock {
    dispatch_block_t block;
    ~CancellableBlock() { Block_release(block); }
};

BlockRef block_create(Block body)
{
    auto created = std::make_shared<CancellableBlock>();
    created->block = dispatch_block_create(static_cast<dispatch_block_flags_t>(0), ^{ body(); });
    return created;
}

void block_cancel(const BlockRef& block)
{
    dispatch_block_cancel(block->block);
}

void queue_after(const Queue& queue, Nanoseconds delay, const BlockRef& block)
{
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, delay.count()), queue_dispatch(queue), block->block);
}

}  // namespace platform

#include "acquisition/live_blocks.h"

#include "board/allocator.h"

namespace qor::liveBlocks {

namespace {

// A host holds a handful of blocks at most, so a list searched from the
// front is as fast as anything, and it allocates only through the table.
struct Node {
    void *block;
    Node *next;
};

Node *head = nullptr;

}  // namespace

bool remember(void *block)
{
    Node *node = static_cast<Node *>(allocator.allocate(sizeof(Node)));
    if (node == nullptr) return false;
    *node = Node{block, head};
    head = node;
    return true;
}

bool forget(void *block)
{
    for (Node **link = &head; *link != nullptr; link = &(*link)->next) {
        if ((*link)->block != block) continue;
        Node *node = *link;
        *link = node->next;
        allocator.release(node);
        return true;
    }
    return false;
}

size_t count()
{
    size_t live = 0;
    for (const Node *node = head; node != nullptr; node = node->next) ++live;
    return live;
}

}  // namespace qor::liveBlocks

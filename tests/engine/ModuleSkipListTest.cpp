#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/runtime/ModuleSkipList.h"

namespace
{
struct Node : EventProcessor
{
    int insertionIndex = 0;
};

// Every level is a descending sublist with matching back links, ordered by
// sort order and then by handle (the copies of a module share theirs); level
// 0 keeps equal keys in insertion order; the jump links are right. Returns
// the level-0 length.
size_t CheckList(ModuleSkipList& list)
{
    size_t length = 0;
    for (int level = 0; level < SkipListNode::kMaxLevels; ++level)
    {
        EventProcessor* previous = list.Head();
        for (EventProcessor* n = list.Head()->Next(level); n != list.Head(); n = n->Next(level))
        {
            EXPECT_EQ(n->prev_[level], previous);
            if (previous != list.Head())
            {
                EXPECT_GE(previous->sortOrder_, n->sortOrder_);
                EXPECT_GE(previous->ListKey(), n->ListKey());
                if (level == 0 && previous->ListKey() == n->ListKey())
                {
                    EXPECT_LT(static_cast<Node*>(previous)->insertionIndex, static_cast<Node*>(n)->insertionIndex);
                }
            }
            previous = n;
            length += level == 0 ? 1 : 0;
        }
    }
    // Every node's jump link, the head's too, is the node a jump further on
    // level 0, or the head past the end.
    std::vector<EventProcessor*> walk{list.Head()};
    for (EventProcessor* n = list.Head()->next_; n != list.Head(); n = n->next_)
        walk.push_back(n);
    for (size_t i = 0; i < walk.size(); ++i)
    {
        const size_t ahead = i + RunFields::kJumpDistance;
        EXPECT_EQ(walk[i]->jump_, ahead < walk.size() ? walk[ahead] : list.Head()) << "node " << i;
    }
    return length;
}
} // namespace

TEST(ModuleSkipList, InsertionReturnsTheLevelZeroPredecessorAndEraseUnlinksOnce)
{
    ModuleSkipList list(7);
    Node a, b, c;
    a.sortOrder_ = 5;
    b.sortOrder_ = 9;
    c.sortOrder_ = 1;

    EXPECT_EQ(list.insertSorted(&a), nullptr);
    EXPECT_EQ(list.insertSorted(&b), nullptr);
    EXPECT_EQ(list.insertSorted(&c), &a);

    list.erase(&a);
    EXPECT_FALSE(a.IsListed());
    list.erase(&a);
    EXPECT_EQ(b.next_, &c);
    EXPECT_EQ(CheckList(list), 2u);
}

TEST(ModuleSkipList, RandomInsertionsRemovalsAndDescendingRunsKeepOneOrderOnEveryLevel)
{
    std::mt19937 rng(12345);
    ModuleSkipList list(static_cast<uint32_t>(rng()));
    std::vector<std::unique_ptr<Node>> nodes;
    int insertions = 0;
    auto insert = [&](Node* n) {
        n->insertionIndex = insertions++;
        list.insertSorted(n);
    };
    // A descending run (as when a graph opens), then random keys with ties.
    for (int i = 0; i < 300; ++i)
    {
        nodes.push_back(std::make_unique<Node>());
        nodes.back()->sortOrder_ = i < 50 ? 100 - i : static_cast<int32_t>(rng() % 40);
        // A few modules' copies, handles negative and positive.
        nodes.back()->handle_ = static_cast<int32_t>(rng() % 4) - 1;
        insert(nodes.back().get());
    }
    EXPECT_EQ(CheckList(list), nodes.size());

    for (size_t i = 0; i < nodes.size(); i += 3)
        list.erase(nodes[i].get());
    EXPECT_EQ(CheckList(list), nodes.size() - 100);
    for (size_t i = 0; i < nodes.size(); i += 3)
        insert(nodes[i].get());
    EXPECT_EQ(CheckList(list), nodes.size());
}

// The sentinel list: insertion at every place, removal, walking.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/lists.h"

namespace {

struct Item {
    ListNode node;   // first, so a node pointer is the item's address
    int value;
};

std::vector<int> Walk(ListHeader *list)
{
    std::vector<int> out;
    for (ListNode *n = list->first; n->succ; n = n->succ) out.push_back(((Item *)n)->value);
    // The same order backwards through the predecessors.
    std::vector<int> back;
    for (ListNode *n = list->last; n->pred; n = n->pred) back.insert(back.begin(), ((Item *)n)->value);
    EXPECT_EQ(out, back);
    return out;
}

TEST(Lists, EmptyHeaderIsItsOwnSentinel)
{
    ListHeader list;
    NewList(&list);
    EXPECT_TRUE(IsListEmpty(&list));
    EXPECT_EQ(list.null, nullptr);
    EXPECT_EQ((void *)list.first, (void *)&list.null);
    EXPECT_EQ((void *)list.last, (void *)&list);
    EXPECT_TRUE(Walk(&list).empty());
}

TEST(Lists, AddInsertAndRemove)
{
    ListHeader list;
    NewList(&list);
    Item a{{}, 1}, b{{}, 2}, c{{}, 3}, d{{}, 4}, e{{}, 5};
    AddTail(&list, &b.node);
    AddHead(&list, &a.node);
    AddTail(&list, &d.node);
    EXPECT_EQ(Walk(&list), (std::vector<int>{1, 2, 4}));
    InsertNode(&list, &c.node, &b.node);                       // behind b
    EXPECT_EQ(Walk(&list), (std::vector<int>{1, 2, 3, 4}));
    InsertNode(&list, &e.node, nullptr);                       // none: first
    EXPECT_EQ(Walk(&list), (std::vector<int>{5, 1, 2, 3, 4}));
    RemoveNode(&e.node);
    // After the tail sentinel (no successor): last.
    InsertNode(&list, &e.node, reinterpret_cast<ListNode *>(&list.null));
    EXPECT_EQ(Walk(&list), (std::vector<int>{1, 2, 3, 4, 5}));
    RemoveNode(&a.node);
    RemoveNode(&e.node);
    RemoveNode(&c.node);
    EXPECT_EQ(Walk(&list), (std::vector<int>{2, 4}));
    RemoveNode(&b.node);
    RemoveNode(&d.node);
    EXPECT_TRUE(IsListEmpty(&list));
    AddTail(&list, &c.node);
    EXPECT_EQ(Walk(&list), (std::vector<int>{3}));
}

}  // namespace

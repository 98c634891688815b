#include "runtime/lists.h"

void NewList(ListHeader *list)
{
    list->first = reinterpret_cast<ListNode *>(&list->null);
    list->null = nullptr;
    list->last = reinterpret_cast<ListNode *>(list);
}

int IsListEmpty(const ListHeader *list)
{
    return list->last == reinterpret_cast<const ListNode *>(list);
}

void AddHead(ListHeader *list, ListNode *node)
{
    ListNode *head = reinterpret_cast<ListNode *>(list);
    node->succ = head->succ;
    node->pred = head;
    head->succ->pred = node;
    head->succ = node;
}

void AddTail(ListHeader *list, ListNode *node)
{
    ListNode *tail = reinterpret_cast<ListNode *>(&list->null);
    node->succ = tail;
    node->pred = tail->pred;
    tail->pred->succ = node;
    tail->pred = node;
}

void RemoveNode(ListNode *node)
{
    node->pred->succ = node->succ;
    node->succ->pred = node->pred;
    node->succ = nullptr;
    node->pred = nullptr;
}

void InsertNode(ListHeader *list, ListNode *node, ListNode *after)
{
    if (!after) {
        AddHead(list, node);
        return;
    }
    if (!after->succ) {
        // `after` is the tail sentinel itself: there is nothing behind it.
        AddTail(list, node);
        return;
    }
    node->succ = after->succ;
    node->pred = after;
    after->succ->pred = node;
    after->succ = node;
}

// Doubly linked lists with a sentinel header.
//
// The header is three words {first, always none, last}. An empty list's first node is the
// address of its middle word and its last node the header itself, so the header serves as the
// sentinel at both ends and no operation needs a special case. Nodes begin with
// {successor, predecessor}; the last real node's successor is the middle word, whose own
// successor is none. Walk with: for (n = list->first; n->succ; n = n->succ).
#pragma once

struct ListNode {
    ListNode *succ;
    ListNode *pred;
};

struct ListHeader {
    ListNode *first;
    ListNode *null;     // always none
    ListNode *last;
};

void NewList(ListHeader *list);
void AddHead(ListHeader *list, ListNode *node);
void AddTail(ListHeader *list, ListNode *node);
// Unlinks the node from whatever list holds it.
void RemoveNode(ListNode *node);
// Puts the node first when after is none, last when after has no successor (the sentinel),
// else behind after.
void InsertNode(ListHeader *list, ListNode *node, ListNode *after);
// 1 when the list holds no node.
int IsListEmpty(const ListHeader *list);

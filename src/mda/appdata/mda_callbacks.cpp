// Calling the entity callbacks of a model, and releasing its lists.
//
// Single-threaded: the depth of nested calls and the parked nodes are module
// state. Nodes are unlinked or freed only at depth 0, so a walk in progress
// never meets freed memory (see CallbackNode).
#include <cstdlib>

#include "mda/mda_appdata_int.h"

namespace mda {
namespace {

int g_depth = 0;
bool g_cleared = false;            // some node was cleared in place
CallbackNode* g_parked = nullptr;  // nodes of lists dropped while calling

void FreeNodes(CallbackNode* node) {
    while (node != nullptr) {
        CallbackNode* next = node->next;
        std::free(node);
        node = next;
    }
}

// Unlinks and frees the cleared nodes of every list of every model.
void SweepCleared() {
    for (MDA_MODEL& m : mda__Model)
        for (void*& list : m.callback_lists) {
            auto** link = reinterpret_cast<CallbackNode**>(&list);
            while (*link != nullptr) {
                CallbackNode* node = *link;
                if (node->function != nullptr) {
                    link = &node->next;
                    continue;
                }
                *link = node->next;
                std::free(node);
            }
        }
}

} // namespace

bool CallingCallbacks() {
    return g_depth > 0;
}

void NoteClearedCallback() {
    g_cleared = true;
}

void CallEntityCallbacks(MDA_MODEL* m, int32_t kind, MDA_PTR* db_ptr) {
    auto* node = static_cast<CallbackNode*>(m->callback_lists[kind]);
    if (node == nullptr) return;
    // Callbacks registered from inside a callback are appended after last
    // and wait for the next event.
    CallbackNode* last = node;
    while (last->next != nullptr)
        last = last->next;
    ++g_depth;
    for (;; node = node->next) {
        if (node->function != nullptr) node->function(kind, db_ptr);
        if (node == last) break;
    }
    if (--g_depth > 0) return;
    if (g_cleared) SweepCleared();
    g_cleared = false;
    FreeNodes(g_parked);
    g_parked = nullptr;
}

void FreeCallbackLists(MDA_MODEL* m) {
    for (void*& list : m->callback_lists) {
        auto* head = static_cast<CallbackNode*>(list);
        list = nullptr;
        if (head == nullptr) continue;
        if (g_depth == 0) {
            FreeNodes(head);
            continue;
        }
        // A walk may stand on these nodes: silence them and park them.
        CallbackNode* tail = head;
        for (;; tail = tail->next) {
            tail->function = nullptr;
            if (tail->next == nullptr) break;
        }
        tail->next = g_parked;
        g_parked = head;
    }
}

} // namespace mda

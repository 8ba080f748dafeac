// list.cpp - the node list and the IQueue family built on it.
//
// The node list is a singly linked list of untyped payload words addressed by the caller's
// list_node* variable.  The functions that unlink a node walk a pointer to the link that
// holds it (the list variable itself or a node's `next`), so removing the first node needs no
// case of its own.  Nodes come from the heap seam and are released with it; payloads are never
// looked at.
//
// An IQueue keeps the list's first node, its last node and the node count in a record that the
// caller lays out.  Adding at either end is constant time through `first` and `last`; taking
// from the end walks the list.  Payloads pass through the record's copy_payload when stored and
// its release_payload when the queue drops them.  Nothing here throws.

#include "kavutil.h"
#include "platform/memory.h"

namespace {

list_node *NewNode(kav_word payload, list_node *next) {
  auto *node = static_cast<list_node *>(kav::platform::memory::allocate(sizeof(list_node)));
  if (node != nullptr) *node = list_node{payload, next};
  return node;
}

// Unlinks the node held by *link and releases it.
void Unlink(list_node **link) {
  list_node *node = *link;
  *link = node->next;
  kav::platform::memory::release(node);
}

// What the queue keeps for a payload: 0 stays 0 without a copy.
kav_word StoredValue(const IQueue *queue, kav_word payload) {
  if (payload == 0 || queue->copy_payload == nullptr) return payload;
  return queue->copy_payload(payload);
}

void LinkFirst(IQueue *queue, list_node *node) {
  node->next = queue->first;
  queue->first = node;
}

void LinkLast(IQueue *queue, list_node *node) {
  if (queue->last == nullptr) {
    LinkFirst(queue, node);
  } else {
    queue->last->next = node;
  }
  queue->last = node;
}

// Adds a payload at one end; false (and the queue unchanged) when no node can be allocated.
// The node is allocated before the payload is copied, so a failed add never calls
// copy_payload and leaves no copy behind to release.
bool Add(IQueue *queue, kav_word payload, bool at_end, kav_word *stored) {
  list_node *node = NewNode(0, nullptr);
  if (node == nullptr) return false;
  node->payload = StoredValue(queue, payload);
  if (at_end) {
    LinkLast(queue, node);
  } else {
    LinkFirst(queue, node);
    if (queue->last == nullptr) queue->last = node;
  }
  ++queue->count;
  *stored = node->payload;
  return true;
}

// Copies the source's payloads up to the first 0 payload; false when a node cannot be had.
bool CopyPayloads(IQueue *copy, const IQueue *source) {
  kav_word stored = 0;
  for (const list_node *node = source->first; node != nullptr && node->payload != 0;
       node = node->next) {
    if (!Add(copy, node->payload, true, &stored)) return false;
  }
  return true;
}

}  // namespace

extern "C" KAV_API int KAV_CALL allocate_node(list_node **node, kav_word payload) KAV_NOEXCEPT {
  if (node == nullptr) return 0;
  list_node *created = NewNode(payload, nullptr);
  if (created == nullptr) return 0;
  *node = created;
  return 1;
}

extern "C" KAV_API void KAV_CALL free_node(list_node **node) KAV_NOEXCEPT {
  if (node == nullptr) return;
  kav::platform::memory::release(*node);
  *node = nullptr;
}

extern "C" KAV_API void KAV_CALL init_list(list_node **list) KAV_NOEXCEPT {
  if (list != nullptr) *list = nullptr;
}

extern "C" KAV_API int KAV_CALL empty_list(const list_node *list) KAV_NOEXCEPT {
  return list == nullptr ? 1 : 0;
}

extern "C" KAV_API int KAV_CALL insert_after(list_node *node, kav_word payload) KAV_NOEXCEPT {
  if (node == nullptr) return 0;
  list_node *created = NewNode(payload, node->next);
  if (created == nullptr) return 0;
  node->next = created;
  return 1;
}

extern "C" KAV_API int KAV_CALL insert_node(list_node **list, kav_word payload) KAV_NOEXCEPT {
  if (list == nullptr) return 0;
  list_node *created = NewNode(payload, *list);
  if (created == nullptr) return 0;
  *list = created;
  return 1;
}

extern "C" KAV_API int KAV_CALL append_node(list_node **list, kav_word payload) KAV_NOEXCEPT {
  if (list == nullptr) return 0;
  list_node **link = list;
  while (*link != nullptr) link = &(*link)->next;
  *link = NewNode(payload, nullptr);
  return *link != nullptr ? 1 : 0;
}

// A null node is never in a list: without this check the walk would stop on the last node,
// whose `next` is null.
extern "C" KAV_API int KAV_CALL delete_node(list_node **list, list_node *node) KAV_NOEXCEPT {
  if (list == nullptr || node == nullptr) return 0;
  list_node **link = list;
  while (*link != nullptr && *link != node) link = &(*link)->next;
  if (*link == nullptr) return 0;
  Unlink(link);
  return 1;
}

// Positions below 1 name no node and give 0, like positions past the end.
extern "C" KAV_API int KAV_CALL delete_node_n(list_node **list, int n) KAV_NOEXCEPT {
  if (list == nullptr || n < 1) return 0;
  list_node **link = list;
  for (int position = 1; position < n && *link != nullptr; ++position) link = &(*link)->next;
  if (*link == nullptr) return 0;
  Unlink(link);
  return 1;
}

// A null payload address gives 0 and removes nothing, so no payload is lost unseen.
extern "C" KAV_API int KAV_CALL delete_get(list_node **list, kav_word *payload) KAV_NOEXCEPT {
  if (list == nullptr || *list == nullptr || payload == nullptr) return 0;
  *payload = (*list)->payload;
  Unlink(list);
  return 1;
}

extern "C" KAV_API list_node *KAV_CALL delete_last(list_node **list) KAV_NOEXCEPT {
  if (list == nullptr || *list == nullptr) return nullptr;
  list_node *previous = nullptr;
  list_node **link = list;
  while ((*link)->next != nullptr) {
    previous = *link;
    link = &(*link)->next;
  }
  Unlink(link);
  return previous;
}

// When memory runs out the partial copy is freed (its copied payloads released) and the
// result is null.
extern "C" KAV_API IQueue *KAV_CALL IQueueDup(const IQueue *source) KAV_NOEXCEPT {
  if (source == nullptr) return nullptr;
  auto *copy = static_cast<IQueue *>(kav::platform::memory::allocate(sizeof(IQueue)));
  if (copy == nullptr) return nullptr;
  *copy = *source;
  copy->count = 0;
  copy->first = nullptr;
  copy->last = nullptr;
  if (!CopyPayloads(copy, source)) {
    IQueueFree(copy);
    return nullptr;
  }
  return copy;
}

extern "C" KAV_API kav_word KAV_CALL IQueueEnqueue(IQueue *queue, kav_word payload) KAV_NOEXCEPT {
  kav_word stored = 0;
  if (queue == nullptr || !Add(queue, payload, true, &stored)) return 0;
  return stored;
}

extern "C" KAV_API kav_word KAV_CALL IQueuePush(IQueue *queue, kav_word payload) KAV_NOEXCEPT {
  kav_word stored = 0;
  if (queue == nullptr || !Add(queue, payload, false, &stored)) return 0;
  return stored;
}

extern "C" KAV_API kav_word KAV_CALL IQueuePop(IQueue *queue) KAV_NOEXCEPT {
  kav_word payload = 0;
  if (queue == nullptr || delete_get(&queue->first, &payload) == 0) return 0;
  if (queue->first == nullptr) queue->last = nullptr;
  --queue->count;
  return payload;
}

extern "C" KAV_API kav_word KAV_CALL IQueueDequeue(IQueue *queue) KAV_NOEXCEPT {
  // A record without `last` has no last payload to report: it counts as empty.
  if (queue == nullptr || queue->first == nullptr || queue->last == nullptr) return 0;
  const kav_word payload = queue->last->payload;
  queue->last = delete_last(&queue->first);
  --queue->count;
  return payload;
}

// The walk also ends at a 0 payload: IQueueN reports nothing past one.
extern "C" KAV_API kav_word KAV_CALL IQueueN(const IQueue *queue, int n) KAV_NOEXCEPT {
  if (queue == nullptr || n < 0 || n >= queue->count) return 0;
  const list_node *node = queue->first;
  for (int position = 0; node != nullptr && node->payload != 0; ++position, node = node->next) {
    if (position == n) return node->payload;
  }
  return 0;
}

extern "C" KAV_API kav_word KAV_CALL IQueueFirst(IQueueIterator *iterator,
                                                 IQueue *queue) KAV_NOEXCEPT {
  if (iterator == nullptr) return 0;
  *iterator = IQueueIterator{queue, nullptr, 0};
  if (queue != nullptr) iterator->node = queue->first;
  if (iterator->node != nullptr) iterator->payload = iterator->node->payload;
  return iterator->payload;
}

extern "C" KAV_API kav_word KAV_CALL IQueueNext(IQueueIterator *iterator) KAV_NOEXCEPT {
  if (iterator == nullptr) return 0;
  iterator->payload = 0;
  if (iterator->queue == nullptr || iterator->node == nullptr) return 0;
  iterator->node = iterator->node->next;
  if (iterator->node != nullptr) iterator->payload = iterator->node->payload;
  return iterator->payload;
}

extern "C" KAV_API int KAV_CALL IQueueCount(const IQueue *queue) KAV_NOEXCEPT {
  return queue == nullptr ? -1 : queue->count;
}

extern "C" KAV_API void KAV_CALL IQueueClear(IQueue *queue) KAV_NOEXCEPT {
  if (queue == nullptr) return;
  kav_word payload = 0;
  while (delete_get(&queue->first, &payload) != 0) {
    if (payload != 0 && queue->release_payload != nullptr) queue->release_payload(payload);
  }
  queue->count = 0;
  queue->first = nullptr;
  queue->last = nullptr;
}

extern "C" KAV_API void KAV_CALL IQueueFree(IQueue *queue) KAV_NOEXCEPT {
  if (queue == nullptr) return;
  IQueueClear(queue);
  kav::platform::memory::release(queue);
}

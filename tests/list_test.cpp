// list_test.cpp - the node list and the IQueue family (containers/list.cpp).  The copying queue
// stores heap copies, so a live-copy count and LeakSanitizer catch a payload copied or released the
// wrong number of times; ExpectConsistent checks count, first and last after every sequence.

#include <algorithm>
#include <cstddef>

#include "support.h"

namespace {

using Words = std::vector<kav_word>;
long live_copies = 0;
Words released;

kav_word CopyPayload(kav_word payload) {
  ++live_copies;
  auto *copy = static_cast<kav_word *>(std::malloc(sizeof(kav_word)));
  *copy = payload;
  return reinterpret_cast<kav_word>(copy);
}
void ReleasePayload(kav_word copy) {
  --live_copies;
  released.push_back(*reinterpret_cast<kav_word *>(copy));
  std::free(reinterpret_cast<void *>(copy));
}

Words Payloads(const list_node *list) {
  Words payloads;
  for (; list != nullptr; list = list->next) payloads.push_back(list->payload);
  return payloads;
}

void ExpectConsistent(const IQueue &queue) {
  const list_node *tail = queue.first;
  while (tail != nullptr && tail->next != nullptr) tail = tail->next;
  EXPECT_EQ(static_cast<std::size_t>(queue.count), Payloads(queue.first).size());
  EXPECT_EQ(queue.last, tail);
}

// The records callers lay out: pointer-sized words in order.
constexpr std::size_t w = sizeof(void *);
static_assert(sizeof(kav_word) == w && offsetof(list_node, next) == w);
static_assert(offsetof(IQueue, count) == 3 * w && offsetof(IQueue, last) == 5 * w);
static_assert(offsetof(IQueueIterator, payload) == 2 * w);

TEST(NodeList, InsertsAndDeletesAtEitherEndByNodeAndPosition) {
  list_node *list = nullptr;
  ASSERT_TRUE(append_node(&list, 2) && insert_node(&list, 1) && append_node(&list, 4));
  ASSERT_TRUE(insert_after(list->next, 3));
  EXPECT_EQ(Payloads(list), (Words{1, 2, 3, 4}));
  list_node stranger{9, nullptr};
  EXPECT_EQ(delete_node(&list, &stranger) + delete_node(&list, nullptr), 0);
  EXPECT_EQ(delete_node(&list, list->next->next), 1);
  EXPECT_EQ(delete_node_n(&list, 4) + delete_node_n(&list, 0), 0);
  EXPECT_EQ(delete_node_n(&list, 3), 1);
  EXPECT_EQ(delete_node(&list, list), 1);
  EXPECT_EQ(Payloads(list), (Words{2}));
  kav_word payload = 7;
  EXPECT_EQ(delete_get(&list, &payload), 1);
  EXPECT_EQ(delete_get(&list, &payload), 0);
  EXPECT_EQ(payload, 2);
  EXPECT_EQ(empty_list(list), 1);
  for (kav_word p : {1, 2, 3}) ASSERT_EQ(append_node(&list, p), 1);
  list_node *const second = list->next;
  EXPECT_EQ(delete_last(&list), second);  // the new last node
  EXPECT_EQ(second->next, nullptr);
  EXPECT_EQ(delete_last(&list), list);
  EXPECT_EQ(delete_last(&list), nullptr);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(delete_last(&list), nullptr);
  ASSERT_EQ(allocate_node(&list, 1), 1);
  kav::memory::fail_after(0);  // every way of adding a node fails and leaves the list alone
  EXPECT_EQ(allocate_node(&list, 2) + insert_node(&list, 2) + append_node(&list, 2), 0);
  EXPECT_EQ(insert_after(list, 2), 0);
  kav::memory::fail_after(-1);
  EXPECT_EQ(Payloads(list), (Words{1}));
  free_node(&list);
  EXPECT_EQ(list, nullptr);
}

TEST(Queue, EachPairOfEndsIsAQueueOrAStack) {
  struct Case {
    kav_word(KAV_CALL *add)(IQueue *, kav_word);
    kav_word(KAV_CALL *take)(IQueue *);
    Words order;
  };
  for (const Case &c :
       {Case{IQueueEnqueue, IQueuePop, {1, 2, 3, 0}},
        Case{IQueueEnqueue, IQueueDequeue, {3, 2, 1, 0}}, Case{IQueuePush, IQueuePop, {3, 2, 1, 0}},
        Case{IQueuePush, IQueueDequeue, {1, 2, 3, 0}}}) {
    IQueue queue{};
    for (kav_word p : {1, 2, 3}) EXPECT_EQ(c.add(&queue, p), p);
    Words taken;
    for (int i = 0; i < 4; ++i) {
      taken.push_back(c.take(&queue));
      ExpectConsistent(queue);
    }
    EXPECT_EQ(taken, c.order);
  }
}

Words cleared;

TEST(Queue, ClearReleasesHeldPayloadsAndKeepsTheRecordUsable) {
  cleared.clear();
  IQueue queue{};
  queue.release_payload = [](kav_word payload) { cleared.push_back(payload); };
  for (kav_word p : {1, 0, 2}) IQueueEnqueue(&queue, p);
  IQueueClear(&queue);
  EXPECT_EQ(cleared, (Words{1, 2}));
  ExpectConsistent(queue);
  EXPECT_EQ(IQueueCount(&queue), 0);
  EXPECT_EQ(IQueueEnqueue(&queue, 5), 5);
  IQueueClear(&queue);
  list_node *list = reinterpret_cast<list_node *>(&queue);
  init_list(&list);
  EXPECT_TRUE(list == nullptr && empty_list(list) == 1);
}

TEST(Queue, ZeroPayloadsEndWalksAndCopies) {
  const IQueue prototype{CopyPayload, ReleasePayload, 42, 0, nullptr, nullptr};
  IQueue *queue = IQueueDup(&prototype);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->spare, 42);
  for (kav_word p : {2, 0, 4}) IQueueEnqueue(queue, p);
  IQueuePush(queue, 1);
  EXPECT_EQ(live_copies, 3);  // the 0 is not copied
  EXPECT_EQ(*reinterpret_cast<kav_word *>(IQueueN(queue, 1)), 2);
  EXPECT_EQ(IQueueN(queue, 3) + IQueueN(queue, 4), 0);
  IQueueIterator it;
  int walked = IQueueFirst(&it, queue) != 0;
  while (IQueueNext(&it) != 0) ++walked;
  EXPECT_EQ(walked, 2);
  IQueue *copy = IQueueDup(queue);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(IQueueCount(copy), 2);
  kav_word popped = IQueueDequeue(queue);  // now the caller's
  released.clear();
  IQueueFree(queue);
  EXPECT_EQ(released, (Words{1, 2}));
  IQueueFree(copy);
  ReleasePayload(popped);
  EXPECT_EQ(live_copies, 0);
}

TEST(Queue, NullArgumentsChangeNothing) {
  EXPECT_EQ(IQueueCount(nullptr), -1);
  EXPECT_EQ(IQueueDup(nullptr), nullptr);
  EXPECT_EQ(IQueueEnqueue(nullptr, 1) + IQueuePush(nullptr, 1) + IQueuePop(nullptr), 0);
  IQueueIterator it{};
  EXPECT_EQ(IQueueFirst(nullptr, nullptr) + IQueueFirst(&it, nullptr) + IQueueNext(&it), 0);
  IQueueFree(nullptr);
}

// Each allocation in turn fails: one block for the record, one per node.  The queues must stay
// consistent and release every copy once.
TEST(Queue, RunningOutOfMemoryLosesNothing) {
  const IQueue prototype{CopyPayload, ReleasePayload, 0, 0, nullptr, nullptr};
  IQueue *queue = nullptr, *copy = nullptr;
  const auto fill = [&] {
    queue = IQueueDup(&prototype);
    for (kav_word p : {1, 2, 3}) IQueueEnqueue(queue, p), IQueuePush(queue, p + 10);
    return copy = IQueueDup(queue);
  };
  kavtest::SweepAllocations(fill, [&](long n, const IQueue *made) {
    EXPECT_EQ(IQueueCount(queue), n == 0 ? -1 : std::min(n - 1, 6L));
    EXPECT_EQ(made != nullptr, n >= 14);
    long held = 0;
    for (const IQueue *q : {queue, copy}) {
      if (q != nullptr) ExpectConsistent(*q), held += q->count;
    }
    EXPECT_EQ(live_copies, held);
    IQueueFree(queue), IQueueFree(copy);
    EXPECT_EQ(live_copies, 0);
  });
}

}  // namespace

// list_test.cpp - the node list and the IQueue family (containers/list.cpp): each node-list call,
// then random queue operations at both ends against a model, with allocations failing now and
// then.  The copying queue stores heap copies, so a live-copy count and LeakSanitizer catch a
// payload copied or released the wrong number of times; each step checks count and last too.

#include <algorithm>
#include <cstddef>

#include "support.h"

namespace {

using Words = std::vector<kav_word>;
long live_copies = 0;

// Payloads are numbers below 4096; a copy holds the number, also when made from a copy.
kav_word Number(kav_word word) { return word < 4096 ? word : *reinterpret_cast<kav_word *>(word); }

kav_word CopyPayload(kav_word payload) {
  ++live_copies;
  auto *copy = static_cast<kav_word *>(std::malloc(sizeof(kav_word)));
  *copy = Number(payload);
  return reinterpret_cast<kav_word>(copy);
}
void ReleasePayload(kav_word copy) {
  --live_copies;
  std::free(reinterpret_cast<void *>(copy));
}

Words Payloads(const list_node *list) {
  Words payloads;
  for (; list != nullptr; list = list->next) payloads.push_back(list->payload);
  return payloads;
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
  kav::platform::memory::fail_after(
      0);  // every way of adding a node fails and leaves the list alone
  EXPECT_EQ(allocate_node(&list, 2) + insert_node(&list, 2) + append_node(&list, 2), 0);
  EXPECT_EQ(insert_after(list, 2), 0);
  kav::platform::memory::fail_after(-1);
  EXPECT_EQ(Payloads(list), (Words{1}));
  free_node(&list);
  EXPECT_EQ(list, nullptr);
  list = &stranger;  // init_list forgets what the pointer held
  init_list(&list);
  EXPECT_EQ(list, nullptr);
}

// The payloads up to the first 0: what walks, IQueueN and copies reach.
Words Reach(const Words &model) {
  return Words(model.begin(), std::find(model.begin(), model.end(), kav_word{0}));
}

// Random operations at both ends of a queue, without and with copies, against a vector; now and
// then allocations fail from a random point on, and a failed add or copy must change nothing and
// lose no copy.  Popped payloads are the caller's to release.
TEST(Queue, RandomOperationsAgainstAModel) {
  std::mt19937 random(20240611);
  for (const bool copying : {false, true}) {
    IQueue prototype{};
    prototype.spare = 42;
    if (copying) prototype.copy_payload = CopyPayload, prototype.release_payload = ReleasePayload;
    IQueue *queue = IQueueDup(&prototype);
    Words model;  // front first
    for (int step = 0; step < 20000 && !HasFailure(); ++step) {
      const kav_word p = random() % 5 == 0 ? 0 : random() % 100 + 1;
      const unsigned operation = random() % 10;
      const bool failing = random() % 8 == 0;
      kav::platform::memory::fail_after(failing ? static_cast<long>(random() % 8) : -1);
      if (operation < 4) {
        const int before = queue->count;
        const kav_word stored = operation < 3 ? IQueueEnqueue(queue, p) : IQueuePush(queue, p);
        if (queue->count == before) {
          EXPECT_TRUE(failing && stored == 0) << step;
        } else {
          EXPECT_EQ(Number(stored), p) << step;
          model.insert(operation < 3 ? model.end() : model.begin(), p);
        }
      } else if (operation < 6) {
        const kav_word taken = operation == 4 ? IQueuePop(queue) : IQueueDequeue(queue);
        EXPECT_EQ(Number(taken), model.empty() ? 0 : operation == 4 ? model.front() : model.back());
        if (copying && taken != 0) ReleasePayload(taken);
        if (!model.empty()) model.erase(operation == 4 ? model.begin() : model.end() - 1);
      } else if (operation == 6) {
        const Words reach = Reach(model);
        const int n = static_cast<int>(random() % (model.size() + 2)) - 1;
        const bool there = n >= 0 && n < static_cast<int>(reach.size());
        EXPECT_EQ(Number(IQueueN(queue, n)), there ? reach[static_cast<std::size_t>(n)] : 0);
      } else if (operation == 7) {
        Words walked;
        IQueueIterator it;
        for (kav_word w = IQueueFirst(&it, queue); w != 0; w = IQueueNext(&it))
          walked.push_back(Number(w));
        EXPECT_EQ(walked, Reach(model)) << step;
      } else if (operation == 8) {
        IQueue *copy = IQueueDup(queue);
        EXPECT_TRUE(copy != nullptr || failing) << step;
        if (copy != nullptr) {
          IQueueFree(queue);
          queue = copy;
          model = Reach(model);
        }
        EXPECT_EQ(queue->spare, 42);
      } else if (step % 4 == 0) {
        IQueueClear(queue);
        model.clear();
      }
      kav::platform::memory::fail_after(-1);
      const list_node *tail = queue->first;
      while (tail != nullptr && tail->next != nullptr) tail = tail->next;
      EXPECT_TRUE(queue->last == tail && queue->count == static_cast<int>(model.size())) << step;
      Words held;
      for (kav_word payload : Payloads(queue->first)) held.push_back(Number(payload));
      EXPECT_EQ(held, model) << step;
      const auto copies = model.size() - std::count(model.begin(), model.end(), kav_word{0});
      EXPECT_EQ(live_copies, copying ? static_cast<long>(copies) : 0) << step;
    }
    IQueueFree(queue);
    EXPECT_EQ(live_copies, 0);
  }
}

TEST(Queue, NullArgumentsChangeNothing) {
  EXPECT_EQ(IQueueCount(nullptr), -1);
  EXPECT_EQ(IQueueDup(nullptr), nullptr);
  EXPECT_EQ(IQueueEnqueue(nullptr, 1) + IQueuePush(nullptr, 1) + IQueuePop(nullptr), 0);
  IQueueIterator it{};
  EXPECT_EQ(IQueueFirst(nullptr, nullptr) + IQueueFirst(&it, nullptr) + IQueueNext(&it), 0);
  IQueueFree(nullptr);
}

}  // namespace

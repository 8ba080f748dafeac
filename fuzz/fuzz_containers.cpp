// Sequences of container operations against standard-library models.
//
// The first byte picks the container (node list, IQueue, IMap, IArrayList, unsorted dsList) and
// its variant (copy and release functions or none, a default payload); every further byte is an
// operation, its operands following it.  An operation byte with its high bit set makes one of
// the next few allocations fail during that operation: the operation must then either report
// the failure and change nothing, or succeed.  After every operation the container is compared
// with its model; the map's tree is also checked for order, parent links and the red-black
// rules, and its element pointers and cursor for stability.
//
// Values handed to a container are odd words (value * 2 + 1); the copy functions return boxes
// (pointers, so even words) holding the value, and compare and the checks read either.  A box
// released twice or read after its release stops the run, and at the end every box must have
// been released once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "kavutil.h"
#include "platform/memory.h"

namespace {

void Check(bool good) {
  if (!good) __builtin_trap();
}

class Bytes {
 public:
  Bytes(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  unsigned Next() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Text(std::size_t length) {  // up to `length` bytes, cut at a NUL
    std::string text;
    while (text.size() < length && More()) text += static_cast<char>(Next());
    return text.substr(0, text.find('\0'));
  }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// For one operation whose byte has the high bit set: the heap seam lets (op >> 4) & 3
// allocations through and fails every later one until the operation ends.
class FailOnce {
 public:
  explicit FailOnce(unsigned op) : armed_((op & 0x80) != 0) {
    if (armed_) kav::platform::memory::fail_after((op >> 4) & 3);
  }
  ~FailOnce() { kav::platform::memory::fail_after(-1); }
  bool armed() const { return armed_; }

 private:
  bool armed_;
};

// ---- values and boxes ----

struct Box {
  int value;
  bool released;
};
std::deque<Box> boxes;  // the current input's copies; a deque keeps their addresses

constexpr int kNone = -1;  // the model's value of the word 0

kav_word Raw(int value) { return static_cast<kav_word>(value) * 2 + 1; }

int ValueOf(kav_word word) {
  if (word == 0) return kNone;
  if (word & 1) return static_cast<int>(word >> 1);
  const Box *box = reinterpret_cast<const Box *>(word);
  Check(!box->released);
  return box->value;
}

kav_word CopyValue(kav_word word) {
  boxes.push_back({ValueOf(word), false});
  return reinterpret_cast<kav_word>(&boxes.back());
}

void ReleaseValue(kav_word word) {
  Check(word != 0 && (word & 1) == 0);
  Box *box = reinterpret_cast<Box *>(word);
  Check(!box->released);
  box->released = true;
}

int CompareValues(kav_word stored, kav_word probe) {
  const int a = ValueOf(stored), b = ValueOf(probe);
  return (a > b) - (a < b);
}

// An operand payload: now and then the word 0.
kav_word PayloadOperand(Bytes &in) {
  const unsigned b = in.Next();
  return b % 8 == 0 ? 0 : Raw(static_cast<int>(b));
}

// ---- the node list against a vector of words ----

list_node *NodeAt(list_node *list, std::size_t n) {
  while (n-- > 0 && list != nullptr) list = list->next;
  return list;
}

void CheckList(const list_node *list, const std::vector<kav_word> &model) {
  std::size_t i = 0;
  for (; list != nullptr; list = list->next, ++i)
    Check(i < model.size() && list->payload == model[i]);
  Check(i == model.size());
}

void ListStep(unsigned op, Bytes &in, list_node *&list, std::vector<kav_word> &model) {
  const FailOnce fail(op);
  const std::size_t n = model.empty() ? 0 : in.Next() % model.size();
  const auto at = static_cast<std::ptrdiff_t>(n);
  const kav_word word = PayloadOperand(in);
  int done = 0;
  switch (op % 10) {
    case 0:
      if ((done = insert_node(&list, word))) model.insert(model.begin(), word);
      break;
    case 1:
      if ((done = append_node(&list, word))) model.push_back(word);
      break;
    case 2:
      done = model.empty() ? insert_after(nullptr, word) == 0 : insert_after(NodeAt(list, n), word);
      if (done && !model.empty()) model.insert(model.begin() + at + 1, word);
      break;
    case 3:
      Check(delete_node(&list, NodeAt(list, n)) == (model.empty() ? 0 : 1));
      if (!model.empty()) model.erase(model.begin() + at);
      done = 1;
      break;
    case 4: {
      list_node *stranger = nullptr;
      if ((done = allocate_node(&stranger, word)) == 0) break;
      Check(delete_node(&list, stranger) == 0);
      free_node(&stranger);
      Check(stranger == nullptr);
      break;
    }
    case 5: {
      const int position = static_cast<int>(in.Next() % (model.size() + 3)) - 1;
      const bool there = position >= 1 && static_cast<std::size_t>(position) <= model.size();
      Check(delete_node_n(&list, position) == (there ? 1 : 0));
      if (there) model.erase(model.begin() + position - 1);
      done = 1;
      break;
    }
    case 6: {
      kav_word taken = 12345;
      Check(delete_get(&list, &taken) == (model.empty() ? 0 : 1));
      Check(taken == (model.empty() ? 12345 : model.front()));
      if (!model.empty()) model.erase(model.begin());
      done = 1;
      break;
    }
    case 7: {
      const list_node *now_last = delete_last(&list);
      if (!model.empty()) model.pop_back();
      Check(now_last == (model.empty() ? nullptr : NodeAt(list, model.size() - 1)));
      done = 1;
      break;
    }
    default:
      done = empty_list(list) == (model.empty() ? 1 : 0);
  }
  Check(done || fail.armed());
  CheckList(list, model);
}

void RunList(Bytes &in) {
  list_node *list = nullptr;
  init_list(&list);
  std::vector<kav_word> model;
  while (in.More()) ListStep(in.Next(), in, list, model);
  kav_word ignored;
  while (delete_get(&list, &ignored)) {
  }
}

// ---- the queue against a deque of values ----

struct QueueRun {
  IQueue *queue;
  std::deque<int> model;
  bool boxed;
};

void CheckQueue(const QueueRun &run) {
  const IQueue *q = run.queue;
  Check(IQueueCount(q) == static_cast<int>(run.model.size()));
  const list_node *node = q->first, *last = nullptr;
  for (const int value : run.model) {
    Check(node != nullptr && ValueOf(node->payload) == value);
    last = node;
    node = node->next;
  }
  Check(node == nullptr && q->last == last);
}

// The model's values up to the first 0 payload: what walks and copies reach.
std::deque<int> UpToNone(const std::deque<int> &model) {
  return std::deque<int>(model.begin(), std::find(model.begin(), model.end(), kNone));
}

// A payload handed back to the caller is the caller's to release.
void TakeBack(const QueueRun &run, kav_word payload, int expected) {
  Check(ValueOf(payload) == expected);
  if (run.boxed && payload != 0) ReleaseValue(payload);
}

void QueueStep(unsigned op, Bytes &in, QueueRun &run) {
  const FailOnce fail(op);
  IQueue *q = run.queue;
  auto &model = run.model;
  const kav_word word = PayloadOperand(in);
  switch (op % 8) {
    case 0:
    case 1: {
      const std::size_t before = model.size();
      const kav_word stored = op % 8 == 0 ? IQueueEnqueue(q, word) : IQueuePush(q, word);
      if (static_cast<std::size_t>(q->count) == before) {
        Check(fail.armed() && stored == 0);
        break;
      }
      Check(ValueOf(stored) == ValueOf(word));
      op % 8 == 0 ? model.push_back(ValueOf(word)) : model.push_front(ValueOf(word));
      break;
    }
    case 2:
      TakeBack(run, IQueuePop(q), model.empty() ? kNone : model.front());
      if (!model.empty()) model.pop_front();
      break;
    case 3:
      TakeBack(run, IQueueDequeue(q), model.empty() ? kNone : model.back());
      if (!model.empty()) model.pop_back();
      break;
    case 4: {
      const int n = static_cast<int>(in.Next() % (model.size() + 2)) - 1;
      const std::deque<int> reach = UpToNone(model);
      const bool there = n >= 0 && static_cast<std::size_t>(n) < reach.size();
      Check(ValueOf(IQueueN(q, n)) == (there ? reach[static_cast<std::size_t>(n)] : kNone));
      break;
    }
    case 5: {
      IQueueIterator it;
      std::deque<int> walked;
      for (kav_word p = IQueueFirst(&it, q); p != 0; p = IQueueNext(&it))
        walked.push_back(ValueOf(p));
      Check(walked == UpToNone(model));
      break;
    }
    case 6:
      if (IQueue *copy = IQueueDup(q)) {
        IQueueFree(q);
        run.queue = copy;
        model = UpToNone(model);
      } else {
        Check(fail.armed());
      }
      break;
    default:
      IQueueClear(q);
      model.clear();
  }
  CheckQueue(run);
}

void RunQueue(unsigned variant, Bytes &in) {
  IQueue prototype{};
  const bool boxed = variant & 1;
  if (boxed) {
    prototype.copy_payload = CopyValue;
    prototype.release_payload = ReleaseValue;
  }
  prototype.spare = 77;
  QueueRun run{IQueueDup(&prototype), {}, boxed};
  Check(run.queue != nullptr && run.queue->spare == 77 && IQueueCount(run.queue) == 0);
  while (in.More()) QueueStep(in.Next(), in, run);
  IQueueFree(run.queue);
}

// ---- the map against a std::map, with its tree, cursor and element pointers ----

constexpr int kNoCursor = kNone - 1;  // the cursor is on no entry

struct MapRun {
  IMap *map;
  std::map<int, int> model;         // key value -> payload value
  std::map<int, IMapElement *> at;  // where each entry was first seen
  int cursor;                       // the key under the cursor, or kNoCursor
  bool releases;                    // release_payload set (payloads boxed)
  int fallback;                     // the default payload's value
};

kav_word KeyOperand(Bytes &in) {
  const unsigned b = in.Next() % 64;
  return b == 63 ? 0 : Raw(static_cast<int>(b));
}

// In-order check of one subtree; returns its black height.
int CheckSubtree(const IMapNode *node, const IMapNode *end, std::vector<const IMapNode *> &order) {
  if (node == end) return 1;
  Check(node->left == end || node->left->parent == node);
  Check(node->right == end || node->right->parent == node);
  Check(!node->red || (!node->left->red && !node->right->red));
  const int left = CheckSubtree(node->left, end, order);
  order.push_back(node);
  const int right = CheckSubtree(node->right, end, order);
  Check(left == right);
  return left + (node->red ? 0 : 1);
}

void CheckMap(MapRun &run) {
  const IMapNode *holder = run.map->tree;
  const IMapNode *end = holder->right;
  Check(!end->red && !holder->red && (holder->left == end || !holder->left->red));
  Check(holder->left == end || holder->left->parent == holder);
  std::vector<const IMapNode *> order;
  CheckSubtree(holder->left, end, order);
  Check(IMapCount(run.map) == static_cast<int>(run.model.size()) &&
        order.size() == run.model.size());
  auto entry = run.model.begin();
  for (const IMapNode *node : order) {
    Check(ValueOf(node->key) == entry->first && ValueOf(node->payload) == entry->second);
    auto *element = reinterpret_cast<IMapElement *>(const_cast<kav_word *>(&node->key));
    Check(run.at.emplace(entry->first, element).first->second == element);
    ++entry;
  }
  const bool on = run.cursor != kNoCursor;
  Check(IMapElementCurrent(run.map) == (on ? run.at[run.cursor] : nullptr));
  Check(ValueOf(IMapKeyCurrent(run.map)) == (on ? run.cursor : kNone));
}

// The model of IMapSet: the payload now stored under the key.
int SetInModel(MapRun &run, int key, int payload) {
  const auto found = run.model.find(key);
  if (found == run.model.end()) return run.model[key] = payload == kNone ? run.fallback : payload;
  int &stored = found->second;
  if (payload != kNone && stored != kNone && run.releases) stored = kNone;
  if (payload == kNone) payload = run.fallback;
  if (payload != kNone && stored == kNone) stored = payload;
  return stored;
}

void Forget(MapRun &run, int key) {
  run.model.erase(key);
  run.at.erase(key);
  if (run.cursor == key) run.cursor = kNoCursor;
}

int NextKey(const MapRun &run, int key) {
  const auto next = run.model.upper_bound(key);
  return next == run.model.end() ? kNoCursor : next->first;
}

void CheckWalk(const MapRun &run, IMapIterator &it, kav_word first,
               std::map<int, int>::const_iterator from) {
  for (kav_word payload = first; it.node != nullptr; payload = IMapNext(&it), ++from) {
    Check(from != run.model.end() && ValueOf(it.key) == from->first);
    Check(payload == it.payload && ValueOf(payload) == from->second);
  }
  Check(from == run.model.end() && it.key == 0 && it.payload == 0);
}

void MapReplace(MapRun &run, bool armed) {
  IMap *copy = IMapDup(run.map);
  if (copy == nullptr) {
    Check(armed);
    return;
  }
  IMapFree(run.map);
  run.map = copy;
  run.at.clear();
  run.cursor = kNoCursor;
}

void MapRename(MapRun &run, kav_word from, kav_word to, bool armed) {
  IMapRename(run.map, from, to);
  const int a = ValueOf(from), b = ValueOf(to);
  if (from == 0 || to == 0 || a == b || run.model.count(b) || !run.model.count(a)) return;
  if (IMapPos(run.map, from) >= 0) {
    Check(armed);  // no node for the new key: nothing changed
    return;
  }
  const int payload = run.model[a];
  Forget(run, a);
  run.model[b] = payload;
}

void MapStep(unsigned op, Bytes &in, MapRun &run) {
  const FailOnce fail(op);
  IMap *map = run.map;
  const kav_word key = KeyOperand(in);
  const int k = ValueOf(key);
  switch (op % 12) {
    case 0: {
      const kav_word payload = PayloadOperand(in);
      const bool had = run.model.count(k) != 0;
      const kav_word stored = IMapSet(map, key, payload);
      if (!had && IMapCount(map) == static_cast<int>(run.model.size())) {
        Check(fail.armed() && stored == 0);
        break;
      }
      Check(ValueOf(stored) == SetInModel(run, k, ValueOf(payload)));
      break;
    }
    case 1:
      Check(ValueOf(IMapGet(map, key)) == (run.model.count(k) ? run.model[k] : kNone));
      break;
    case 2:
      IMapDelete(map, key);
      Forget(run, k);
      break;
    case 3:
      MapRename(run, key, KeyOperand(in), fail.armed());
      break;
    case 4: {
      const auto found = run.model.find(k);
      const int rank = found == run.model.end() || key == 0
                           ? -1
                           : static_cast<int>(std::distance(run.model.begin(), found));
      Check(IMapPos(map, key) == rank);
      break;
    }
    case 5: {
      IMapIterator it;
      const kav_word first = IMapGTE(&it, map, key);
      CheckWalk(run, it, first, run.model.lower_bound(k));
      break;
    }
    case 6: {
      IMapIterator it;
      const kav_word first = IMapFirst(&it, map);
      CheckWalk(run, it, first, run.model.begin());
      break;
    }
    case 7:
      IMapSetCurrent(map, key);
      run.cursor = run.model.count(k) ? k : kNoCursor;
      break;
    case 8:
      IMapElementFirst(map);
      run.cursor = run.model.empty() ? kNoCursor : run.model.begin()->first;
      break;
    case 9:
      IMapElementNext(map);
      if (run.cursor != kNoCursor) run.cursor = NextKey(run, run.cursor);
      break;
    case 10: {
      const int n = static_cast<int>(in.Next() % (run.model.size() + 2)) - 1;
      const IMapElement *element = IMapElementN(map, n);
      const bool there = n >= 0 && static_cast<std::size_t>(n) < run.model.size();
      Check(there ? element != nullptr &&
                        ValueOf(element->key) == std::next(run.model.begin(), n)->first
                  : element == nullptr);
      break;
    }
    default:
      if (k % 2 == 0) {
        IMapClear(map);
        run.model.clear();
        run.at.clear();
        run.cursor = kNoCursor;
      } else {
        MapReplace(run, fail.armed());
      }
  }
  CheckMap(run);
}

void RunMap(unsigned variant, Bytes &in) {
  IMap prototype{};
  prototype.copy_key = CopyValue;
  prototype.release_key = ReleaseValue;
  prototype.compare = CompareValues;
  const bool releases = variant & 1;
  if (releases) {
    prototype.copy_payload = CopyValue;
    prototype.release_payload = ReleaseValue;
  }
  const int fallback = (variant & 2) ? 1000 : kNone;
  prototype.default_payload = fallback == kNone ? 0 : Raw(fallback);
  MapRun run{IMapDup(&prototype), {}, {}, kNoCursor, releases, fallback};
  Check(run.map != nullptr && IMapCount(run.map) == 0);
  while (in.More()) MapStep(in.Next(), in, run);
  IMapFree(run.map);
}

// ---- the array list against vectors of items ----

struct Item {
  bool owned;
  std::string bytes;  // an owned item's copy
  kav_word value;     // a plain item's value

  bool operator==(const Item &) const = default;
  auto operator<=>(const Item &) const = default;
};

constexpr std::size_t kMaxItems = 1200;  // past two growth steps, and quick to check

struct ArrayRun {
  IArrayList *lists[2];
  std::vector<Item> models[2];
  unsigned capacity[2];
};

Item ItemOf(const IArrayListItem *item) {
  if (item->owned == 0) return {false, "", item->data};
  const auto *data = reinterpret_cast<const char *>(item->data);
  Check((data == nullptr) == (item->size == 0));
  return {true, std::string(data == nullptr ? "" : data, item->size), 0};
}

void CheckArray(const ArrayRun &run, int i) {
  const IArrayList *list = run.lists[i];
  const std::vector<Item> &model = run.models[i];
  Check(list->count == model.size() && list->capacity == run.capacity[i]);
  for (unsigned n = 0; n < list->capacity; ++n) {
    Check((n < list->count) == (list->items[n] != nullptr));
    if (n < list->count) Check(ItemOf(list->items[n]) == model[n]);
  }
}

int CompareItems(const void *a, const void *b) {
  const Item x = ItemOf(*static_cast<IArrayListItem *const *>(a));
  const Item y = ItemOf(*static_cast<IArrayListItem *const *>(b));
  return x < y ? -1 : y < x ? 1 : 0;
}

// Adds one item to list i by the item's kind, as IArrayListAddAll does; false when nothing was
// added (no memory) or the add gave 0 (an empty copy).
bool AddLike(ArrayRun &run, int i, const Item &item, bool *added) {
  IArrayList *list = run.lists[i];
  const unsigned before = list->count;
  const bool result =
      item.owned ? IArrayListAddAsCopy(list, item.bytes.empty() ? nullptr : item.bytes.data(),
                                       static_cast<unsigned>(item.bytes.size())) != nullptr
                 : IArrayListAdd(list, item.value) != nullptr;
  *added = list->count == before + 1;
  if (*added) run.models[i].push_back(item);
  return result;
}

void ArrayStep(unsigned op, Bytes &in, ArrayRun &run) {
  const FailOnce fail(op);
  const int i = (op >> 3) & 1;
  IArrayList *list = run.lists[i];
  std::vector<Item> &model = run.models[i];
  bool added = false;
  switch (op % 8) {
    case 0:
      AddLike(run, i, {false, "", PayloadOperand(in)}, &added);
      Check(added || fail.armed());
      break;
    case 1: {
      const Item item{true, in.Text(in.Next() % 9), 0};
      const bool result = AddLike(run, i, item, &added);
      Check(added ? result == !item.bytes.empty() : fail.armed() && !result);
      break;
    }
    case 2: {
      const int from = (op >> 6) & 1;  // the other list or this one
      const std::vector<Item> source = run.models[from];
      if (model.size() + source.size() > kMaxItems) break;  // adding a list to itself doubles it
      const unsigned before = list->count;
      const int result = IArrayListAddAll(list, run.lists[from]);
      std::size_t reach = 0;
      bool stopped = false;  // an owned item with an empty copy is added, then ends the copy
      while (reach < source.size() && !stopped) {
        const Item &item = source[reach++];
        stopped = item.owned && item.bytes.empty();
      }
      const std::size_t count = list->count - before;
      if (count == reach) {
        Check(result == (stopped ? 1 : 0));
      } else {
        Check(count < reach && fail.armed() && result == 1);
      }
      model.insert(model.end(), source.begin(),
                   source.begin() + static_cast<std::ptrdiff_t>(count));
      break;
    }
    case 3: {
      const unsigned n = in.Next() % (model.size() + 1);
      const kav_word data = IArrayListGetPos(list, n);
      Check(data == (n == model.size() ? 0
                     : model[n].owned  ? list->items[n]->data
                                       : model[n].value));
      break;
    }
    case 4: {
      const unsigned n = in.Next() % (model.size() + 1);
      IArrayListDeletePos(list, n);
      if (n < model.size()) model.erase(model.begin() + n);
      break;
    }
    case 5:
      IArrayListSort(list, CompareItems);
      std::sort(model.begin(), model.end());
      break;
    case 6:
      for (unsigned n = in.Next() * 4; n > 0 && model.size() < kMaxItems; --n) {
        AddLike(run, i, {false, "", Raw(static_cast<int>(n))}, &added);
      }
      break;
    default:
      IArrayListDeleteAll(list);
      model.clear();
  }
  while (model.size() > run.capacity[i]) run.capacity[i] += 500;  // grown, never shrunk
  CheckArray(run, 0);
  CheckArray(run, 1);
}

void RunArray(unsigned variant, Bytes &in) {
  ArrayRun run{};
  if (variant & 8)
    kav::platform::memory::fail_after(variant & 3);  // the first list may not be made
  run.lists[0] = IArrayListInit();
  kav::platform::memory::fail_after(-1);
  run.lists[1] = IArrayListInit();
  run.capacity[0] = run.capacity[1] = 500;
  Check(run.lists[1] != nullptr && (run.lists[0] != nullptr || (variant & 8)));
  if (run.lists[0] != nullptr) {
    while (in.More()) ArrayStep(in.Next(), in, run);
  }
  IArrayListDestroy(run.lists[0]);
  IArrayListDestroy(run.lists[1]);
}

// ---- the unsorted string list against a string ----

struct TextModel {
  std::string text;
  bool allocated = false;  // the list has a buffer
  std::vector<std::string> lines;
  bool indexed = false;  // a read has indexed the lines
};

void CheckText(dsList &list, const TextModel &model) {
  const char *buffer = dsGetBuffer(&list);
  Check((buffer != nullptr) == model.allocated);
  if (buffer != nullptr) {
    Check(buffer == (model.indexed ? model.text.substr(0, model.text.find('\n')) : model.text));
    Check(list.capacity > static_cast<int>(model.text.size()));
  }
  Check(dsGetStringCount(&list) == static_cast<int>(model.lines.size()));
  for (std::size_t i = 0; i < model.lines.size(); ++i) {
    Check(model.lines[i] == dsGetStringAtIndex(&list, static_cast<int>(i)));
  }
}

bool AppendToModel(TextModel &model, const std::string &text, int delimiter) {
  if (model.indexed) return false;
  model.text += text;
  if (delimiter > 0 && (text.empty() || text.back() != delimiter)) model.text += char(delimiter);
  model.allocated = true;
  return true;
}

// The pieces a read appends: lines of at most 2047 characters, without their line ends unless
// keep_line_ends is 1.
std::vector<std::string> Pieces(const std::string &text, bool keep) {
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t line_end = text.find('\n', at);
    const std::size_t end =
        std::min(line_end == std::string::npos ? text.size() : line_end + 1, at + 2047);
    std::string piece = text.substr(at, end - at);
    at = end;
    while (!keep && !piece.empty() && (piece.back() == '\r' || piece.back() == '\n')) {
      piece.pop_back();
    }
    pieces.push_back(piece);
  }
  return pieces;
}

void ReadText(dsList &list, TextModel &model, const std::string &text, bool keep) {
  list.keep_line_ends = keep ? 1 : 0;
  FILE *stream = text.empty() ? std::fopen("/dev/null", "rb")
                              : fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
  Check(stream != nullptr);
  const int result = dsReadFromFileStream(&list, stream);
  std::fclose(stream);
  bool appended = true;
  for (const std::string &piece : Pieces(text, keep)) appended = AppendToModel(model, piece, 0);
  Check(result == (appended ? 1 : 0));
  if (!appended || model.indexed || !model.allocated) return;
  model.indexed = true;
  for (std::size_t at = 0, end; (end = model.text.find('\n', at)) != std::string::npos;
       at = end + 1) {
    model.lines.push_back(model.text.substr(at, end - at));
  }
}

// One of the three appends; a failed one must change nothing.
void AppendText(unsigned op, Bytes &in, dsList &list, TextModel &model) {
  const FailOnce fail(op);
  std::string text = in.Text(in.Next() * 2);
  const auto delimiter = static_cast<signed char>(in.Next());
  int result = 0;
  if (op % 5 == 0) {
    result = dsAppendWithDelimiter(&list, text.c_str(), delimiter);
  } else if (op % 5 == 1) {
    result = dsAppend(&list, text.c_str());
  } else {
    result = dsAppendFormat(&list, "%s", text.c_str());
    text.resize(std::min<std::size_t>(text.size(), 255));
  }
  if (model.indexed) {
    Check(result == 0);
  } else if (result == 0) {
    Check(fail.armed());
  } else {
    AppendToModel(model, text, op % 5 == 0 ? delimiter : '\n');
  }
}

void RunText(Bytes &in) {
  dsList list;
  dsInitialize(&list);
  TextModel model;
  while (in.More()) {
    const unsigned op = in.Next();
    if (op % 5 == 3) {
      ReadText(list, model, in.Text(in.Next() * 16), (op >> 3) & 1);
    } else if (op % 5 == 4) {
      dsFree(&list);
      model = TextModel{};
    } else {
      AppendText(op, in, list, model);
    }
    CheckText(list, model);
  }
  dsFree(&list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  Bytes in(data, size);
  const unsigned first = in.Next();
  boxes.clear();
  switch (first % 5) {
    case 0:
      RunList(in);
      break;
    case 1:
      RunQueue(first / 5, in);
      break;
    case 2:
      RunMap(first / 5, in);
      break;
    case 3:
      RunArray(first / 5, in);
      break;
    default:
      RunText(in);
  }
  for (const Box &box : boxes) Check(box.released);
  return 0;
}

// Sort orders and sorted inserts of the string list against the plain scan.
//
// The input's first line is a sort order; dsSetSort must accept it exactly when the order's
// grammar does (within the limits the library chose: 5 keys, 14-character tokens, 9-digit
// numbers) and parse the keys it takes.  Every later line is a text to insert (a 0xFF byte in
// it stands for a line feed), led by a control byte: its low bits pick a start index and key for
// a dsFindSortedInsertIndex and a dsFind beside the insert, both held to
// tests/dslist_reference.h, and its high bit makes the insert's k-th allocation fail first
// (nothing may change then).  After each insert the text must stand where the plain scan said,
// and at the end the joined buffer must be the strings in order, and the order of all the
// texts at once (kav::containers::dslist::sorted_order) the order the inserts made.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "containers/dslist.h"
#include "kavutil.h"
#include "platform/memory.h"
#include "tests/dslist_reference.h"

namespace {

using dslist_reference::PlainFind;
using dslist_reference::PlainInsert;
using dslist_reference::Text;

constexpr std::size_t kMaxTexts = 300;

void Check(bool good) {
  if (!good) __builtin_trap();
}

std::vector<std::string> Lines(std::string_view input) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start <= input.size();) {
    const std::size_t end = std::min(input.find('\n', start), input.size());
    std::string line(input.substr(start, end - start));
    lines.push_back(line.substr(0, line.find('\0')));
    start = end + 1;
  }
  return lines;
}

// One key token by the grammar; false when it is not one.
bool GoodNumber(std::string_view text) { return text.size() <= 9; }

bool GoodToken(std::string_view token) {
  if (token.size() < 3 || token.size() > 14) return false;
  if (token[0] != '+' && token[0] != '-') return false;
  if (std::string_view("DISdis").find(token[1]) == std::string_view::npos) return false;
  const std::string_view numbers = token.substr(2);
  const std::size_t dash = numbers.find('-');
  if (dash == std::string_view::npos) return GoodNumber(numbers);
  return GoodNumber(numbers.substr(0, dash)) && GoodNumber(numbers.substr(dash + 1));
}

// How many keys the order holds, or -1 when dsSetSort must refuse it.
int ExpectedKeys(std::string_view order) {
  int keys = 0;
  for (std::size_t at = 0;;) {
    const std::size_t end = std::min(order.find('|', at), order.size());
    if (end == at) return keys;
    if (keys == DS_MAX_KEYS || !GoodToken(order.substr(at, end - at))) return -1;
    ++keys;
    at = end == order.size() ? end : end + 1;
  }
}

void CheckKeys(const dsList& list, std::string_view order) {
  for (int k = 0; k < list.key_count; ++k) {
    const dsSortKey& key = list.keys[k];
    const std::size_t end = std::min(order.find('|'), order.size());
    const std::string token(order.substr(0, end));
    order.remove_prefix(std::min(end + 1, order.size()));
    Check(key.in_use == 1 && key.ascending == (token[0] == '+') && key.type == token[1]);
    const std::size_t dash = token.find('-', 2);
    if (dash == std::string::npos) {
      Check(key.field == dslist_reference::Decimal(token.substr(2)));
    } else {
      Check(key.field == -1 && key.from == dslist_reference::Decimal(token.substr(2, dash - 2)) &&
            key.to == dslist_reference::Decimal(token.substr(dash + 1)));
    }
  }
}

std::vector<std::string> Strings(const dsList& list) {
  return std::vector<std::string>(list.strings, list.strings + list.count);
}

// A search from any start and key, with the probes of the earlier keys set as an insert
// handing over to key k would set them (or left null, by the control byte).
void CheckSearches(dsList& list, const std::string& text, unsigned control) {
  const int k = static_cast<int>(control % DS_MAX_KEYS);
  const int start = static_cast<int>((control / 5) % static_cast<unsigned>(list.count + 1));
  std::vector<Text> probes(DS_MAX_KEYS);
  std::vector<std::string> held(DS_MAX_KEYS);
  for (int j = 0; j < k; ++j) {
    if ((control >> 4) & 1) probes[j] = dslist_reference::KeyOf(text, list.keys[j]);
    held[j] = probes[j].value_or("");
    list.keys[j].probe = probes[j] ? held[j].data() : nullptr;
  }
  Check(dsFindSortedInsertIndex(&list, text.c_str(), start, k, nullptr) ==
        PlainInsert(list, text, start, k, probes));
  for (int j = 0; j < k; ++j) list.keys[j].probe = nullptr;
  int position = -7, want_position = -7;
  const int found = dsFind(&list, text.c_str(), start, k % 2, &position);
  Check(found == PlainFind(list, text, start, k % 2, &want_position));
  Check(found >= 0 || position == want_position);
}

// Whether the text was added (an allocation made to fail may refuse it).
bool Insert(dsList& list, const std::string& text, unsigned control) {
  const std::vector<std::string> before = Strings(list);
  std::vector<Text> none(DS_MAX_KEYS);
  const int want = PlainInsert(list, text, 0, 0, none);
  if (control & 0x80) kav::platform::memory::fail_after((control >> 5) & 3);
  const int added = dsAppend(&list, text.c_str());
  kav::platform::memory::fail_after(-1);
  if (added == 0) {
    Check((control & 0x80) != 0 && Strings(list) == before);
    return false;
  }
  Check(list.count == static_cast<int>(before.size()) + 1);
  Check(list.strings[want] == text + "\n");
  std::vector<std::string> after = before;
  after.insert(after.begin() + want, text + "\n");
  Check(Strings(list) == after);
  return true;
}

// The order of all the added texts at once is the order their inserts made.
void CheckBulkOrder(const dsList& list, const std::vector<std::string>& added) {
  std::vector<const char*> texts;
  for (const std::string& text : added) texts.push_back(text.c_str());
  const std::vector<std::size_t> order = kav::containers::dslist::sorted_order(list, texts);
  Check(order.size() == added.size() && static_cast<int>(order.size()) == list.count);
  for (std::size_t i = 0; i < order.size(); ++i) Check(list.strings[i] == added[order[i]] + "\n");
}

void CheckBuffer(dsList& list) {
  std::string joined;
  for (int i = 0; i < list.count; ++i) joined += list.strings[i];
  const char* buffer = dsGetBuffer(&list);
  Check(list.count == 0 ? buffer == nullptr : buffer != nullptr && joined == buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> lines =
      Lines(std::string_view(reinterpret_cast<const char*>(data), size));
  dsList list;
  dsInitialize(&list);
  const int expected = ExpectedKeys(lines[0]);
  const int accepted = dsSetSort(&list, lines[0].c_str());
  Check(accepted == (expected >= 0 ? 1 : 0));
  if (!accepted) {
    Check(list.sorted == 0);
    return 0;
  }
  Check(list.sorted == 1 && list.key_count == expected);
  CheckKeys(list, lines[0]);
  std::vector<std::string> added;
  for (std::size_t i = 1; i < lines.size() && i <= kMaxTexts; ++i) {
    const unsigned control = lines[i].empty() ? 0 : static_cast<unsigned char>(lines[i][0]);
    std::string text = lines[i].empty() ? "" : lines[i].substr(1);
    std::replace(text.begin(), text.end(), '\xff', '\n');  // texts may hold line feeds too
    if (Insert(list, text, control)) added.push_back(text);
    CheckSearches(list, text, control);
  }
  CheckBuffer(list);
  CheckBulkOrder(list, added);
  dsFree(&list);
  return 0;
}

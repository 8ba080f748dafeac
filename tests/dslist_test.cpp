// dslist_test.cpp - the ds family (containers/dslist.cpp): the library's insert positions and
// finds against the plain scan (dslist_reference.h) on thousands of random lists; then sort
// orders, unsorted appends, reads from files, probes and allocation failures; and the order for
// many strings at once, and a sorted read of a file, against appending them one at a time.

#include "containers/dslist.h"

#include "dslist_reference.h"
#include "support.h"

namespace {

using dslist_reference::KeyOf;
using dslist_reference::PlainFind;
using dslist_reference::PlainInsert;
using dslist_reference::Text;

std::string RandomOrder(std::mt19937& rng) {
  std::string order;
  for (int n = static_cast<int>(rng() % 4); n > 0; --n) {
    order += std::string(1, "+-"[rng() % 2]) + "SSSDDIs"[rng() % 7];
    order += rng() % 3 ? std::to_string(rng() % 4)
                       : std::to_string(rng() % 6) + "-" + std::to_string(rng() % 6);
    if (n > 1) order += '|';
  }
  return order;
}

// Dirty texts add control bytes, line feeds and empty texts; "one name" gives most texts the
// first field "n" and some "N", so runs of one spelling are long and interleave.
std::string RandomText(std::mt19937& rng, bool dirty, bool one_name) {
  static const char* const pool[] = {"a",   "A",  "b",  "B", "ab", "aB",   "10",   "9",
                                     "010", "-3", " 5", "0", "",   "x\ty", "\x01", "b\n"};
  if (dirty && rng() % 15 == 0) return "";
  std::string text = one_name ? (rng() % 6 ? "n|" : "N|") : "";
  for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) {
    text += pool[rng() % (dirty ? 16 : 13)];
    if (n > 1) text += '|';
  }
  return dirty && rng() % 10 == 0 ? text + "\n" : text;
}

// The probes of the keys below k: the text's own key texts, or now and then none.
std::vector<Text> SetProbes(dsList& l, const std::string& t, int k, std::mt19937& rng,
                            std::vector<std::string>& held) {
  std::vector<Text> probes(5);
  for (int j = 0; j < k; ++j) {
    if (rng() % 4 != 0) probes[j] = KeyOf(t, l.keys[j]);
    held[j] = probes[j].value_or("");
    l.keys[j].probe = probes[j] ? held[j].data() : nullptr;
  }
  return probes;
}

TEST(InsertPosition, MatchesThePlainScanOnRandomLists) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    dsList l;
    dsInitialize(&l);
    const std::string order = RandomOrder(rng);
    const bool dirty = round % 2 == 1, one_name = round % 3 == 2;
    SCOPED_TRACE(order + " round " + std::to_string(round));
    ASSERT_EQ(dsSetSort(&l, order.c_str()), 1);
    for (int n = static_cast<int>(rng() % (one_name ? 200 : 100)); n > 0; --n) {
      const std::string t = RandomText(rng, dirty, one_name);
      std::vector<Text> none(5);
      const int want = PlainInsert(l, t, 0, 0, none);
      ASSERT_EQ(dsFindSortedInsertIndex(&l, t.c_str(), 0, 0, nullptr), want);
      ASSERT_EQ(dsAppend(&l, t.c_str()), 1);
      ASSERT_EQ(std::string(l.strings[want]), t + "\n");
      const int k = static_cast<int>(rng() % 5), start = static_cast<int>(rng() % (l.count + 1));
      std::vector<std::string> held(5);
      std::vector<Text> probes = SetProbes(l, t, k, rng, held);
      ASSERT_EQ(dsFindSortedInsertIndex(&l, t.c_str(), start, k, nullptr),
                PlainInsert(l, t, start, k, probes))
          << " start " << start << " key " << k;
      for (int j = 0; j < k; ++j) l.keys[j].probe = nullptr;
      int position = -7, want_position = -7;
      const int found = dsFind(&l, t.c_str(), start, k % 2, &position);
      ASSERT_EQ(found, PlainFind(l, t, start, k % 2, &want_position));
      ASSERT_TRUE(found >= 0 || position == want_position) << position << " " << want_position;
    }
    dsFree(&l);
  }
}

std::vector<std::string> Fill(const char* order, std::vector<std::string> texts) {
  dsList l;
  dsInitialize(&l);
  EXPECT_EQ(dsSetSort(&l, order), 1);
  for (const auto& t : texts) EXPECT_EQ(dsAppend(&l, t.c_str()), 1);
  std::vector<std::string> out;
  for (int i = 0; i < dsGetStringCount(&l); ++i) {
    out.emplace_back(dsGetStringAtIndex(&l, i));
    out.back().pop_back();
  }
  dsFree(&l);
  return out;
}

using V = std::vector<std::string>;

// The strings of texts in the order kav::containers::dslist::sorted_order gives for order.
V BulkFill(const char* order, const V& texts) {
  dsList settings;
  dsInitialize(&settings);
  EXPECT_EQ(dsSetSort(&settings, order), 1);
  std::vector<const char*> pointers;
  for (const auto& t : texts) pointers.push_back(t.c_str());
  V out;
  for (std::size_t i : kav::containers::dslist::sorted_order(settings, pointers))
    out.push_back(texts.at(i));
  return out;
}

// The bulk order against the one-at-a-time insert on random orders and texts (line feeds, control
// bytes, empty texts, long runs of one first field in two spellings), and how often it sorted.
TEST(BulkOrder, MatchesAppendingOneAtATime) {
  std::mt19937 rng(20260611);
  int sorted[2] = {0, 0};
  for (int round = 0; round < 4000; ++round) {
    const std::string order = RandomOrder(rng);
    const bool dirty = round % 2 == 1, one_name = round % 3 == 2;
    V texts(rng() % (one_name ? 300 : 150));
    for (auto& t : texts) t = RandomText(rng, dirty, one_name);
    std::vector<const char*> pointers;
    for (const auto& t : texts) pointers.push_back(t.c_str());
    dsList l;
    dsInitialize(&l);
    ASSERT_EQ(dsSetSort(&l, order.c_str()), 1);
    for (const auto& t : texts) ASSERT_EQ(dsAppend(&l, t.c_str()), 1);
    sorted[dirty ? 1 : 0] += kav::containers::dslist::sorts_in_bulk(l, pointers) ? 1 : 0;
    const std::vector<std::size_t> got = kav::containers::dslist::sorted_order(l, pointers);
    ASSERT_EQ(got.size(), texts.size());
    for (int i = 0; i < l.count; ++i) {
      ASSERT_EQ(texts[got[i]] + "\n", l.strings[i])
          << "order " << order << " round " << round << " position " << i;
    }
    dsFree(&l);
  }
  std::printf("sorted in bulk: %d of 2000 clean rounds, %d of 2000 dirty ones\n", sorted[0],
              sorted[1]);
  EXPECT_GT(sorted[0], 1400);
  EXPECT_GT(sorted[1], 1000);
}

TEST(BulkOrder, Cases) {
  // Equal spellings in a row form groups, the newest first; absent fields; empty texts.
  EXPECT_EQ(BulkFill("+S0|+S1", {"b|2", "B|1", "b|0", "b|3"}), (V{"b|0", "b|3", "B|1", "b|2"}));
  EXPECT_EQ(BulkFill("+S1", {"x|b", "y", "z|a", "w"}), (V{"y", "w", "z|a", "x|b"}));
  EXPECT_EQ(BulkFill("-S1", {"x|b", "y", "z|a", "w"}), (V{"x|b", "z|a", "w", "y"}));
  EXPECT_EQ(BulkFill("-S0", {"b", "", "a", "c", "", "d"}), (V{"d", "", "c", "a", "", "b"}));
  EXPECT_EQ(BulkFill("+S0", {"b", "", "a"}), (V{"", "a", "b"}));
  EXPECT_EQ(BulkFill("", {"1", "2", "3"}), (V{"3", "2", "1"}));
  // A range that takes in the line feed: equal ones newest first ascending, oldest descending.
  EXPECT_EQ(BulkFill("+S0-5|+S6", {"ab", "AB", "ab"}), (V{"ab", "AB", "ab"}));
  EXPECT_EQ(BulkFill("-S0-5", {"ab", "AB", "b"}), (V{"b", "ab", "AB"}));
  EXPECT_EQ(BulkFill("+D2-9|+S0", {"x12", "y12", "z13"}), (V{"y12", "x12", "z13"}));
  // Ranges empty before the line feed, and line feeds in range texts: inserted one at a time.
  for (const char* order : {"+S2-5", "+D2-5|+S0", "-S1-4"}) {
    const V texts{"ab", "a|b", "ab\nc", "xyz", "ab", "AB", ""};
    EXPECT_EQ(BulkFill(order, texts), Fill(order, texts)) << order;
  }
  EXPECT_EQ(BulkFill("+D0-2|+S3-9", {"12", "12\nA"}), (V{"12", "12\nA"}));
  dsList unsorted;
  dsInitialize(&unsorted);
  const char* const texts[] = {"b", "a"};
  EXPECT_EQ(kav::containers::dslist::sorted_order(unsorted, texts),
            (std::vector<std::size_t>{0, 1}));
  // Long lines stay whole; 20,000 lines sort as they insert.
  V many;
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    many.push_back(std::to_string(rng() % 500) + "|" + "aAbB"[rng() % 4] + "|" +
                   std::string(rng() % 3000, 'z'));
  }
  for (const char* order : {"+S0", "-D0|+S1", "+D0|-S1|+S2", "+S1-3|-D0"}) {
    EXPECT_EQ(BulkFill(order, many), Fill(order, many)) << order;
  }
}

// A few orders pinned by hand, so that a misreading shared by the plain scan shows too.
TEST(Sorted, OrderEqualsAndAbsentKeys) {
  EXPECT_EQ(Fill("-S0", {"b", "a", "c"}), (V{"c", "b", "a"}));
  EXPECT_EQ(Fill("+S0", {"b", "B"}), (V{"B", "b"}));
  EXPECT_EQ(Fill("+D0", {"10", "9"}), (V{"9", "10"}));
  EXPECT_EQ(Fill("+S1", {"x|b", "y", "z|a"}), (V{"y", "z|a", "x|b"}));
  EXPECT_EQ(Fill("", {"1", "2", "3"}), (V{"3", "2", "1"}));
  EXPECT_EQ(Fill("+S2-0", {"abd", "abc"}), Fill("+S0-2", {"abd", "abc"}));
  EXPECT_EQ(Fill("+S0|-D1", {"a|1", "a|3", "b|0", "a|2"}), (V{"a|3", "a|2", "a|1", "b|0"}));
  EXPECT_EQ(Fill("+S0|+S1", {"b|2", "B|1", "b|0", "b|3"}), (V{"b|0", "b|3", "B|1", "b|2"}));
}

TEST(Sort, Orders) {
  dsList l;
  dsInitialize(&l);
  for (const char* bad : {"+X0", "*S0", "+S", "S0", "+S1234567890", "+S0|+S0|+S0|+S0|+S0|+S0"}) {
    EXPECT_EQ(dsSetSort(&l, bad), 0) << bad;
  }
  EXPECT_EQ(l.sorted, 0);
  EXPECT_EQ(l.key_count, 5);
  EXPECT_EQ(dsSetSort(&l, "+S0|-D3||-X"), 1);
  EXPECT_EQ(l.key_count, 2);
  EXPECT_TRUE(l.keys[1].ascending == 0 && l.keys[1].type == 'D' && l.keys[1].field == 3);
  EXPECT_EQ(dsSetSort(&l, "+s2-12|"), 1);
  EXPECT_TRUE(l.keys[0].field == -1 && l.keys[0].to == 12);
  EXPECT_EQ(dsSetSort(nullptr, "+S0"), 0);
  EXPECT_EQ(dsSetSort(&l, nullptr), 0);
}

TEST(Buffers, UnsortedDelimitersAndSortedJoins) {
  dsList l;
  dsInitialize(&l);
  EXPECT_EQ(dsGetBuffer(&l), nullptr);
  for (const char* t : {"abc", "def", "", "x\n"}) EXPECT_EQ(dsAppend(&l, t), 1);
  EXPECT_EQ(dsAppendWithDelimiter(&l, "y", 0) + dsAppendWithDelimiter(&l, "z", -61), 2);
  EXPECT_STREQ(dsGetBuffer(&l), "abc\ndef\n\nx\nyz");
  EXPECT_EQ(dsGetStringCount(&l), 0);
  EXPECT_EQ(dsAppend(&l, nullptr) + dsAppend(nullptr, "a") + dsAppendFormat(nullptr, "a"), 0);
  dsFree(&l);
  EXPECT_EQ(dsAppendFormat(&l, "%d-%s", 42, std::string(300, 'q').c_str()), 1);
  EXPECT_EQ(std::string(dsGetBuffer(&l)), "42-" + std::string(252, 'q') + "\n");
  dsFree(&l);
  dsSetSort(&l, "+S0");
  EXPECT_EQ(dsGetBuffer(&l), nullptr);
  dsAppend(&l, "b");
  EXPECT_EQ(dsGetBuffer(&l), l.strings[0]);
  dsAppendFormat(&l, "%c", 'a');
  EXPECT_STREQ(dsGetBuffer(&l), "a\nb\n");
  EXPECT_EQ(dsGetStringAtIndex(&l, 2), nullptr);
  dsFree(&l);
  EXPECT_TRUE(l.sorted == 1 && l.buffer == nullptr);
}

TEST(Reading, LinesPiecesAndIndex) {
  const std::string path = "dslist_" + std::to_string(std::random_device()()) + ".txt";
  kavtest::WriteFile(path, "b\na\n" + std::string(2050, 'z') + "\nc");
  dsList l;
  dsInitialize(&l);
  l.keep_line_ends = 1;
  ASSERT_EQ(dsReadFromFile(&l, path.c_str()), 1);
  ASSERT_EQ(dsGetStringCount(&l), 3);
  EXPECT_STREQ(dsGetStringAtIndex(&l, 0), "b");
  EXPECT_EQ(std::string(dsGetStringAtIndex(&l, 2)), std::string(2050, 'z'));
  EXPECT_EQ(dsAppend(&l, "late"), 0);
  dsFree(&l);
  l.keep_line_ends = 0;
  ASSERT_EQ(dsReadFromFile(&l, path.c_str()), 1);
  EXPECT_EQ(std::string(dsGetBuffer(&l)), "ba" + std::string(2050, 'z') + "c");
  dsFree(&l);
  dsSetSort(&l, "-S0");
  ASSERT_EQ(dsReadFromFile(&l, path.c_str()), 1);
  EXPECT_EQ(std::string(dsGetStringAtIndex(&l, 0)), std::string(2047, 'z') + "\n");
  EXPECT_STREQ(dsGetStringAtIndex(&l, 4), "a\n");
  dsFree(&l);
  ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);  // the same file as input
  ASSERT_EQ(dsReadFromStdIn(&l), 1);                            // sorted as before
  EXPECT_STREQ(dsGetStringAtIndex(&l, 4), "a\n");
  dsFree(&l);
  std::freopen(kavtest::kPosix ? "/dev/null" : "NUL", "rb", stdin);
  std::remove(path.c_str());
  EXPECT_EQ(dsReadFromFile(&l, path.c_str()), 0);
  EXPECT_EQ(dsReadFromFileStream(&l, nullptr), 0);
}

// The pieces a read gives for text: every line with its line feed (keep_line_ends 1) or without.
V Pieces(const std::string& text, bool keep) {
  V pieces;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
    std::string piece = text.substr(at, end - at);
    if (!keep && piece.back() == '\n') piece.pop_back();
    pieces.push_back(piece);
    at = end;
  }
  return pieces;
}

std::vector<std::string> Strings(const dsList& l) {
  return std::vector<std::string>(l.strings, l.strings + l.count);
}

// A sorted read orders all its lines at once: the list must be the one that appending them in
// turn builds, also for the appends after it (which go by the marks the read set).
class SortedReading : public kavtest::InDirectory {};

TEST_F(SortedReading, EqualsAppendingInTurn) {
  const std::string path = At("lines.txt");
  std::mt19937 rng(20261206);
  for (int round = 0; round < 400; ++round) {
    const std::string order = RandomOrder(rng);
    const bool dirty = round % 2 == 1, one_name = round % 3 == 2, keep = round % 4 == 3;
    std::string text;
    for (int n = static_cast<int>(rng() % 200); n > 0; --n)
      text += RandomText(rng, dirty, one_name) + "\n";
    if (rng() % 2 == 0 && !text.empty()) text.pop_back();
    kavtest::WriteFile(path, text);
    dsList read, appended;
    for (dsList* l : {&read, &appended}) {
      dsInitialize(l);
      l->keep_line_ends = keep ? 1 : 0;
      ASSERT_EQ(dsSetSort(l, order.c_str()), 1);
    }
    ASSERT_EQ(dsReadFromFile(&read, path.c_str()), 1);
    for (const auto& piece : Pieces(text, keep)) ASSERT_EQ(dsAppend(&appended, piece.c_str()), 1);
    for (int n = 0; n < 40; ++n) {
      const std::string later = RandomText(rng, dirty, one_name);
      ASSERT_EQ(dsAppend(&read, later.c_str()) + dsAppend(&appended, later.c_str()), 2);
    }
    ASSERT_EQ(Strings(read), Strings(appended)) << "order " << order << " round " << round;
    dsFree(&read);
    dsFree(&appended);
  }
}

// Positions and found entries are held to the plain find on random lists; these are the parts
// it leaves out: the position after a hand-over to the next key, and the probes the search clears.
TEST(Finding, HandOverAndProbes) {
  dsList l;
  dsInitialize(&l);
  dsSetSort(&l, "+S0|+S1");
  for (const char* t : {"a|1", "b|1", "b|2"}) dsAppend(&l, t);
  int position = -9;
  EXPECT_EQ(dsFind(&l, "b|2", 0, 0, &position), 1);  // handed over; the position stays
  EXPECT_EQ(position, -9);
  EXPECT_EQ(dsFind(nullptr, "a", 0, 0, &position), -1);
  char probe[] = "b";
  l.keys[0].probe = probe;
  EXPECT_EQ(dsFindSortedInsertIndex(&l, "b|3", 1, 1, nullptr), 3);
  EXPECT_EQ(dsFindSortedInsertIndex(&l, "b|0", 0, 0, nullptr), 1);
  EXPECT_EQ(l.keys[0].probe, nullptr);
  dsFree(&l);
}

TEST(Memory, FailuresLeaveTheListAsItWas) {
  dsList l;
  dsInitialize(&l);
  dsSetSort(&l, "+S0");
  dsAppend(&l, "b"), dsAppend(&l, "a");
  kav::platform::memory::fail_after(0);
  EXPECT_EQ(dsGetBuffer(&l), nullptr);
  kav::platform::memory::fail_after(-1);
  EXPECT_STREQ(dsGetBuffer(&l), "a\nb\n");
  dsFree(&l);
  l.sorted = 0;
  l.keep_line_ends = 1;
  dsAppend(&l, "x");
  FILE* empty = std::tmpfile();
  kav::platform::memory::fail_after(0);
  EXPECT_EQ(dsReadFromFileStream(&l, empty), 0);
  kav::platform::memory::fail_after(-1);
  std::fclose(empty);
  EXPECT_STREQ(l.buffer, "x\n");
  EXPECT_EQ(l.strings, nullptr);
  dsFree(&l);
}

}  // namespace

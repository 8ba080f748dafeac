// dslist_reference.h - the sorted string list's insert scan and find, written the plain way:
// every key text copied, every string from the start index looked at.  The dslist tests and the
// sort-order fuzzer hold the library's bisecting search to it.
#pragma once

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "kavutil.h"

namespace dslist_reference {

using Text = std::optional<std::string>;  // a key text; nullopt when absent

inline Text KeyOf(const std::string& s, const dsSortKey& k) {
  if (k.field != -1) {
    std::string line = s.substr(0, s.find('\n')) + '|';
    for (int n = 0; n < k.field; ++n) {
      if (line.find('|') == line.size() - 1) return std::nullopt;
      line.erase(0, line.find('|') + 1);
    }
    return line.substr(0, line.find('|'));
  }
  long a = std::min(k.from, k.to), b = std::max(k.from, k.to), n = static_cast<long>(s.size());
  if (a == b) return "";
  b = std::min(b, n - 1);
  a = std::max(a, 0L);
  return a >= n || b < a ? "" : s.substr(a, b - a + 1);
}

// atoi's reading, saturated where the value leaves int (atoi itself would be undefined there).
inline int Decimal(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

inline int CompareKeys(const Text& x, const Text& t, char type) {
  if (!x) return -1;
  if (!t) return 1;
  if (type == 'D') return (Decimal(*x) > Decimal(*t)) - (Decimal(*x) < Decimal(*t));
  if (type != 'S') return 0;
  for (std::size_t i = 0;; ++i) {
    const int a = i < x->size() ? std::tolower(static_cast<unsigned char>((*x)[i])) : -1;
    const int b = i < t->size() ? std::tolower(static_cast<unsigned char>((*t)[i])) : -1;
    if (a != b || a < 0) return (a > b) - (a < b);
  }
}

// The insert scan, word for word; probes[j] stands for keys[j].probe.
inline int PlainInsert(const dsList& l, const std::string& t, int s, int k,
                       std::vector<Text>& probes) {
  if (t.empty() || l.key_count < 1 || l.count < 1) return 0;
  const dsSortKey& key = l.keys[k];
  const Text tk = KeyOf(t, key);
  for (int i = s; i < l.count; ++i) {
    for (int j = 0; j < k; ++j) {
      const Text x = KeyOf(l.strings[i], l.keys[j]);
      if (!x || !probes[j] || *x != *probes[j]) return i;
    }
    const int c = CompareKeys(KeyOf(l.strings[i], key), tk, key.type);
    if ((key.ascending && c > 0) || (!key.ascending && c < 0)) return i;
    if (c != 0) continue;
    if (k == 4 || !l.keys[k + 1].in_use) return i;
    probes[k] = tk;
    const int r = PlainInsert(l, t, i, k + 1, probes);
    probes[k].reset();
    return r;
  }
  return l.count;
}

// The find, word for word.
inline int PlainFind(const dsList& l, const std::string& t, int s, int k, int* position) {
  *position = 0;
  if (t.empty() || l.key_count < 1 || l.count < 1) return -1;
  const dsSortKey& key = l.keys[k];
  for (int i = *position = s; i < l.count; *position = ++i) {
    for (int j = 0; j < k; ++j) {
      const Text x = KeyOf(l.strings[i], l.keys[j]), tj = KeyOf(t, l.keys[j]);
      if (!x || !tj || *x != *tj) return -1;
    }
    const int c = CompareKeys(KeyOf(l.strings[i], key), KeyOf(t, key), key.type);
    if ((key.ascending && c > 0) || (!key.ascending && c < 0)) return -1;
    if (c == 0 && (k == 4 || !l.keys[k + 1].in_use)) return i;
    std::vector<Text> none(5);
    if (c == 0) return PlainInsert(l, t, i, k + 1, none);
  }
  return -1;
}

}  // namespace dslist_reference

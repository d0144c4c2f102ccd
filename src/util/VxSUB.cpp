#include "util/VxSUB.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "util/Guarded.h"
#include "util/Utils.h"

namespace {

const char kNul = '\0';

// The items ItemCount counts, in order.
std::vector<std::string> Items(const std::string& list) {
  std::vector<std::string> items;
  const int count = SUB::ItemCount(list);
  size_t pos = 0;
  for (int i = 0; i < count; ++i) {
    size_t next = list.find(list[0], pos + 1);
    if (next == std::string::npos) break;
    items.push_back(list.substr(pos + 1, next - pos - 1));
    pos = next;
  }
  return items;
}

// delimiter + each item + delimiter; a lone delimiter for no items.
std::string Rebuild(char delimiter, const std::vector<std::string>& items) {
  std::string out(1, delimiter);
  for (const std::string& item : items) {
    out += item;
    out += delimiter;
  }
  return out;
}

bool AnyContains(const std::vector<std::string>& texts, char c) {
  return std::any_of(texts.begin(), texts.end(),
                     [c](const std::string& t) { return t.find(c) != std::string::npos; });
}

// Items joined with NUL and given the first free candidate delimiter.
std::string BuildList(const std::vector<std::string>& items) {
  return SUB::ChooseDelimiter(Rebuild(kNul, items));
}

std::string ComparisonKey(const std::string& item) { return UpperCase(Trim(item)); }

// Removes the run of blanks directly before the leftmost " =".
std::string DropBlanksBeforeFirstEquals(std::string text) {
  const size_t p = text.find(" =");
  if (p == std::string::npos) return text;
  const size_t first = text.find_last_not_of(' ', p);
  const size_t start = first == std::string::npos ? 0 : first + 1;
  text.erase(start, p + 1 - start);
  return text;
}

}  // namespace

// --- Reading --------------------------------------------------------------

int SUB::ItemCount(const std::string& list) {
  if (list.size() < 2 || list.front() != list.back()) return 0;
  int count = 0;
  for (size_t i = 1; i < list.size() && list[i] != kNul; ++i) {
    if (list[i] == list[0]) ++count;
  }
  return count;
}

std::string SUB::GetItem(const std::string& list, int index, const std::string& def) {
  const std::string text = (list.size() == 1 && list[0] == kNul) ? std::string() : list;
  if (index == -1) index = ItemCount(text) - 1;
  std::string result;
  if (!text.empty() && index >= 0) {
    const char delimiter = text[0];
    size_t pos = 0;
    // Only an item closed by a delimiter is ever taken.
    for (int number = 0; number <= index; ++number) {
      size_t next = text.find(delimiter, pos + 1);
      if (next == std::string::npos) break;
      if (number == index) result = text.substr(pos + 1, next - pos - 1);
      pos = next;
    }
  }
  return result.empty() ? def : result;
}

int64_t SUB::GetItemInt(const std::string& list, int index, int64_t def) {
  return TextToInt64(GetItem(list, index, ""), def);
}

int SUB::IndexOfItem(const std::string& list, const std::string& item, bool prefix, int def) {
  const std::string text = UpperCase(Trim(list));
  const std::string wanted = UpperCase(item);
  if (text.empty() || wanted.empty()) return def;
  const char delimiter = text[0];
  auto search = [&](const std::string& what) {
    std::string pattern = delimiter + what;
    if (!prefix) pattern += delimiter;
    return text.find(pattern);
  };
  size_t p = search(wanted);
  const std::string trimmed = Trim(wanted);
  if (p == std::string::npos && !trimmed.empty() && trimmed != wanted) p = search(trimmed);
  if (p == std::string::npos) return def;
  // Delimiters before the match, not counting the list's first character.
  return static_cast<int>(std::count(text.begin() + 1, text.begin() + p + 1, delimiter));
}

bool SUB::HasItem(const std::string& list, const std::string& item, bool ignoreCase, bool trim) {
  const std::string text = trim ? Trim(list) : list;
  const std::string wanted = trim ? Trim(item) : item;
  if (text.empty() || wanted.empty()) return false;
  const std::string pattern = text[0] + wanted + text[0];
  if (!ignoreCase) return text.find(pattern) != std::string::npos;
  return UpperCase(text).find(UpperCase(pattern)) != std::string::npos;
}

std::string SUB::GetValue(const std::string& list, const std::string& key,
                          const std::string& ifMissing, const std::string& ifEmpty,
                          bool collapseSpaces, bool ignoreCase) {
  return TValueList(list, collapseSpaces, ignoreCase).Get(key, ifMissing, ifEmpty);
}

TValueList::TValueList(const std::string& list, bool collapseSpaces, bool ignoreCase)
    : ignoreCase_(ignoreCase) {
  if (list.size() <= 2 || list.front() != list.back()) return;
  readable_ = true;
  delimiter_ = list[0];
  text_ = list;
  if (text_.find(' ') != std::string::npos) {
    text_ = collapseSpaces ? ReplaceRepeated(text_, " =", "=") : DropBlanksBeforeFirstEquals(text_);
  }
  if (ignoreCase_) folded_ = UpperCase(text_);
}

std::string TValueList::Get(const std::string& key, const std::string& ifMissing,
                            const std::string& ifEmpty) const {
  if (!readable_) return ifMissing;
  std::string pattern = delimiter_ + key;
  if (key.empty() || key.back() != '=' || key == "=") pattern += '=';
  const size_t p = ignoreCase_ ? folded_.find(UpperCase(pattern)) : text_.find(pattern);
  if (p == std::string::npos) return ifMissing;
  // Removing blanks may have taken the list's first character: the value
  // ends at the first character of what is left.
  const size_t start = p + pattern.size();
  size_t end = text_.find(text_[0], start);
  if (end == std::string::npos) end = text_.size();
  std::string value = text_.substr(start, end - start);
  return value.empty() ? ifEmpty : value;
}

// --- Key=value lists ------------------------------------------------------

std::string SUB::PairSide(const std::string& list, const std::string& side, bool trim) {
  const bool values = SameText(Trim(side), "R");
  std::vector<std::string> parts;
  for (const std::string& item : Items(list)) {
    const size_t eq = item.find('=');
    std::string part;
    if (values) {
      part = eq == std::string::npos ? std::string() : item.substr(eq + 1);
    } else {
      part = item.substr(0, eq);
    }
    parts.push_back(trim ? Trim(part) : part);
  }
  return BuildList(parts);
}

std::string SUB::JoinPairs(const std::string& keys, const std::string& values, bool dropEmpty) {
  const std::vector<std::string> k = Items(dropEmpty ? TrimEmptyItems(keys, true, false) : keys);
  const std::vector<std::string> v = Items(dropEmpty ? TrimEmptyItems(values, true, false) : values);
  const size_t count = std::max(k.size(), v.size());
  std::vector<std::string> pairs;
  for (size_t i = 0; i < count; ++i) {
    pairs.push_back((i < k.size() ? k[i] : "") + "=" + (i < v.size() ? v[i] : ""));
  }
  return BuildList(pairs);
}

// --- Building and editing -------------------------------------------------

std::string SUB::DeleteItem(const std::string& list, int index) {
  std::vector<std::string> items = Items(list);
  if (index < 0 || static_cast<size_t>(index) >= items.size()) return list;
  items.erase(items.begin() + index);
  return Rebuild(list[0], items);
}

std::string SUB::SetItem(const std::string& list, int index, const std::string& value) {
  if (index < 0) return list;
  const std::string text = list.empty() ? "|" : list;
  std::vector<std::string> items = Items(text);
  if (items.size() < static_cast<size_t>(index) + 1) {
    struct TGrow {
      std::vector<std::string>& items;
      size_t count;
    } grow{items, static_cast<size_t>(index) + 1};
    std::string failure;
    // An absurd index: leave the list alone.
    if (!RunGuarded([](void* c) { static_cast<TGrow*>(c)->items.resize(static_cast<TGrow*>(c)->count); }, &grow,
                    failure))
      return list;
  }
  items[index] = value;
  const char delimiter = text[0];
  if (delimiter != kNul && !AnyContains(items, delimiter)) return Rebuild(delimiter, items);
  return BuildList(items);
}

std::string SUB::ListFromArray(const std::vector<std::string>& texts, bool unique) {
  std::string list = BuildList(texts);
  return unique ? UniqueItems(list) : list;
}

std::string SUB::AddItems(const std::string& list, const std::vector<std::string>& texts,
                          bool unique) {
  if (list.empty()) return ListFromArray(texts, unique);
  const char delimiter = list[0];
  std::string out;
  if (!AnyContains(texts, delimiter)) {
    out = list;
    for (const std::string& t : texts) out += t + delimiter;
  } else {
    out = ChangeDelimiter(list, kNul);
    for (const std::string& t : texts) out += t + kNul;
    out = ChooseDelimiter(out);
  }
  return unique ? UniqueItems(out) : out;
}

std::string SUB::UniqueItems(const std::string& list, const std::string& keepList) {
  if (list.empty()) return "";
  std::set<std::string> keep;
  for (const std::string& item : Items(keepList)) keep.insert(ComparisonKey(item));
  std::set<std::string> seen;
  std::vector<std::string> result;
  for (const std::string& item : Items(list)) {
    if (item.empty()) continue;
    const std::string key = ComparisonKey(item);
    if (seen.insert(key).second || keep.count(key) != 0) result.push_back(item);
  }
  return result.empty() ? std::string() : Rebuild(list[0], result);
}

std::string SUB::TrimEmptyItems(const std::string& list, bool trailing, bool leading) {
  std::string out = list;
  // An empty item at either end is a doubled delimiter there.
  if (trailing && ItemCount(out) > 0) {
    while (out.size() >= 2 && out[out.size() - 2] == out[0]) out.pop_back();
  }
  if (leading) {
    const int count = ItemCount(out);
    int removed = 0;
    while (removed < count && out[removed + 1] == out[0]) ++removed;
    out.erase(0, removed);
  }
  return out.size() == 1 ? std::string() : out;
}

std::string SUB::ReverseList(const std::string& list) {
  std::vector<std::string> items = Items(list);
  if (items.empty()) return list;
  std::reverse(items.begin(), items.end());
  return Rebuild(list[0], items);
}

// --- Delimiters -----------------------------------------------------------

std::string SUB::ChooseDelimiter(const std::string& list) {
  if (list.empty()) return "";
  std::string out = list;
  if (out.find(kNul) == std::string::npos) std::replace(out.begin(), out.end(), list[0], kNul);
  static const char kCandidates[] = {'|', '*', '~', '^', '!', '@', '#', '$', '&', '\xFF'};
  for (char candidate : kCandidates) {
    if (out.find(candidate) == std::string::npos) {
      std::replace(out.begin(), out.end(), kNul, candidate);
      break;
    }
  }
  return out.size() == 1 ? std::string() : out;
}

std::string SUB::ChangeDelimiter(const std::string& list, char delimiter) {
  if (list.empty()) return "";
  return ReplaceChar(list, list[0], delimiter);
}

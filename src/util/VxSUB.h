// Delimited lists: one 8-bit text whose first character is the delimiter and
// whose items lie between consecutive delimiters, indexed from 0.
//
//   "|&OK|&Cancel|"  -> items "&OK", "&Cancel"
//   "||"             -> one empty item
//   "|a|b"           -> not closed: no items (the reader still finds "a")
//
// A text shorter than two characters, or whose last character differs from
// its first, has no items; counting stops at the first NUL, so a list
// delimited by NUL has none either. Empty and missing items read as the
// caller's default.
//
// Lists built here join their items with NUL and then take the first of
// "|", "*", "~", "^", "!", "@", "#", "$", "&" and byte 0xFF that occurs in
// no item (ChooseDelimiter). No operation throws or changes its input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SUB {
 public:
  // Reading.
  static int ItemCount(const std::string& list);
  // index -1 = last item. Unclosed, missing and empty items give def.
  static std::string GetItem(const std::string& list, int index, const std::string& def = "");
  static int64_t GetItemInt(const std::string& list, int index, int64_t def = 0);
  // 0-based index of the first item equal to item (beginning with it when
  // prefix is set), ignoring case; def when not found.
  static int IndexOfItem(const std::string& list, const std::string& item, bool prefix = false,
                         int def = -1);
  // delimiter + item + delimiter occurs in the list; false for empty texts.
  static bool HasItem(const std::string& list, const std::string& item, bool ignoreCase = false,
                      bool trim = false);
  // Value of the first item key=value; a key may be given with its "=".
  static std::string GetValue(const std::string& list, const std::string& key,
                              const std::string& ifMissing = "", const std::string& ifEmpty = "",
                              bool collapseSpaces = false, bool ignoreCase = true);

  // Key=value lists. side "L" = keys (text before the first "="), "R" = values.
  static std::string PairSide(const std::string& list, const std::string& side, bool trim = false);
  static std::string JoinPairs(const std::string& keys, const std::string& values,
                               bool dropEmpty = false);

  // Building and editing.
  static std::string DeleteItem(const std::string& list, int index);
  static std::string SetItem(const std::string& list, int index, const std::string& value);
  static std::string ListFromArray(const std::vector<std::string>& texts, bool unique = false);
  static std::string AddItems(const std::string& list, const std::vector<std::string>& texts,
                              bool unique = false);
  // Drops empty and repeated items (trimmed, ignoring case); items that occur
  // in keepList are kept even when repeated.
  static std::string UniqueItems(const std::string& list, const std::string& keepList = "");
  static std::string TrimEmptyItems(const std::string& list, bool trailing = true,
                                    bool leading = false);
  static std::string ReverseList(const std::string& list);

  // Delimiters.
  static std::string ChooseDelimiter(const std::string& list);
  static std::string ChangeDelimiter(const std::string& list, char delimiter);
};

// A key=value list prepared once for many SUB::GetValue lookups with the
// same flags: the blanks before "=" are dealt with and the upper-cased copy
// made when the list is prepared, not on every lookup.
class TValueList {
 public:
  TValueList() = default;
  TValueList(const std::string& list, bool collapseSpaces, bool ignoreCase);
  // What SUB::GetValue gives for the list, the key and these defaults.
  std::string Get(const std::string& key, const std::string& ifMissing = "",
                  const std::string& ifEmpty = "") const;

 private:
  bool readable_ = false;  // more than two characters, closed by its first
  bool ignoreCase_ = true;
  char delimiter_ = 0;     // the list's first character, which every key follows
  std::string text_;       // the list without the blanks before "="
  std::string folded_;     // text_ upper-cased, when ignoring case
};

// The markup conversion: plain text and bold runs.
//
// The rule is written as repeated edits of the whole text: take out the
// leftmost "<B>", then the first "</B>" if it lies behind it (a bold run),
// until no "<B>" is left; then every remaining "</B>" goes. Taking a tag out
// can join its neighbours into a new tag ("<<B>B>" leaves "<B>"), so the
// edits are kept exactly, but in one pass: the characters form a linked
// list, two cursors remember how far the text is known to hold no "<B>" and
// no "</B>", and after each removal only the few positions whose
// neighbourhood changed are looked at again.
//
// A bold run is recorded by the characters it starts and ends at, not by
// offsets, so tags removed later (a "<B>" inside an earlier run) shorten the
// run instead of leaving its end stale.
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ui/VxMsgBox.h"
#include "util/Utils.h"

namespace MsgBox {

namespace {

constexpr char kOpenTag[] = "<B>";
constexpr char kCloseTag[] = "</B>";
constexpr size_t kOpenSize = 3;
constexpr size_t kCloseSize = 4;

// The characters of a text in a doubly linked list; a character keeps its
// index in the text. Index size() is the end, size() + 1 the head before the
// first character.
class TCharList {
 public:
  explicit TCharList(const std::string& text)
      : text_(text), next_(text.size() + 2), prev_(text.size() + 2) {
    const uint32_t n = End();
    for (uint32_t i = 0; i < n; ++i) {
      next_[i] = i + 1;
      prev_[i] = i == 0 ? Head() : i - 1;
    }
    next_[Head()] = n == 0 ? n : 0;
    prev_[n] = n == 0 ? Head() : n - 1;
  }

  uint32_t End() const { return static_cast<uint32_t>(text_.size()); }
  uint32_t Head() const { return End() + 1; }
  uint32_t First() const { return next_[Head()]; }
  uint32_t Next(uint32_t i) const { return next_[i]; }
  uint32_t Prev(uint32_t i) const { return prev_[i]; }

  // The characters from i on spell tag, ignoring case.
  bool Spells(uint32_t i, const char* tag) const {
    for (; *tag != '\0'; ++tag, i = next_[i]) {
      if (i == End() || UpChar(text_[i]) != *tag) return false;
    }
    return true;
  }

  // Unlinks count characters from i on; returns the character after them.
  uint32_t Erase(uint32_t i, size_t count) {
    const uint32_t before = prev_[i];
    for (size_t k = 0; k < count && i != End(); ++k) i = next_[i];
    next_[before] = i;
    prev_[i] = before;
    return i;
  }

  // The remaining characters, and for each index the number of remaining
  // characters before it (its offset in that text, or where it was).
  std::string Remaining(std::vector<uint32_t>& offsets) const {
    std::string out;
    offsets.assign(text_.size() + 1, 0);
    uint32_t index = 0;
    for (uint32_t i = First(); i != End(); i = next_[i]) {
      while (index <= i) offsets[index++] = static_cast<uint32_t>(out.size());
      out.push_back(text_[i]);
    }
    while (index <= End()) offsets[index++] = static_cast<uint32_t>(out.size());
    return out;
  }

 private:
  const std::string& text_;
  std::vector<uint32_t> next_;
  std::vector<uint32_t> prev_;
};

// A place in the list and its offset in the current text.
struct TCursor {
  uint32_t at = 0;
  size_t offset = 0;
};

class TMarkupPass {
 public:
  explicit TMarkupPass(const std::string& text) : chars_(text) {
    open_ = {chars_.First(), 0};
    close_ = {chars_.First(), 0};
  }

  // Takes out the "<B>" tags one by one, leftmost first, with the "</B>"
  // that closes each; the characters at the ends of each bold run.
  std::vector<std::pair<uint32_t, uint32_t>> TakeOutBoldTags() {
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    while (Advance(open_, kOpenTag)) {
      const size_t p = open_.offset;
      const uint32_t start = chars_.Erase(open_.at, kOpenSize);
      Removed(p, kOpenSize, start);
      if (!Advance(close_, kCloseTag) || close_.offset <= p) continue;
      const size_t q = close_.offset;
      const uint32_t end = close_.at;
      Removed(q, kCloseSize, chars_.Erase(close_.at, kCloseSize));
      runs.emplace_back(start, end);
    }
    return runs;
  }

  // Takes out every remaining "</B>", left to right, without looking again
  // at what a removal joins.
  void TakeOutCloseTags() {
    for (uint32_t i = chars_.First(); i != chars_.End();) {
      i = chars_.Spells(i, kCloseTag) ? chars_.Erase(i, kCloseSize) : chars_.Next(i);
    }
  }

  std::string Remaining(std::vector<uint32_t>& offsets) const { return chars_.Remaining(offsets); }

 private:
  // Moves the cursor on to the next place that spells tag; false at the end.
  bool Advance(TCursor& cursor, const char* tag) const {
    while (cursor.at != chars_.End() && !chars_.Spells(cursor.at, tag)) {
      cursor.at = chars_.Next(cursor.at);
      ++cursor.offset;
    }
    return cursor.at != chars_.End();
  }

  // count characters at offset x were taken out; `after` follows them. Only
  // tags starting within a tag's length before x can be new.
  void Removed(size_t x, size_t count, uint32_t after) {
    for (TCursor* cursor : {&open_, &close_}) {
      if (cursor->offset >= x + count) {
        cursor->offset -= count;
      } else if (cursor->offset >= x) {
        *cursor = {after, x};
      }
    }
    // The open cursor is never beyond x here; new "<B>" tags can start up
    // to two places before x, so it steps back over those.
    const size_t firstNewOpen = x >= kOpenSize - 1 ? x - (kOpenSize - 1) : 0;
    while (open_.offset > firstNewOpen) open_ = {chars_.Prev(open_.at), open_.offset - 1};
    // The close cursor may be far ahead: only the up to three places before
    // x where a new "</B>" can start are looked at, and the cursor moves
    // back to the first of them that spells it.
    const size_t firstNewClose = x >= kCloseSize - 1 ? x - (kCloseSize - 1) : 0;
    if (close_.offset <= firstNewClose) return;
    TCursor c{after, x};
    while (c.offset > firstNewClose) c = {chars_.Prev(c.at), c.offset - 1};
    for (; c.offset < x && c.offset < close_.offset; c = {chars_.Next(c.at), c.offset + 1}) {
      if (chars_.Spells(c.at, kCloseTag)) {
        close_ = c;
        return;
      }
    }
  }

  TCharList chars_;
  TCursor open_;   // no "<B>" starts before it
  TCursor close_;  // no "</B>" starts before it
};

}  // namespace

TPlainText ConvertMarkup(const std::string& markup) {
  TPlainText result;
  std::string text = MarkupToPlain(markup);
  if (StartsWith("<<b>", text, true)) text.erase(0, 1);
  if (text.size() >= std::numeric_limits<uint32_t>::max() - 2) {  // beyond any message
    result.text = text;
    return result;
  }
  TMarkupPass pass(text);
  const std::vector<std::pair<uint32_t, uint32_t>> runs = pass.TakeOutBoldTags();
  pass.TakeOutCloseTags();
  std::vector<uint32_t> offsets;
  result.text = pass.Remaining(offsets);
  for (const auto& [start, end] : runs) {
    result.bold.push_back({static_cast<int>(offsets[start]), static_cast<int>(offsets[end])});
  }
  return result;
}

}  // namespace MsgBox

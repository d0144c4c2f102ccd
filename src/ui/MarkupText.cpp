#include "ui/MarkupText.h"

#include "util/Utils.h"

namespace MarkupText {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// out ends with tag (tag in upper case), compared ignoring case.
bool EndsWithTag(const std::string& out, const char* tag, size_t length) {
  if (out.size() < length) return false;
  for (size_t i = 0; i < length; ++i)
    if (Upper(out[out.size() - length + i]) != tag[i]) return false;
  return true;
}

}  // namespace

std::string StripMarkup(const std::string& markup) {
  std::string text = ReplaceText(markup, "\\n", "\r\n");
  text = ReplaceText(text, "\\t", "\t");
  text = ReplaceTextCI(text, "<P>", "\r\n");
  text = ReplaceTextCI(text, "<T>", "\t");
  if (StartsWith("<<b>", text, true)) text.erase(0, 1);
  // One pass: a tag is dropped as soon as its ">" arrives, so a tag that
  // forms around a dropped one goes too.
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c != '>') continue;
    if (EndsWithTag(out, "<B>", 3)) {
      out.resize(out.size() - 3);
    } else if (EndsWithTag(out, "</B>", 4)) {
      out.resize(out.size() - 4);
    }
  }
  return out;
}

std::string OneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool gap = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      gap = !out.empty();
      continue;
    }
    if (gap) out += ' ';
    gap = false;
    out += c;
  }
  return out;
}

}  // namespace MarkupText

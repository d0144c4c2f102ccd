#include "package/PackBuildText.h"

#include <cstdio>

namespace PackText {

namespace {

struct TCharsetPage {
  int charset;
  int codePage;
};

// GDI character sets and the ANSI code page of each.
constexpr TCharsetPage kCharsetPages[] = {
    {0, 1252},   {238, 1250}, {204, 1251}, {161, 1253}, {162, 1254}, {177, 1255}, {178, 1256},
    {186, 1257}, {163, 1258}, {222, 874},  {128, 932},  {134, 936},  {129, 949},  {136, 950},
};

std::string CodePointText(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof(text), "U+%04X", static_cast<unsigned>(c));
  return text;
}

}  // namespace

bool IsSupportedCodePage(int codePage) {
  for (const TCharsetPage& entry : kCharsetPages)
    if (entry.codePage == codePage) return true;
  return false;
}

std::string SupportedCodePagesText() { return "874, 932, 936, 949, 950 and 1250 to 1258"; }

int CodePageOfCharset(int charset, int fallback) {
  if (charset == 1) return fallback;
  for (const TCharsetPage& entry : kCharsetPages)
    if (entry.charset == charset) return entry.codePage;
  return 0;
}

int CharsetOfCodePage(int codePage) {
  for (const TCharsetPage& entry : kCharsetPages)
    if (entry.codePage == codePage) return entry.charset;
  return 1;
}

bool IsLeadByteOf(int codePage, unsigned char byte) {
  switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
  }
}

bool DecodeUtf8(const std::string& text, std::u32string& out) {
  out.clear();
  for (size_t i = 0; i < text.size();) {
    const unsigned char first = static_cast<unsigned char>(text[i]);
    int length = 0;
    char32_t c = 0, minimum = 0;
    if (first < 0x80) {
      length = 1, c = first;
    } else if ((first & 0xE0) == 0xC0) {
      length = 2, c = first & 0x1F, minimum = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
      length = 3, c = first & 0x0F, minimum = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
      length = 4, c = first & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(length) > text.size()) return false;
    for (int k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out += c;
    i += static_cast<size_t>(length);
  }
  return true;
}

std::string EncodeUtf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

bool ToCodePage(const std::string& utf8, int codePage, const std::string& forbidden, std::string& out,
                std::string& problem) {
  out.clear();
  problem.clear();
  if (IsAscii(utf8)) {  // the same bytes in every supported code page
    out = utf8;
    return true;
  }
  if (!IsSupportedCodePage(codePage)) {
    problem = "code page " + std::to_string(codePage) + " is not supported (use " + SupportedCodePagesText() + ")";
    return false;
  }
  std::u32string chars;
  if (!DecodeUtf8(utf8, chars)) {
    problem = "is not UTF-8 text";
    return false;
  }
  const std::string page = " code page " + std::to_string(codePage);
  std::string bytes;
  for (char32_t c : chars) {
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    const std::string shown = "\"" + EncodeUtf8(c) + "\" (" + CodePointText(c) + ")";
    if (!packtext_platform::EncodeChar(c, codePage, bytes) || bytes.empty()) {
      problem = shown + " has no form in" + page;
      return false;
    }
    if (bytes.size() > 1) {
      const size_t at = bytes.find_first_of(forbidden);
      if (at != std::string::npos) {
        problem = shown + " is written in" + page + " with a \"" + std::string(1, bytes[at]) +
                  "\" byte, which the stub would take as a separator";
        return false;
      }
    }
    out += bytes;
  }
  return true;
}

std::string FromCodePage(const std::string& bytes, int codePage) {
  if (IsAscii(bytes)) return bytes;
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    const size_t length = IsLeadByteOf(codePage, byte) && i + 1 < bytes.size() ? 2 : 1;
    char32_t c = 0;
    if (!IsSupportedCodePage(codePage) || !packtext_platform::DecodeChar(bytes.substr(i, length), codePage, c))
      c = 0xFFFD;
    out += EncodeUtf8(c);
    i += length;
  }
  return out;
}

}  // namespace PackText

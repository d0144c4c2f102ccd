// Names and texts of a package in the stub's 8-bit code page.
//
// The stub opens files and shows texts through the ANSI functions of
// Windows, which read bytes in the system's code page. The builder takes
// names and texts as UTF-8 and stores them in the package's code page
// (Windows-1252 unless told otherwise); a character that the code page
// cannot represent is refused, never replaced. The conversion of single
// characters is a platform primitive (glibc iconv on POSIX, the Windows code
// page tables on Windows); everything else here is portable.
#pragma once

#include <string>

namespace PackText {

constexpr int kDefaultCodePage = 1252;

// The Windows ANSI code pages a package can be written in: 874, 932, 936,
// 949, 950 and 1250 to 1258.
bool IsSupportedCodePage(int codePage);
std::string SupportedCodePagesText();

// Code page of a font character set as the languages file gives it
// (`Charset`, the GDI character set numbers: 0 Western, 204 Cyrillic, 128
// Japanese, ...); 1 (the default character set) gives `fallback`; 0 when
// the character set has no code page here.
int CodePageOfCharset(int charset, int fallback);
// The character set to write for a code page (1252 -> 0, 1251 -> 204, ...).
int CharsetOfCodePage(int codePage);

// Bytes that must not stand inside a double-byte character of the result:
// the stub splits names at "\" and lists at their delimiter byte by byte.
inline constexpr char kNameSeparators[] = "\\|";
inline constexpr char kListSeparators[] = "|";

// Converts UTF-8 text to the code page. False with `problem` set (for
// example "\"Ж\" (U+0416) has no form in code page 1252") when the text is
// not UTF-8, holds a character the code page lacks, or a double-byte
// character whose form holds one of `forbidden`.
bool ToCodePage(const std::string& utf8, int codePage, const std::string& forbidden, std::string& out,
                std::string& problem);
// Code page bytes as UTF-8, for showing them; a byte sequence without a
// character becomes U+FFFD.
std::string FromCodePage(const std::string& bytes, int codePage);

// Strict UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool DecodeUtf8(const std::string& text, std::u32string& out);
std::string EncodeUtf8(char32_t c);
// True when the text is plain ASCII (the same bytes in every code page).
bool IsAscii(const std::string& text);
// First byte of a double-byte character in that code page.
bool IsLeadByteOf(int codePage, unsigned char byte);

}  // namespace PackText

// Platform primitives (PackBuild_posix.cpp, PackBuild_win32.cpp).
namespace packtext_platform {
// The code page form of one character (not ASCII); false when it has none.
bool EncodeChar(char32_t c, int codePage, std::string& bytes);
// The character of one code page byte sequence (one or two bytes); false when none.
bool DecodeChar(const std::string& bytes, int codePage, char32_t& c);
}  // namespace packtext_platform

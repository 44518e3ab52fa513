// Owned text and byte buffers and the small text operations every subsystem
// shares. Text is UTF-16 (char16_t) everywhere inside the program; case folding
// is limited to ASCII A-Z on purpose, so results never depend on the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

using WideBuffer = std::u16string;
using ByteBuffer = std::vector<uint8_t>;

// Paths and other texts that must be unique without regard to ASCII case,
// newest first.
using StringList = std::forward_list<WideBuffer>;

// A null text reads as "" everywhere.
inline std::u16string_view TextView(const char16_t* text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

char16_t FoldAscii(char16_t c);

int CompareNoCase(std::u16string_view a, std::u16string_view b);
int CompareExact(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix);
bool ContainsNoCase(std::u16string_view text, std::u16string_view needle);

// The text as EqualsNoCase compares it: A-Z folded, nothing else. Texts it
// finds equal fold to the same text, so a hash table of folded texts finds
// them at once.
WideBuffer FoldedText(std::u16string_view text);

size_t WideLength(const char16_t* text);
size_t ByteLength(const char* text);

// UTF-8 <-> UTF-16 as the system's CP_UTF8 conversion does without flags:
// ill-formed input never fails, each maximal ill-formed subsequence (or lone
// surrogate) becomes U+FFFD.
WideBuffer Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(std::u16string_view text);

// Appends one code point (up to U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// Writes 2n lowercase hexadecimal digits.
std::string HexLower(const uint8_t* bytes, size_t n);

// buf = dir, a "\" if dir is non-empty, does not end in "\" and name is
// non-empty, then name. Only "\" counts as a separator.
void PathJoin(WideBuffer& buf, std::u16string_view dir, std::u16string_view name);

// The text before path's last "\", or "" when it has none.
WideBuffer FolderOfPath(std::u16string_view path);

// Not empty and only the digits 0-9 (no sign, no other scripts' digits).
bool IsDecimalDigits(std::u16string_view text);

// Appends a space and value in double quotes, doubling the backslashes at the
// end of value so that they do not escape the closing quote.
void AppendQuotedArgument(WideBuffer& buf, std::u16string_view value);

// Adds a copy of text at the front unless an item equal to it without regard
// to ASCII case is already there.
void StringListAddUnique(StringList& list, std::u16string_view text);

// Adds many texts to one list as StringListAddUnique does, each at a cost
// that does not grow with the list (a product's list holds thousands of
// files). Nothing else may change the list while the adder lives.
class StringListAdder {
public:
    explicit StringListAdder(StringList& list);
    void Add(std::u16string_view text);

private:
    StringList& list_;
    std::unordered_set<WideBuffer> folded_;
};

// Comparison, conversion and joining helpers over UTF-16 text.
#include "base/text.h"

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

static int CompareUnits(std::u16string_view a, std::u16string_view b, bool fold) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int ca = fold ? FoldAscii(a[i]) : a[i];
        int cb = fold ? FoldAscii(b[i]) : b[i];
        if (ca != cb) return ca - cb;
    }
    // The shorter text compares as if followed by its terminating 0.
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -static_cast<int>(fold ? FoldAscii(b[n]) : b[n])
                               : static_cast<int>(fold ? FoldAscii(a[n]) : a[n]);
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) { return CompareUnits(a, b, true); }
int CompareExact(std::u16string_view a, std::u16string_view b) { return CompareUnits(a, b, false); }

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool ContainsNoCase(std::u16string_view text, std::u16string_view needle) {
    if (needle.empty() || text.size() < needle.size()) return false;
    for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
        if (EqualsNoCase(text.substr(i, needle.size()), needle)) return true;
    }
    return false;
}

size_t WideLength(const char16_t* text) { return TextView(text).size(); }
size_t ByteLength(const char* text) { return text ? std::string_view(text).size() : 0; }

// Decodes one UTF-8 sequence at bytes[i]. Returns the code point, or -1 for an
// ill-formed subsequence; *used is the length of the sequence or of the maximal
// ill-formed subpart (at least 1), as Unicode recommends for replacement.
static long DecodeUtf8At(std::string_view bytes, size_t i, size_t* used) {
    uint8_t b0 = static_cast<uint8_t>(bytes[i]);
    *used = 1;
    if (b0 < 0x80) return b0;
    size_t need;
    long cp;
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1; cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2; cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;       // overlong
        if (b0 == 0xED) hi = 0x9F;       // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3; cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;       // overlong
        if (b0 == 0xF4) hi = 0x8F;       // above U+10FFFF
    } else {
        return -1;
    }
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= bytes.size()) return -1;
        uint8_t b = static_cast<uint8_t>(bytes[i + k]);
        uint8_t min = (k == 1) ? lo : 0x80, max = (k == 1) ? hi : 0xBF;
        if (b < min || b > max) return -1;
        cp = (cp << 6) | (b & 0x3F);
        *used = k + 1;
    }
    return cp;
}

WideBuffer Utf8ToWide(std::string_view bytes) {
    WideBuffer out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        size_t used;
        long cp = DecodeUtf8At(bytes, i, &used);
        i += used;
        if (cp < 0) {
            out.push_back(0xFFFD);
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string WideToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // lone surrogate
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string HexLower(const uint8_t* bytes, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 15]);
    }
    return out;
}

void PathJoin(WideBuffer& buf, std::u16string_view dir, std::u16string_view name) {
    buf.assign(dir);
    if (!buf.empty() && buf.back() != u'\\' && !name.empty()) buf.push_back(u'\\');
    buf.append(name);
}

WideBuffer FolderOfPath(std::u16string_view path) {
    size_t slash = path.rfind(u'\\');
    return WideBuffer(slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash));
}

bool IsDecimalDigits(std::u16string_view text) {
    if (text.empty()) return false;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

void AppendQuotedArgument(WideBuffer& buf, std::u16string_view value) {
    buf.append(u" \"");
    buf.append(value);
    for (size_t i = value.size(); i > 0 && value[i - 1] == u'\\'; --i) buf.push_back(u'\\');
    buf.push_back(u'"');
}

WideBuffer FoldedText(std::u16string_view text) {
    WideBuffer folded(text);
    for (char16_t& c : folded) c = FoldAscii(c);
    return folded;
}

StringListAdder::StringListAdder(StringList& list) : list_(list) {
    for (const WideBuffer& item : list_) folded_.insert(FoldedText(item));
}

void StringListAdder::Add(std::u16string_view text) {
    if (folded_.insert(FoldedText(text)).second) list_.emplace_front(text);
}

void StringListAddUnique(StringList& list, std::u16string_view text) {
    for (const WideBuffer& item : list) {
        if (EqualsNoCase(item, text)) return;
    }
    list.emplace_front(text);
}

#include "catalog/json_reader.h"

#include <cstring>
#include <string>

namespace {

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsScalarEnd(char c) { return IsJsonSpace(c) || c == ',' || c == ']' || c == '}'; }

// Past the closing quote of the string at position, or the length when the
// string is not terminated.
size_t StringEnd(const char* buffer, size_t length, size_t position) {
    JsonStringExtent extent;
    return JsonScanString(buffer, length, position, &extent) ? extent.after : length;
}

size_t ContainerEnd(const char* buffer, size_t length, size_t position) {
    const char open = buffer[position];
    const char close = open == '{' ? '}' : ']';
    size_t depth = 0;
    size_t i = position;
    while (i < length) {
        char c = buffer[i];
        if (c == '"') {
            i = StringEnd(buffer, length, i);
            continue;
        }
        if (c == open) {
            ++depth;
        } else if (c == close && --depth == 0) {
            return i + 1;
        }
        ++i;
    }
    return length;
}

struct MemberSearch {
    const char* buffer;
    size_t length;
    const char* key;
    size_t keyLength;
    JsonSpan result;
};

bool SearchContainer(MemberSearch& s, size_t position, int depth);

// Searches the value at [start, end) when it is a container.
bool SearchValue(MemberSearch& s, size_t start, size_t end, int depth) {
    if (end <= start) return false;
    char c = s.buffer[start];
    return (c == '{' || c == '[') && SearchContainer(s, start, depth);
}

bool SearchObject(MemberSearch& s, size_t position, int depth) {
    while (position < s.length) {
        char c = s.buffer[position];
        if (c == '}') return false;
        if (c == ',') {
            position = JsonSkipSpaces(s.buffer, s.length, position + 1);
            continue;
        }
        JsonStringExtent key;
        if (!JsonScanString(s.buffer, s.length, position, &key)) return false;
        size_t colon = JsonSkipSpaces(s.buffer, s.length, key.after);
        if (colon >= s.length || s.buffer[colon] != ':') return false;
        size_t valueStart = JsonSkipSpaces(s.buffer, s.length, colon + 1);
        size_t valueEnd = JsonValueEnd(s.buffer, s.length, valueStart);
        size_t keyLength = key.closing - key.content;
        if (keyLength == s.keyLength && std::memcmp(s.buffer + key.content, s.key, keyLength) == 0) {
            s.result.start = s.buffer + valueStart;
            s.result.length = static_cast<uint32_t>(valueEnd - valueStart);
            s.result.found = true;
            return true;
        }
        if (SearchValue(s, valueStart, valueEnd, depth + 1)) return true;
        position = JsonSkipSpaces(s.buffer, s.length, valueEnd);
    }
    return false;
}

bool SearchArray(MemberSearch& s, size_t position, int depth) {
    while (position < s.length) {
        char c = s.buffer[position];
        if (c == ']') return false;
        if (c == ',') {
            position = JsonSkipSpaces(s.buffer, s.length, position + 1);
            continue;
        }
        size_t end = JsonValueEnd(s.buffer, s.length, position);
        // An element that occupies no bytes ("[1}") would be met again forever.
        if (end == position) return false;
        if (SearchValue(s, position, end, depth + 1)) return true;
        position = JsonSkipSpaces(s.buffer, s.length, end);
    }
    return false;
}

bool SearchContainer(MemberSearch& s, size_t position, int depth) {
    if (depth > kJsonMaxSearchDepth) return false;
    bool isObject = s.buffer[position] == '{';
    position = JsonSkipSpaces(s.buffer, s.length, position + 1);
    return isObject ? SearchObject(s, position, depth) : SearchArray(s, position, depth);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads "\uXXXX" hex digits at text[i..i+3], all before end.
bool ReadHex4(const char* text, size_t i, size_t end, uint32_t* value) {
    if (i + 4 > end) return false;
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) {
        int h = HexValue(text[i + k]);
        if (h < 0) return false;
        v = v * 16 + static_cast<uint32_t>(h);
    }
    *value = v;
    return true;
}

// One "\u" escape starting at text[i] (the backslash); i moves past it.
bool DecodeUnicodeEscape(const char* text, size_t& i, size_t end, std::string& out) {
    uint32_t high;
    if (!ReadHex4(text, i + 2, end, &high) || high == 0) return false;
    i += 6;
    if (high >= 0xDC00 && high <= 0xDFFF) return false;
    if (high < 0xD800 || high > 0xDBFF) {
        AppendUtf8(out, high);
        return true;
    }
    uint32_t low;
    if (i + 1 >= end || text[i] != '\\' || text[i + 1] != 'u') return false;
    if (!ReadHex4(text, i + 2, end, &low) || low < 0xDC00 || low > 0xDFFF) return false;
    i += 6;
    AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
    return true;
}

// The byte an escape letter stands for; 0 when the letter is not an escape.
char SimpleEscape(char letter) {
    switch (letter) {
    case '"': return '"';
    case '/': return '/';
    case '\\': return '\\';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return 0;
    }
}

}  // namespace

size_t JsonSkipSpaces(const char* buffer, size_t length, size_t position) {
    while (position < length && IsJsonSpace(buffer[position])) ++position;
    return position < length ? position : length;
}

bool JsonScanString(const char* buffer, size_t length, size_t position, JsonStringExtent* extent) {
    if (!buffer || position >= length || buffer[position] != '"') return false;
    size_t i = position + 1;
    while (i < length) {
        if (buffer[i] == '\\') {
            i += 2;
            continue;
        }
        if (buffer[i] == '"') {
            extent->content = position + 1;
            extent->closing = i;
            extent->after = i + 1;
            return true;
        }
        ++i;
    }
    return false;
}

size_t JsonValueEnd(const char* buffer, size_t length, size_t position) {
    if (!buffer) return length;
    size_t i = JsonSkipSpaces(buffer, length, position);
    if (i >= length) return length;
    char c = buffer[i];
    if (c == '"') return StringEnd(buffer, length, i);
    if (c == '{' || c == '[') return ContainerEnd(buffer, length, i);
    while (i < length && !IsScalarEnd(buffer[i])) ++i;
    return i;
}

JsonSpan JsonFindMember(const char* buffer, size_t length, const char* key) {
    MemberSearch s{buffer, length, key, 0, JsonSpan{}};
    if (!buffer || length == 0 || !key) return s.result;
    s.keyLength = std::strlen(key);
    size_t start = JsonSkipSpaces(buffer, length, 0);
    if (start < length && (buffer[start] == '{' || buffer[start] == '[')) SearchContainer(s, start, 0);
    return s.result;
}

bool JsonUnescapeString(const char* text, size_t length, WideBuffer& destination) {
    if (!text || length < 2 || text[0] != '"' || text[length - 1] != '"') return false;
    const size_t end = length - 1;  // the closing quote
    std::string utf8;
    utf8.reserve(length);
    for (size_t i = 1; i < end;) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == '"') return false;
        if (c != '\\') {
            utf8.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (i + 1 >= end) return false;
        char e = text[i + 1];
        if (e == 'u') {
            if (!DecodeUnicodeEscape(text, i, end, utf8)) return false;
            continue;
        }
        char byte = SimpleEscape(e);
        if (byte == 0) return false;
        utf8.push_back(byte);
        i += 2;
    }
    destination = Utf8ToWide(utf8);
    return true;
}

bool JsonGetString(const char* buffer, size_t length, const char* key, WideBuffer& destination) {
    JsonSpan span = JsonFindMember(buffer, length, key);
    return span.found && JsonUnescapeString(span.start, span.length, destination);
}

bool JsonParseInt64(const char* text, size_t length, int64_t& destination) {
    if (!text || length == 0) return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    constexpr uint64_t kLimit = 922337203685477580ull;
    uint64_t magnitude = 0;
    size_t firstDigit = i;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (magnitude > kLimit || (magnitude == kLimit && digit > (negative ? 8u : 7u))) return false;
        magnitude = magnitude * 10 + digit;
    }
    if (i == firstDigit) return false;
    destination = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool JsonGetInt64(const char* buffer, size_t length, const char* key, int64_t& destination) {
    JsonSpan span = JsonFindMember(buffer, length, key);
    return span.found && JsonParseInt64(span.start, span.length, destination);
}

bool JsonForEachArrayElement(const char* array, size_t length, JsonElementCallback callback, void* context) {
    if (!array || length < 2 || array[0] != '[') return false;
    size_t position = 1;
    for (;;) {
        position = JsonSkipSpaces(array, length, position);
        if (position >= length) return false;
        char c = array[position];
        if (c == ']') return true;
        if (c == ',') {
            ++position;
            continue;
        }
        size_t end = JsonValueEnd(array, length, position);
        // A "}" where an element should be occupies no bytes: not an array.
        if (end == position) return false;
        if (!callback(array + position, end - position, context)) return false;
        position = end;
    }
}

bool JsonForEachElement(const char* buffer, size_t length, const char* key, JsonElementCallback callback,
                        void* context) {
    JsonSpan span = JsonFindMember(buffer, length, key);
    return span.found && JsonForEachArrayElement(span.start, span.length, callback, context);
}

// A stateless JSON reader over UTF-8 bytes. It builds no tree: each getter
// rescans the span it is given, finds a member by its key depth-first, and
// converts only that value. Lenient about structure, strict about strings, and
// it never reads at or past the given length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"

struct JsonSpan {
    const char* start = nullptr;  // into the searched buffer; null when not found
    uint32_t length = 0;
    bool found = false;
};

// Containers deeper than this (the outermost is depth 0) are not searched.
constexpr int kJsonMaxSearchDepth = 32;

size_t JsonSkipSpaces(const char* buffer, size_t length, size_t position);

struct JsonStringExtent {
    size_t content;  // first byte after the opening quote
    size_t closing;  // the closing quote
    size_t after;    // just past the closing quote
};
bool JsonScanString(const char* buffer, size_t length, size_t position, JsonStringExtent* extent);

// Just past the value that starts at the first non-space byte at or after
// position; an unterminated value runs to the end of the buffer.
size_t JsonValueEnd(const char* buffer, size_t length, size_t position);

// The first member named key (compared byte for byte, escapes not decoded) in
// document order, at any depth up to the limit.
JsonSpan JsonFindMember(const char* buffer, size_t length, const char* key);

// Converts a quoted string's text; destination is replaced only on success.
bool JsonUnescapeString(const char* text, size_t length, WideBuffer& destination);

bool JsonGetString(const char* buffer, size_t length, const char* key, WideBuffer& destination);
bool JsonGetInt64(const char* buffer, size_t length, const char* key, int64_t& destination);

// Reads an optionally signed decimal integer at the start of text (trailing
// bytes ignored), with exact signed 64-bit bounds.
bool JsonParseInt64(const char* text, size_t length, int64_t& destination);

// Calls callback once per element of the array named key; true when every
// element was accepted and the closing bracket was reached.
using JsonElementCallback = bool (*)(const char* element, size_t length, void* context);
bool JsonForEachElement(const char* buffer, size_t length, const char* key, JsonElementCallback callback,
                        void* context);

// The same walk over an array's own text (which must start with "[").
bool JsonForEachArrayElement(const char* array, size_t length, JsonElementCallback callback, void* context);

// The program's own printf-like formatter. Arguments are captured with their
// types, so a conversion can never read memory that was not passed: a missing
// or mismatched argument prints as 0 or "(null)" instead.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "base/text.h"

struct FormatArg {
    enum Kind { kNone, kSigned, kUnsigned, kWide, kUtf8 };
    Kind kind = kNone;
    uint64_t bits = 0;  // integers, two's complement for kSigned
    const char16_t* wide = nullptr;
    const char* utf8 = nullptr;
};

inline FormatArg MakeFormatArg(const char16_t* s) { FormatArg a; a.kind = FormatArg::kWide; a.wide = s; return a; }
inline FormatArg MakeFormatArg(const std::u16string& s) { return MakeFormatArg(s.c_str()); }
inline FormatArg MakeFormatArg(const char* s) { FormatArg a; a.kind = FormatArg::kUtf8; a.utf8 = s; return a; }
inline FormatArg MakeFormatArg(const std::string& s) { return MakeFormatArg(s.c_str()); }
inline FormatArg MakeFormatArg(std::nullptr_t) { return FormatArg{}; }

template <typename T, typename = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
FormatArg MakeFormatArg(T value) {
    FormatArg a;
    using U = std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::common_type<T>>;
    using V = typename U::type;
    a.kind = std::is_signed_v<V> ? FormatArg::kSigned : FormatArg::kUnsigned;
    a.bits = std::is_signed_v<V> ? static_cast<uint64_t>(static_cast<int64_t>(value))
                                 : static_cast<uint64_t>(value);
    return a;
}

// Appends to buf (it does not clear first). Returns false when the format
// could not be completed.
bool TextFormatArgs(WideBuffer& buf, const char16_t* format, const FormatArg* args, size_t count);

template <typename... Args>
bool TextFormat(WideBuffer& buf, const char16_t* format, const Args&... args) {
    const FormatArg list[sizeof...(Args) + 1] = {MakeFormatArg(args)..., FormatArg{}};
    return TextFormatArgs(buf, format, list, sizeof...(Args));
}

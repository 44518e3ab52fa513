// Walks the format one code unit at a time; conversions are %% %s %S %c %d %i
// %u %x %X, with an optional "0<digits>" width and an "I64" size prefix.
#include "base/text_format.h"

namespace {

constexpr size_t kMaxPadding = 24;

const FormatArg* NextArg(const FormatArg* args, size_t count, size_t* index) {
    static const FormatArg kMissing;
    return (*index < count) ? &args[(*index)++] : &kMissing;
}

void AppendNumber(WideBuffer& buf, uint64_t magnitude, bool negative, unsigned base,
                  bool upper, size_t width) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char16_t tmp[24];
    size_t n = 0;
    do {
        tmp[n++] = static_cast<char16_t>(digits[magnitude % base]);
        magnitude /= base;
    } while (magnitude != 0);
    if (negative) buf.push_back(u'-');
    if (width > kMaxPadding) width = kMaxPadding;
    for (size_t i = n; i < width; ++i) buf.push_back(u'0');
    while (n > 0) buf.push_back(tmp[--n]);
}

// The value as the conversion sees it: 32-bit conversions take the low 32 bits.
uint64_t ArgBits(const FormatArg& arg, bool is64) {
    uint64_t bits = (arg.kind == FormatArg::kSigned || arg.kind == FormatArg::kUnsigned) ? arg.bits : 0;
    return is64 ? bits : (bits & 0xFFFFFFFFu);
}

}  // namespace

namespace {

void FormatInto(WideBuffer& buf, const char16_t* format, const FormatArg* args, size_t count) {
    size_t next = 0;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            buf.push_back(*p);
            continue;
        }
        ++p;
        if (!*p) break;
        size_t width = 0;
        if (*p == u'0') {
            ++p;
            while (*p >= u'0' && *p <= u'9') {
                if (width < 1000) width = width * 10 + (*p - u'0');
                ++p;
            }
            if (!*p) break;
        }
        bool is64 = false;
        if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
            is64 = true;
            p += 3;
            if (!*p) break;
        }
        switch (*p) {
        case u'%':
            buf.push_back(u'%');
            break;
        case u's': {
            const FormatArg* a = NextArg(args, count, &next);
            if (a->kind == FormatArg::kWide && a->wide) buf.append(a->wide);
            else buf.append(u"(null)");
            break;
        }
        case u'S': {
            const FormatArg* a = NextArg(args, count, &next);
            if (a->kind == FormatArg::kUtf8 && a->utf8) buf.append(Utf8ToWide(a->utf8));
            else buf.append(u"(null)");
            break;
        }
        case u'c':
            buf.push_back(static_cast<char16_t>(ArgBits(*NextArg(args, count, &next), false) & 0xFFFF));
            break;
        case u'd':
        case u'i': {
            uint64_t bits = ArgBits(*NextArg(args, count, &next), is64);
            int64_t value = is64 ? static_cast<int64_t>(bits)
                                 : static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(bits)));
            uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
            AppendNumber(buf, magnitude, value < 0, 10, false, width);
            break;
        }
        case u'u':
            AppendNumber(buf, ArgBits(*NextArg(args, count, &next), is64), false, 10, false, width);
            break;
        case u'x':
        case u'X':
            AppendNumber(buf, ArgBits(*NextArg(args, count, &next), is64), false, 16, *p == u'X', width);
            break;
        default:
            buf.push_back(u'%');
            buf.push_back(*p);
            break;
        }
    }
}

}  // namespace

bool TextFormatArgs(WideBuffer& buf, const char16_t* format, const FormatArg* args, size_t count) {
    if (!format) return true;
    // An argument may point into buf itself; appending to buf while reading it
    // would read freed memory once buf grows.
    WideBuffer formatted;
    FormatInto(formatted, format, args, count);
    buf.append(formatted);
    return true;
}

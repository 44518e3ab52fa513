#include "catalog/json_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// The document in a heap block of exactly its size, not terminated, so that
// AddressSanitizer faults on any read at or past the end.
class Doc {
public:
    explicit Doc(const std::string& text) : size_(text.size()), bytes_(new char[text.size() ? text.size() : 1]) {
        std::copy(text.begin(), text.end(), bytes_.get());
    }
    const char* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

    // The member's value text, or "<none>".
    std::string Find(const char* key) const {
        JsonSpan span = JsonFindMember(data(), size(), key);
        return span.found ? std::string(span.start, span.length) : "<none>";
    }

private:
    size_t size_;
    std::unique_ptr<char[]> bytes_;
};

std::string Nested(int levels, const std::string& inner) {
    return std::string(levels, '[') + inner + std::string(levels, ']');
}

TEST(JsonFindMember, DocumentOrderAtAnyDepth) {
    struct Case { const char* doc; const char* key; const char* expected; };
    const Case cases[] = {
        {R"({"a":{"b":1},"b":2})", "b", "1"},             // inner member comes first
        {R"([{"k":"x"}])", "k", "\"x\""},                 // arrays are searched
        {R"({"a":1,"a":2})", "a", "1"},
        {R"({"a\u0062":1,"ab":2})", "ab", "2"},           // escapes in keys are not decoded
        {R"({"AB":1})", "ab", "<none>"},                  // case-sensitive
        {R"({"a": })", "a", ""},                          // found, empty span
        {R"({"a":1,,"b":2})", "b", "2"},                  // extra commas
        {R"({"a":1 "b":2})", "b", "2"},                   // missing comma
        {R"(  {"a" :  [1, 2] })", "a", "[1, 2]"},
        {R"({"a":"}{\"b\":1"})", "b", "<none>"},          // brackets inside strings do not count
        {R"({"x":"a\"b","b":true})", "b", "true"},
        {"\xEF\xBB\xBF{\"a\":1}", "a", "<none>"},         // a byte-order mark is not whitespace
        {R"("a")", "a", "<none>"},                        // scalar documents have no members
        {R"(17)", "a", "<none>"},
        {"\f{\"a\":1}", "a", "<none>"},                   // form feed is not whitespace
        {R"({"a":1})", "", "<none>"},
        {R"({"":5})", "", "5"},
        {R"({"o":{1:2},"b":3})", "b", "3"},               // a bad inner object ends only itself
        {R"({"o":{"x" 2},"b":3})", "b", "3"},             // missing colon inside
        {R"({1:2,"b":3})", "b", "<none>"},                // ... but ends the outer object when there
        {R"({"a":[1}],"b":2})", "b", "2"},                // "[1}": the array ends, the object goes on
        {R"({"a":"unterminated)", "a", "\"unterminated"},
        {R"({"a":{"b":[1,{"c":7}]})", "c", "7"},          // unbalanced outer: still found inside
        {"{\"a\":1,\"b\":\t\r\n2}", "b", "2"},
        {R"({"n":-12.5e3,"b":0})", "n", "-12.5e3"},
    };
    for (const Case& c : cases) EXPECT_EQ(Doc(c.doc).Find(c.key), c.expected) << c.doc;
}

TEST(JsonFindMember, EmptyOrAbsentInput) {
    EXPECT_FALSE(JsonFindMember(nullptr, 10, "a").found);
    EXPECT_FALSE(JsonFindMember("{\"a\":1}", 0, "a").found);
    EXPECT_FALSE(JsonFindMember("{\"a\":1}", 7, nullptr).found);
    // Only the given length is read: the member lies past it.
    EXPECT_FALSE(JsonFindMember("{\"b\":2} {\"a\":1}", 7, "a").found);
}

TEST(JsonFindMember, DepthLimit) {
    // 33 enclosing containers: the innermost object is at depth 32.
    EXPECT_EQ(Doc(Nested(32, R"({"k":1})")).Find("k"), "1");
    // 34: at depth 33, not entered.
    EXPECT_EQ(Doc(Nested(33, R"({"k":1})")).Find("k"), "<none>");
    // A too-deep container does not hide a later sibling at a shallower depth.
    EXPECT_EQ(Doc("{\"deep\":" + Nested(40, R"({"k":1})") + R"(,"k":2})").Find("k"), "2");
    // The value extent has no depth limit: a deep value is skipped whole.
    std::string deep = Nested(5000, "");
    EXPECT_EQ(Doc("{\"a\":" + deep + ",\"b\":3}").Find("b"), "3");
}

TEST(JsonFindMember, ArrayWithBraceEnds) {
    // "[1}" must terminate; the search reports nothing for it.
    EXPECT_EQ(Doc("[1}").Find("a"), "<none>");
    EXPECT_EQ(Doc("[}").Find("a"), "<none>");
    EXPECT_EQ(Doc("{\"a\":[}]}").Find("a"), "[}]");
}

TEST(JsonValueEnd, Extents) {
    struct Case { const char* text; size_t start; size_t expected; };
    const Case cases[] = {
        {"  \"ab\" ,", 0, 6},
        {"\"a\\\"b\"x", 0, 6},
        {"\"open", 0, 5},
        {"{[}]} x", 0, 3},        // only braces count for an object: [ and ] are ignored
        {"[{]}] x", 0, 3},
        {"{\"}\":1}z", 0, 7},
        {"{{}", 0, 3},            // unbalanced: to the end
        {"123,4", 0, 3},
        {"true}", 0, 4},
        {",", 0, 0},              // an empty scalar
        {"   ", 0, 3},
        {"a b", 2, 3},
    };
    for (const Case& c : cases) {
        Doc d(c.text);
        EXPECT_EQ(JsonValueEnd(d.data(), d.size(), c.start), c.expected) << c.text;
    }
}

TEST(JsonScanString, Extent) {
    JsonStringExtent e;
    Doc d(R"(x"a\"b"y)");
    EXPECT_FALSE(JsonScanString(d.data(), d.size(), 0, &e));
    ASSERT_TRUE(JsonScanString(d.data(), d.size(), 1, &e));
    EXPECT_EQ(e.content, 2u);
    EXPECT_EQ(e.closing, 6u);
    EXPECT_EQ(e.after, 7u);
    Doc open("\"ab\\");  // a backslash as the last byte
    EXPECT_FALSE(JsonScanString(open.data(), open.size(), 0, &e));
    EXPECT_FALSE(JsonScanString(d.data(), d.size(), d.size(), &e));
    EXPECT_EQ(JsonSkipSpaces(" \t\r\n", 4, 0), 4u);
    EXPECT_EQ(JsonSkipSpaces(" \v", 2, 0), 1u);
}

TEST(JsonUnescapeString, AcceptsValidStrings) {
    struct Case { const char* json; std::u16string expected; };
    const Case cases[] = {
        {R"("")", u""},
        {R"("\u00e9")", u"é"},
        {R"("\ud83d\ude00")", u"\U0001F600"},
        {R"("\uD83D\uDE00")", u"\U0001F600"},
        {R"("\"\/\\\b\f\n\r\t")", u"\"/\\\b\f\n\r\t"},
        {"\"\xE8\xBD\xAF\xE4\xBB\xB6\"", u"软件"},
        {R"("\u4e2d\u6587")", u"中文"},
        {"\"a\x7F\"", u"a\x7F"},
    };
    for (const Case& c : cases) {
        Doc d(c.json);
        WideBuffer out = u"old";
        ASSERT_TRUE(JsonUnescapeString(d.data(), d.size(), out)) << c.json;
        EXPECT_EQ(out, c.expected) << c.json;
    }
}

TEST(JsonUnescapeString, RefusesAndLeavesDestination) {
    const char* cases[] = {
        R"("\ud83d")",          // high surrogate alone
        R"("\ud83dx")",
        R"("\ud83d\u0041")",    // high followed by a non-low
        R"("\ude00")",          // low alone
        R"("\u0000")",
        R"("\x41")",
        "\"a\tb\"",             // raw control character
        "\"\x01\"",
        R"("a\")",              // backslash just before the closing quote
        R"("\u12")",            // hex digits run into the closing quote
        R"("\u12g4")",
        R"("\ud83d\ude0")",
        R"("a"b")",             // unescaped quote inside
        R"(")",                 // one byte
        R"(abc)",
        R"("abc)",
        R"('a')",
    };
    for (const char* json : cases) {
        Doc d(json);
        WideBuffer out = u"keep";
        EXPECT_FALSE(JsonUnescapeString(d.data(), d.size(), out)) << json;
        EXPECT_EQ(out, u"keep") << json;
    }
}

TEST(JsonGetString, OnlyStringValues) {
    Doc d(R"({"s":"x","n":5,"o":{},"a":[],"t":true,"z":null,"e":})");
    WideBuffer out = u"keep";
    EXPECT_TRUE(JsonGetString(d.data(), d.size(), "s", out));
    EXPECT_EQ(out, u"x");
    for (const char* key : {"n", "o", "a", "t", "z", "e", "missing"}) {
        out = u"keep";
        EXPECT_FALSE(JsonGetString(d.data(), d.size(), key, out)) << key;
        EXPECT_EQ(out, u"keep");
    }
}

TEST(JsonGetInt64, Bounds) {
    struct Case { const char* value; bool ok; int64_t expected; };
    const Case cases[] = {
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"18446744073709551616", false, 0},
        {"+7", true, 7},
        {"-0", true, 0},
        {"007", true, 7},
        {"-", false, 0},
        {"+", false, 0},
        {"--1", false, 0},
        {"12abc", true, 12},
        {"12.5", true, 12},
        {"1e3", true, 1},
        {"\"5\"", false, 0},
        {"", false, 0},
        {"true", false, 0},
    };
    for (const Case& c : cases) {
        Doc d(std::string("{\"v\":") + c.value + "}");
        int64_t out = 42;
        EXPECT_EQ(JsonGetInt64(d.data(), d.size(), "v", out), c.ok) << c.value;
        EXPECT_EQ(out, c.ok ? c.expected : 42) << c.value;
    }
    int64_t out = 0;
    Doc atEnd("{\"v\":123");  // digits running into the end of the buffer
    EXPECT_TRUE(JsonGetInt64(atEnd.data(), atEnd.size(), "v", out));
    EXPECT_EQ(out, 123);
}

struct Collected {
    std::vector<std::string> elements;
    size_t stopAfter = SIZE_MAX;
};

bool Collect(const char* element, size_t length, void* context) {
    auto* c = static_cast<Collected*>(context);
    c->elements.emplace_back(element, length);
    return c->elements.size() < c->stopAfter;
}

TEST(JsonForEachElement, Walk) {
    struct Case { const char* doc; bool ok; std::vector<std::string> elements; };
    const Case cases[] = {
        {R"({"a":[1, "x,y" ,{"b":[2]}, [3]]})", true, {"1", "\"x,y\"", "{\"b\":[2]}", "[3]"}},
        {R"({"a":[]})", true, {}},
        {R"({"a":[,,1,,]})", true, {"1"}},
        {R"({"a":[1 2]})", true, {"1", "2"}},
        {R"({"a":[1,2)", false, {"1", "2"}},   // no closing bracket
        {R"({"a":[1}]})", false, {"1"}},       // a "}" where an element should be
        {R"({"a":{}})", false, {}},
        {R"({"a":"[1]"})", false, {}},
        {R"({"a":[})", false, {}},
        {R"({"b":[1]})", false, {}},
    };
    for (const Case& c : cases) {
        Doc d(c.doc);
        Collected got;
        EXPECT_EQ(JsonForEachElement(d.data(), d.size(), "a", Collect, &got), c.ok) << c.doc;
        EXPECT_EQ(got.elements, c.elements) << c.doc;
    }
}

TEST(JsonForEachElement, CallbackStops) {
    Doc d(R"({"a":[1,2,3]})");
    Collected got;
    got.stopAfter = 2;
    EXPECT_FALSE(JsonForEachElement(d.data(), d.size(), "a", Collect, &got));
    EXPECT_EQ(got.elements.size(), 2u);
}

}  // namespace

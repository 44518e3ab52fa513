#include "catalog/http_win.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/handles_win.h"
#include "catalog/http.h"
#include "vendor_server_win.h"

namespace {

const std::u16string kCancelled = u"软件目录请求已取消。";
const std::u16string kTooLarge = u"软件目录响应超过大小限制或内存不足。";

bool Get(const std::u16string& target, ByteBuffer& body, WideBuffer& error, HANDLE cancel = nullptr) {
    return HttpGetToMemory(ServerUrl(target), body, cancel, &error);
}

TEST(HttpRequestTarget, PathAndQuery) {
    UrlParts parts;
    ASSERT_TRUE(CrackHttpUrl(u"https://host.example", parts));
    EXPECT_EQ(parts.target, u"/");
    EXPECT_TRUE(parts.secure);
    EXPECT_EQ(parts.port, 443);
    ASSERT_TRUE(CrackHttpUrl(u"https://host.example/a?b=1", parts));
    EXPECT_EQ(parts.target, u"/a?b=1");
    ASSERT_TRUE(CrackHttpUrl(u"http://h:8080/%41?x=%5E", parts));
    EXPECT_EQ(parts.host, u"h");
    EXPECT_EQ(parts.port, 8080);
    EXPECT_EQ(parts.target, u"/%41?x=%5E");  // nothing is decoded
    EXPECT_FALSE(parts.secure);
}

TEST(HttpGetToMemory, SendsPathQueryAndUserAgentToTheExplicitPort) {
    ServerRules rules(u"ua", R"({"/ua-check": {"body": "hello"}})");
    ByteBuffer body;
    WideBuffer error;
    ASSERT_TRUE(Get(u"/ua-check?a=1&b=%5E", body, error)) << WideToUtf8(error);
    EXPECT_EQ(std::string(body.begin(), body.end()), "hello");
    auto requests = RequestsTo(u"/ua-check", u"a=1&b=%5E");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, u"GET");
    EXPECT_EQ(requests[0].userAgent, u"TwParcelwright/1.0");

    // No path at all asks for "/" (which the server does not have).
    EXPECT_FALSE(HttpGetToMemory(kVendorOrigin, body, nullptr, &error));
    EXPECT_EQ(error, u"服务器返回 HTTP 404。");
    EXPECT_FALSE(RequestsTo(u"/", u"").empty());
}

TEST(HttpGetToMemory, StatusCodes) {
    ServerRules rules(u"status", R"({"/status/204": {"status": 204, "body": ""},
        "/status/299": {"status": 299, "body": "x"},
        "/status/404": {"status": 404, "body": "gone"},
        "/status/500": {"status": 500, "body": "oops"},
        "/status/300": {"status": 300, "body": "choices"}})");
    struct Case { const char16_t* target; bool ok; const char16_t* error; };
    const Case cases[] = {
        {u"/status/204", true, u""},
        {u"/status/299", true, u""},
        {u"/status/404", false, u"服务器返回 HTTP 404。"},
        {u"/status/500", false, u"服务器返回 HTTP 500。"},
        {u"/status/300", false, u"服务器返回 HTTP 300。"},
        {u"/no-such-file", false, u"服务器返回 HTTP 404。"},
    };
    for (const Case& c : cases) {
        ByteBuffer body;
        WideBuffer error;
        EXPECT_EQ(Get(c.target, body, error), c.ok) << WideToUtf8(c.target);
        EXPECT_EQ(error, c.error) << WideToUtf8(c.target);
    }
}

TEST(HttpGetToMemory, RefusesOtherSchemesWithoutConnecting) {
    for (const char16_t* url : {u"ftp://127.0.0.1:18480/ftp-check", u"file:///C:/x", u"https://", u"127.0.0.1/x"}) {
        ByteBuffer body;
        WideBuffer error;
        EXPECT_FALSE(HttpGetToMemory(url, body, nullptr, &error));
        EXPECT_EQ(error, u"下载地址不是有效 HTTP/HTTPS 地址。");
    }
    EXPECT_TRUE(RequestsTo(u"/ftp-check", u"").empty());
}

TEST(HttpGetToMemory, SizeCapIsExactlyEightMebibytes) {
    ServerRules rules(u"cap", R"({"/cap/exact": {"body_size": 8388608}, "/cap/over": {"body_size": 8388609},
        "/cap/over-no-length": {"body_size": 8388609, "content_length": "none"}})");
    ByteBuffer body;
    WideBuffer error;
    ASSERT_TRUE(Get(u"/cap/exact", body, error)) << WideToUtf8(error);
    EXPECT_EQ(body.size(), 8388608u);
    EXPECT_EQ(body[1], 7);  // the server's pattern, not zeros
    for (const char16_t* target : {u"/cap/over", u"/cap/over-no-length"}) {
        body.clear();
        EXPECT_FALSE(Get(target, body, error));
        EXPECT_EQ(error, kTooLarge);
    }
    // The cap counts what the caller's buffer already held.
    body.assign(10, 0);
    EXPECT_FALSE(Get(u"/cap/exact", body, error));
    EXPECT_EQ(error, kTooLarge);
}

TEST(HttpGetToMemory, AppendsToTheResult) {
    ServerRules rules(u"append", R"({"/append": {"body": "tail"}})");
    ByteBuffer body{'h', 'e', 'a', 'd'};
    WideBuffer error;
    ASSERT_TRUE(Get(u"/append", body, error));
    EXPECT_EQ(std::string(body.begin(), body.end()), "headtail");
}

TEST(HttpGetToMemory, CancelBeforeAndDuringTheBody) {
    ServerRules rules(u"cancel", R"({"/cancel/small": {"body": "complete"},
        "/cancel/slow": {"body_size": 1048576, "chunk": 16384, "delay_ms": 50}})");
    UniqueHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    ByteBuffer body;
    WideBuffer error;
    // Already signalled: even a complete small body counts as cancelled.
    EXPECT_FALSE(Get(u"/cancel/small", body, error, event.get()));
    EXPECT_EQ(error, kCancelled);

    ResetEvent(event.get());
    body.clear();
    std::thread canceller([&] {
        Sleep(300);
        SetEvent(event.get());
    });
    DWORD started = GetTickCount();
    EXPECT_FALSE(Get(u"/cancel/slow", body, error, event.get()));
    canceller.join();
    EXPECT_EQ(error, kCancelled);
    EXPECT_LT(body.size(), 1048576u);     // stopped part-way
    EXPECT_LT(GetTickCount() - started, 2500u);  // well before the 3.2 s the body takes
}

TEST(HttpGetToMemory, BodyCutShortIsAReadFailure) {
    // Wine's WinHTTP reports the early close as a normal end of the body; the
    // announced length still tells the transfer apart from a complete one.
    ServerRules rules(u"cut", R"({"/cut": {"body_size": 100000, "cut_after": 5000},
        "/cut/unannounced": {"body_size": 100000, "cut_after": 5000, "content_length": "none"}})");
    ByteBuffer body;
    WideBuffer error;
    EXPECT_FALSE(Get(u"/cut", body, error));
    EXPECT_EQ(error.rfind(u"读取软件目录响应失败（错误 12030）", 0), 0u) << WideToUtf8(error);
    // Without a length the end of the connection is the end of the body.
    body.clear();
    error.clear();
    EXPECT_TRUE(Get(u"/cut/unannounced", body, error));
    EXPECT_EQ(body.size(), 5000u);
}

TEST(HttpGetToMemory, RedirectWithinPlainHttpIsFollowed) {
    ServerRules rules(u"redirect", R"({"/redirect/from": {"status": 302, "location": "/redirect/to"},
        "/redirect/to": {"body": "arrived"}})");
    ByteBuffer body;
    WideBuffer error;
    ASSERT_TRUE(Get(u"/redirect/from", body, error)) << WideToUtf8(error);
    EXPECT_EQ(std::string(body.begin(), body.end()), "arrived");
}

TEST(HttpOpenGet, FollowsEveryRedirectWhenAsked) {
    ServerRules rules(u"open", R"({"/open/from": {"status": 301, "location": "/open/to"},
        "/open/to": {"body": "x"}})");
    HttpRequest request;
    WideBuffer error;
    ASSERT_TRUE(HttpOpenGet(ServerUrl(u"/open/from"), request, error, true)) << WideToUtf8(error);
    EXPECT_TRUE(request.request);
    HttpClose(request);
    EXPECT_FALSE(request.request);
    EXPECT_FALSE(request.connection);
    EXPECT_FALSE(request.session);
}

TEST(HttpOpenGet, NoServerGivesTheNetworkMessage) {
    HttpRequest request;
    WideBuffer error;
    // Port 9 (discard) on loopback has no listener here.
    EXPECT_FALSE(HttpOpenGet(u"http://127.0.0.1:9/x", request, error, false));
    EXPECT_EQ(error.rfind(u"网络连接或 TLS 失败（错误 ", 0), 0u) << WideToUtf8(error);
    EXPECT_FALSE(request.session);
}

TEST(HttpLimits, FitsLimit) {
    EXPECT_TRUE(FitsLimit(0, kMemoryBodyLimit, kMemoryBodyLimit));
    EXPECT_FALSE(FitsLimit(1, kMemoryBodyLimit, kMemoryBodyLimit));
    EXPECT_TRUE(FitsLimit(kMemoryBodyLimit, 0, kMemoryBodyLimit));
    EXPECT_FALSE(FitsLimit(kMemoryBodyLimit + 1, 0, kMemoryBodyLimit));
    EXPECT_FALSE(FitsLimit(5, SIZE_MAX, kMemoryBodyLimit));  // no wrap-around
}

}  // namespace

#include "catalog/http_win.h"

#include <vector>

#include "base/memory.h"
#include "base/system_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"
#include "catalog/http.h"
#include "catalog/product.h"

namespace {

bool Fail(HttpRequest& request, WideBuffer& error, std::u16string_view prefix, DWORD code) {
    FormatSystemError(error, prefix, code);
    HttpClose(request);
    return false;
}

void ConfigureSession(HINTERNET session) {
    // Failures here are harmless: the platform defaults still work.
    WinHttpSetTimeouts(session, 15000, 15000, 30000, 30000);
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                      WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
}

bool ReadStatusCode(HINTERNET request, DWORD& status) {
    DWORD size = sizeof(status);
    return WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
}

}  // namespace

bool CrackHttpUrl(const WideBuffer& url, UrlParts& parts) {
    URL_COMPONENTS c = {};
    c.dwStructSize = sizeof(c);
    c.dwSchemeLength = static_cast<DWORD>(-1);
    c.dwHostNameLength = static_cast<DWORD>(-1);
    c.dwUrlPathLength = static_cast<DWORD>(-1);
    c.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(W(url), static_cast<DWORD>(url.size()), 0, &c)) return false;
    parts.secure = c.nScheme == INTERNET_SCHEME_HTTPS;
    parts.host.assign(U(c.lpszHostName), c.dwHostNameLength);
    parts.port = c.nPort;
    parts.target = RequestTarget(std::u16string_view(U(c.lpszUrlPath), c.dwUrlPathLength),
                                 std::u16string_view(U(c.lpszExtraInfo), c.dwExtraInfoLength));
    return true;
}

void HttpClose(HttpRequest& request) {
    request.request.reset();
    request.connection.reset();
    request.session.reset();
}

bool HttpOpenGet(const WideBuffer& url, HttpRequest& request, WideBuffer& error, bool followEveryRedirect) {
    HttpClose(request);
    if (!IsHttpUrl(url)) {
        error = u"下载地址不是有效 HTTP/HTTPS 地址。";
        return false;
    }
    UrlParts parts;
    if (!CrackHttpUrl(url, parts)) return Fail(request, error, u"下载地址解析失败", GetLastError());

    const char16_t* kNetworkFailure = u"网络连接或 TLS 失败";
    request.session.reset(WinHttpOpen(W(kUserAgent), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (!request.session) return Fail(request, error, kNetworkFailure, GetLastError());
    ConfigureSession(request.session.get());
    request.connection.reset(WinHttpConnect(request.session.get(), W(parts.host), parts.port, 0));
    if (!request.connection) return Fail(request, error, kNetworkFailure, GetLastError());
    request.request.reset(WinHttpOpenRequest(request.connection.get(), L"GET", W(parts.target), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             parts.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request.request) return Fail(request, error, kNetworkFailure, GetLastError());
    if (followEveryRedirect) {
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
        if (!WinHttpSetOption(request.request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy))) {
            return Fail(request, error, u"无法启用安装包下载重定向", GetLastError());
        }
    }
    if (!WinHttpSendRequest(request.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0) ||
        !WinHttpReceiveResponse(request.request.get(), nullptr)) {
        return Fail(request, error, kNetworkFailure, GetLastError());
    }
    DWORD status = 0;
    if (!ReadStatusCode(request.request.get(), status) || status < 200 || status > 299) {
        error.clear();
        TextFormat(error, u"服务器返回 HTTP %u。", static_cast<uint32_t>(status));
        HttpClose(request);
        return false;
    }
    return true;
}

bool HttpQueryRawHeader(const HttpRequest& request, DWORD query, WideBuffer& value, size_t maxUnits) {
    std::vector<wchar_t> buffer(maxUnits + 1, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request.request.get(), query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return false;
    }
    value.assign(U(buffer.data()), size / sizeof(wchar_t));
    return true;
}

bool HttpGetToMemory(const WideBuffer& url, ByteBuffer& result, HANDLE cancelEvent, WideBuffer* error) {
    HttpRequest request;
    WideBuffer message;
    if (!HttpOpenGet(url, request, message, false)) {
        if (error) *error = message;
        return false;
    }
    WideBuffer lengthText;
    const bool announced = HttpQueryRawHeader(request, WINHTTP_QUERY_CONTENT_LENGTH, lengthText, 96);
    const uint64_t expected = ParseContentLength(lengthText);
    const size_t before = result.size();
    std::vector<uint8_t> piece;
    bool ok = TryResize(piece, kMemoryReadPiece);
    if (!ok) message = u"无法分配软件目录响应缓冲区。";
    while (ok && !IsCancelled(cancelEvent)) {
        DWORD got = 0;
        if (!WinHttpReadData(request.request.get(), piece.data(), kMemoryReadPiece, &got)) {
            FormatSystemError(message, u"读取软件目录响应失败", GetLastError());
            ok = false;
        } else if (got == 0) {
            // A connection closed before the announced length is a broken
            // transfer, not a short body (not every WinHTTP reports it).
            if (announced && result.size() - before < expected) {
                FormatSystemError(message, u"读取软件目录响应失败", ERROR_WINHTTP_CONNECTION_ERROR);
                ok = false;
            }
            break;
        } else if (!FitsLimit(result.size(), got, kMemoryBodyLimit) ||
                   !TryAppend(result, piece.begin(), piece.begin() + got)) {
            message = u"软件目录响应超过大小限制或内存不足。";
            ok = false;
        }
    }
    // A cancel counts even when the body happened to be complete.
    if (IsCancelled(cancelEvent)) {
        message = u"软件目录请求已取消。";
        ok = false;
    }
    HttpClose(request);
    if (error && !message.empty()) *error = message;
    return ok;
}

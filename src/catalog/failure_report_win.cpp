#include "catalog/failure_report_win.h"

#include <vector>

#include "base/handles_win.h"
#include "base/wide_win.h"
#include "catalog/http.h"
#include "catalog/http_win.h"

namespace {

constexpr DWORD kReportTimeoutMs = 10000;
constexpr size_t kAnswerLimit = 65536;
constexpr DWORD kAnswerPiece = 4096;

// Reads and drops the answer; the server's reply is not interpreted.
void DrainAnswer(HINTERNET request) {
    uint8_t piece[kAnswerPiece];
    size_t held = 0;
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(request, piece, kAnswerPiece, &got) || got == 0) return;
        if (!FitsLimit(held, got, kAnswerLimit)) return;
        held += got;
    }
}

}  // namespace

void ReportFailure(const ProductEntry& product) {
    std::string body = FailureReportBody(product.puc_type, product.failure_kind);
    if (body.empty()) return;
    UrlParts parts;
    if (!CrackHttpUrl(FailureReportUrl(), parts)) return;

    HttpRequest http;
    http.session.reset(WinHttpOpen(W(kUserAgent), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0));
    if (!http.session) return;
    WinHttpSetTimeouts(http.session.get(), kReportTimeoutMs, kReportTimeoutMs, kReportTimeoutMs, kReportTimeoutMs);
    http.connection.reset(WinHttpConnect(http.session.get(), W(parts.host), parts.port, 0));
    if (!http.connection) return;
    http.request.reset(WinHttpOpenRequest(http.connection.get(), L"POST", W(parts.target), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          parts.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!http.request) return;

    const wchar_t kHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
    if (!WinHttpSendRequest(http.request.get(), kHeader, static_cast<DWORD>(-1L), &body[0],
                            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(http.request.get(), nullptr)) {
        return;
    }
    DWORD status = 0, size = sizeof(status);
    if (!WinHttpQueryHeaders(http.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX) ||
        status < 200 || status > 299) {
        return;
    }
    DrainAnswer(http.request.get());
}

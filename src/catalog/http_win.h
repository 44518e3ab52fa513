// HTTP transfers over WinHTTP: no proxy ever, fixed time-outs, TLS 1.0-1.2,
// one session per transfer.
#pragma once

#include <windows.h>

#include "base/handles_win.h"
#include "base/text.h"

struct HttpRequest {
    UniqueInternet session;
    UniqueInternet connection;
    UniqueInternet request;
};

// Sends a GET and checks for a 2xx answer; on false every handle is closed and
// error holds the reason.
bool HttpOpenGet(const WideBuffer& url, HttpRequest& request, WideBuffer& error, bool followEveryRedirect);

// The whole body, appended to result (at most 8 MiB in all).
bool HttpGetToMemory(const WideBuffer& url, ByteBuffer& result, HANDLE cancelEvent, WideBuffer* error);

void HttpClose(HttpRequest& request);

// A response header's raw text (for example WINHTTP_QUERY_CONTENT_LENGTH), at
// most maxUnits long; false when absent.
bool HttpQueryRawHeader(const HttpRequest& request, DWORD query, WideBuffer& value, size_t maxUnits);

// The parts of an http or https URL, undecoded.
struct UrlParts {
    bool secure = false;
    WideBuffer host;
    INTERNET_PORT port = 0;
    WideBuffer target;  // path and query, "/" when empty
};
bool CrackHttpUrl(const WideBuffer& url, UrlParts& parts);

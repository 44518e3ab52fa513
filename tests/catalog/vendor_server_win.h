// The loopback vendor server from the tests' side: addresses on it, per-test
// misbehaviour rules, and the requests it recorded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/deployment.h"
#include "base/file_win.h"
#include "base/text.h"
#include "catalog/json_reader.h"

inline WideBuffer ServerUrl(std::u16string_view target) { return WideBuffer(kVendorOrigin) + WideBuffer(target); }

// The server's folder as this (Wine) process sees it.
inline WideBuffer ServerRoot() {
    WideBuffer root = u"Z:" + Utf8ToWide(TW_TEST_SERVER_ROOT);
    for (char16_t& c : root) {
        if (c == u'/') c = u'\\';
    }
    return root;
}

inline WideBuffer ServerFile(std::u16string_view name) { return ServerRoot() + u"\\" + WideBuffer(name); }

// Rules (a JSON object keyed by request target) for as long as this lives.
class ServerRules {
public:
    ServerRules(std::u16string_view name, const std::string& json)
        : path_(ServerFile(u"rules-" + WideBuffer(name) + u".json")) {
        WriteWholeFile(path_, json.data(), json.size());
    }
    ~ServerRules() { DeleteFileW(reinterpret_cast<const wchar_t*>(path_.c_str())); }
    ServerRules(const ServerRules&) = delete;
    ServerRules& operator=(const ServerRules&) = delete;

private:
    WideBuffer path_;
};

// The catalog has one fixed address on the server: tests that answer it take
// this lock, so that two running side by side never serve each other's catalog.
class CatalogAddressLock {
public:
    CatalogAddressLock() : mutex_(CreateMutexW(nullptr, FALSE, L"TwTestCatalogAddress")) {
        WaitForSingleObject(mutex_, INFINITE);
    }
    ~CatalogAddressLock() {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    CatalogAddressLock(const CatalogAddressLock&) = delete;
    CatalogAddressLock& operator=(const CatalogAddressLock&) = delete;

private:
    HANDLE mutex_;
};

struct RecordedRequest {
    WideBuffer method, path, query, body, userAgent, contentType;
};

// Every recorded request whose path and query are as given.
inline std::vector<RecordedRequest> RequestsTo(std::u16string_view path, std::u16string_view query) {
    std::vector<RecordedRequest> found;
    ByteBuffer log;
    if (!ReadWholeFile(ServerFile(u"requests.log"), log)) return found;
    std::string text(log.begin(), log.end());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const char* line = text.data() + start;
        size_t n = end - start;
        RecordedRequest r;
        JsonGetString(line, n, "path", r.path);
        JsonGetString(line, n, "query", r.query);
        if (r.path == path && r.query == query) {
            JsonGetString(line, n, "method", r.method);
            JsonGetString(line, n, "body", r.body);
            JsonGetString(line, n, "User-Agent", r.userAgent);
            JsonGetString(line, n, "Content-Type", r.contentType);
            found.push_back(r);
        }
        start = end + 1;
    }
    return found;
}

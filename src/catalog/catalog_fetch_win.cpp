#include "catalog/catalog_fetch_win.h"

#include "catalog/catalog_load.h"
#include "catalog/http.h"
#include "catalog/http_win.h"

bool FetchCatalog(AppState& app, StatusCallback callback, void* context, HANDLE cancelEvent) {
    ByteBuffer body;
    WideBuffer error;
    if (!HttpGetToMemory(CatalogUrl(), body, cancelEvent, &error)) {
        // The user hears about the network; the log keeps the transfer's own reason.
        app.catalog.catalogError = u"无法获取软件目录，请检查网络后重试（安装器不使用代理）。";
        LogLine(u"[Parcelwright] 软件目录请求失败：%s", error.empty() ? WideBuffer(u"未知网络错误") : error);
        return false;
    }
    if (!LoadCatalogDocument(app, reinterpret_cast<const char*>(body.data()), body.size())) return false;
    ReportStatus(nullptr, u"软件目录加载完成。", callback, context);
    return true;
}

// "parcelwright catalog check": the program's catalog load on a file, as it
// would run after downloading it, printed as one JSON object.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "catalog/catalog.h"
#include "catalog/catalog_load.h"
#include "catalog/product.h"
#include "commands.h"
#include "startup/app_state.h"
#include "startup/command_line.h"

namespace {

const char kCheckUsage[] =
    "usage: parcelwright catalog check FILE [--filter N] [--locked] [--preferred N] [--os CODE]\n"
    "                                  [--mode install|uninstall|update]\n"
    "  --filter N     product number given with --puctype (or by a tw_setup_o<N> file name)\n"
    "  --locked       the filter came from the file name\n"
    "  --preferred N  product number of a tw_setup_<N> file name\n"
    "  --os CODE      running Windows: 0 unknown, 1 7, 2 8, 3 8.1, 4 10 (default), 5 11, 6 server\n"
    "  --mode M       operation used for eligibility (default install)\n";

struct CheckOptions {
    std::string file;
    uint32_t filter = 0;
    bool locked = false;
    uint32_t preferred = 0;
    int os = kWindows10;
    int mode = kModeInstall;
};

bool ParseNumber(const std::string& text, uint32_t& value) {
    return ParseProductNumber(Utf8ToWide(text), value);
}

bool ParseCheckOptions(const std::vector<std::string>& args, CheckOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--locked") {
            o.locked = true;
        } else if (a == "--filter" && hasValue) {
            if (!ParseNumber(args[++i], o.filter)) return false;
        } else if (a == "--preferred" && hasValue) {
            if (!ParseNumber(args[++i], o.preferred)) return false;
        } else if (a == "--os" && hasValue) {
            const std::string& v = args[++i];
            if (v.size() != 1 || v[0] < '0' || v[0] > '6') return false;
            o.os = v[0] - '0';
        } else if (a == "--mode" && hasValue) {
            const std::string& v = args[++i];
            if (v == "install") o.mode = kModeInstall;
            else if (v == "uninstall") o.mode = kModeUninstall;
            else if (v == "update") o.mode = kModeUpdate;
            else return false;
        } else if (o.file.empty() && !a.empty() && a.compare(0, 2, "--") != 0) {
            o.file = a;
        } else {
            return false;
        }
    }
    // A locked product is always a filtered one.
    return !o.file.empty() && (!o.locked || o.filter != 0);
}

void AppendJsonString(std::string& out, std::u16string_view text) {
    out.push_back('"');
    for (char c : WideToUtf8(text)) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", u);
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

struct JsonObjectWriter {
    std::string& out;
    bool first = true;
    void Key(const char* name) {
        if (!first) out.push_back(',');
        first = false;
        out.push_back('"');
        out += name;
        out += "\":";
    }
    void Text(const char* name, const WideBuffer& value) { Key(name); AppendJsonString(out, value); }
    void Flag(const char* name, bool value) { Key(name); out += value ? "true" : "false"; }
    void Number(const char* name, long long value) { Key(name); out += std::to_string(value); }
};

void AppendProduct(std::string& out, const ProductEntry& p, int mode) {
    out.push_back('{');
    JsonObjectWriter w{out};
    w.Text("puc_type", p.puc_type);
    w.Text("puc_name", p.puc_name);
    w.Text("version", p.version);
    w.Key("order");
    out += p.has_order ? std::to_string(p.order) : "null";
    w.Text("support_os", p.support_os);
    w.Flag("os_supported", p.os_supported);
    w.Number("env_mask", p.env_mask);
    w.Text("runname", p.runname);
    w.Text("run_arguments", p.run_arguments);
    w.Flag("has_package", p.has_package);
    w.Flag("has_home_page", p.has_home_page);
    w.Flag("selected", p.selected);
    w.Flag("eligible", IsEligible(p, mode));
    w.Text("status_text", p.status_text);
    w.Text("home_url", p.home_url);
    w.Text("icon", p.icon);
    w.Text("download_url", p.download_url);
    w.Text("download_sha256", p.download_sha256);
    w.Text("update_description", p.update_description);
    w.Text("error_url", p.error_url);
    w.Text("complete_url", p.complete_url);
    out.push_back('}');
}

}  // namespace

int RunCatalogCheck(const std::vector<std::string>& arguments) {
    CheckOptions o;
    std::string body;
    if (!ParseCheckOptions(arguments, o)) {
        std::fputs(kCheckUsage, stderr);
        return kToolUsage;
    }
    if (!ReadFileBytes(o.file, body)) {
        std::fprintf(stderr, "parcelwright: cannot read %s\n", o.file.c_str());
        std::fputs(kCheckUsage, stderr);
        return kToolUsage;
    }
    auto app = std::make_unique<AppState>();
    app->productFilter = o.filter;
    app->productLocked = o.locked;
    app->preferredProduct = o.preferred;
    app->operationMode = o.mode;
    app->windowsVersion = {static_cast<WindowsVersionCode>(o.os), true};
    CatalogReset(app->catalog);
    bool ok = LoadCatalogDocument(*app, body.data(), body.size());

    std::string out = "{";
    if (!ok) {
        out += "\"error\":";
        AppendJsonString(out, app->catalog.catalogError);
        out += ",";
    }
    out += "\"products\":[";
    for (int i = 0; i < app->catalog.productCount; ++i) {
        if (i) out.push_back(',');
        AppendProduct(out, app->catalog.products[i], o.mode);
    }
    out += "]}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return ok ? kToolOk : kToolFailed;
}

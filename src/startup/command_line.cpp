#include "startup/command_line.h"

const char16_t kProgramCaption[] = u"Tarnwick软件下载";
const char16_t kUsageText[] =
    u"用法：tw_setup.exe [--puctype 编号] [--path 安装目录]\n--puctype 只显示并安装指定产品。\n--path 指定安装根目录。";
const char16_t kInvalidArgumentsText[] =
    u"命令行参数无效。\n用法：tw_setup.exe [--puctype 编号] [--path 安装目录]";

bool ParseProductNumber(std::u16string_view text, uint32_t& value) {
    constexpr uint32_t kMax = 2147483646;
    if (text.empty()) return false;
    uint32_t result = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        uint32_t digit = c - u'0';
        if (result > (kMax - digit) / 10) return false;
        result = result * 10 + digit;
    }
    if (result == 0) return false;
    value = result;
    return true;
}

void ApplyExecutableName(AppState& app, std::u16string_view modulePath) {
    std::u16string_view name = modulePath;
    if (EndsWithNoCase(name, u".exe")) name.remove_suffix(4);
    size_t slash = name.find_last_of(u"\\/");
    if (slash != std::u16string_view::npos) name.remove_prefix(slash + 1);

    const bool locked = StartsWithNoCase(name, u"tw_setup_o");
    std::u16string_view prefix = locked ? u"tw_setup_o" : u"tw_setup_";
    uint32_t number = 0;
    if (!StartsWithNoCase(name, prefix) || !ParseProductNumber(name.substr(prefix.size()), number)) {
        return;
    }
    if (locked) {
        app.productFilter = number;
        app.productLocked = true;
    } else {
        app.preferredProduct = number;
    }
}

namespace {

bool AcceptProduct(AppState& app, std::u16string_view value) {
    uint32_t number = 0;
    if (!ParseProductNumber(value, number)) return false;
    if (app.productLocked && number != app.productFilter) return false;
    app.productFilter = number;
    return true;
}

bool AcceptPath(AppState& app, std::u16string_view value) {
    if (value.empty()) return false;
    app.pathArgument.assign(value);
    return true;
}

}  // namespace

CommandLineResult ApplyArguments(AppState& app, const std::vector<WideBuffer>& arguments) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::u16string_view arg = arguments[i];
        bool ok;
        if (EqualsNoCase(arg, u"--puctype") || EqualsNoCase(arg, u"--path")) {
            if (i + 1 >= arguments.size()) return CommandLineResult::kInvalid;
            std::u16string_view value = arguments[++i];
            ok = EqualsNoCase(arg, u"--path") ? AcceptPath(app, value) : AcceptProduct(app, value);
        } else if (EqualsNoCase(arg, u"--help") || EqualsNoCase(arg, u"-h")) {
            return CommandLineResult::kHelp;
        } else if (StartsWithNoCase(arg, u"--puctype=")) {
            ok = AcceptProduct(app, arg.substr(10));
        } else if (StartsWithNoCase(arg, u"--path=")) {
            ok = AcceptPath(app, arg.substr(7));
        } else {
            ok = false;
        }
        if (!ok) return CommandLineResult::kInvalid;
    }
    return CommandLineResult::kStart;
}

#include "UiStrings.h"

#include "UiTheme.h"

namespace UiStrings {
namespace {

using Row = wchar_t[100];

const Row kMessageEn[kMessageRows] = {
    L"Install", L"Server Link Fail", L"The Local is latest version", L"Install Success",
    L"Orvane Star", L"Install Success", L" Fail", L"Open", L"Error Code:", L"Updating file...",
    L"Updating, please wait...",
};
const Row kMessageHant[kMessageRows] = {
    L"安裝", L"服務器連接斷開", L"已經是最新版本", L"安裝成功", L"嵐帆", L"安裝成功",
    L"失敗", L"打開", L"錯誤碼:", L"正在更新文件...", L"更新中，請稍後...",
};
const Row kMessageHans[kMessageRows] = {
    L"安装", L"服务器连接断开", L"已经是最新版本", L"安装成功", L"岚帆", L"安装成功",
    L"失败", L"打开", L"错误码:", L"正在更新文件...", L"更新中，请稍后...",
};

const Row kStepEn[kStepRows] = {
    L"Download install-statistics",
    L"Download front-end dependency library",
    L"Download service dependency library",
    L"Download configuration file",
    L"Download runtime library",
    L"Download Quant runtime library",
    L"Install front-end dependency library",
    L"Install service dependency library",
    L"Install configuration file",
    L"Install runtime library",
    L"Install Quant Runtime Library",
    L"Delete install files",
    L"Save version information",
    L"Delete backup files",
};
const Row kStepHant[kStepRows] = {
    L"下載安裝統計信息", L"下載前端依賴庫", L"下載服務依賴庫", L"下載配置文件",
    L"下載運行庫", L"下載Quant運行庫", L"安裝前端依賴庫", L"安裝服務依賴庫",
    L"安裝配置文件", L"安裝運行庫", L"安裝Quant運行庫", L"刪除安裝文件",
    L"保存版本信息", L"刪除備份文件",
};
const Row kStepHans[kStepRows] = {
    L"下载安装统计信息", L"下载前端依赖库", L"下载服务依赖库", L"下载配置文件",
    L"下载运行库", L"下载Quant运行库", L"安装前端依赖库", L"安装服务依赖库",
    L"安装配置文件", L"安装运行库", L"安装Quant运行库", L"删除安装文件",
    L"保存版本信息", L"删除备份文件",
};

}  // namespace

const wchar_t* Message(int row) {
    switch (UiTheme::Settings().m_nLanguage) {
        case 1033: return kMessageEn[row];
        case 1028: return kMessageHant[row];
        default: return kMessageHans[row];
    }
}

const wchar_t* StepName(int row) {
    switch (UiTheme::Settings().m_nLanguage) {
        case 1033: return kStepEn[row];
        case 1028: return kStepHant[row];
        default: return kStepHans[row];
    }
}

}  // namespace UiStrings

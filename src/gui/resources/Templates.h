#pragma once

// The dialog layouts, in dialog units (converted to pixels by DialogUnits from each dialog's
// font), with their control ids and resource texts.

namespace tarvo::gui::tmpl {

struct Rect {
    int x, y, w, h;
};

struct Control {
    int id;
    const char16_t* text;
    Rect rect;
};

// Dialog 102: the main window.
namespace main {
inline constexpr const char16_t* kCaption = u"Tarvo";
inline constexpr const char16_t* kTitle = u"KelvraV4.6 - 支持1200W摄像机";
inline constexpr const char* kFont = "Tahoma";
inline constexpr int kFontPoints = 9;
inline constexpr int kWidth = 386;
inline constexpr int kHeight = 329;

inline constexpr int kSearch = 1002;
inline constexpr int kPreview = 1017;
inline constexpr int kNetwork = 1010;
inline constexpr int kParameters = 1053;
inline constexpr int kUpgrade = 5;
inline constexpr int kReboot = 6;
inline constexpr int kCloud = 1025;
inline constexpr int kList = 1003;
inline constexpr int kExit = 2;
inline constexpr int kMac = 4;

// The seven operation buttons, left to right.
inline constexpr Control kButtons[] = {
    {kSearch, u"搜索设备", {7, 4, 41, 18}},    {kPreview, u"预览图像", {54, 4, 41, 18}},
    {kNetwork, u"网络配置", {101, 4, 41, 18}}, {kParameters, u"参数配置", {148, 4, 41, 18}},
    {kUpgrade, u"升级", {195, 4, 41, 18}},     {kReboot, u"重启", {242, 4, 41, 18}},
    {kCloud, u"云端设置", {289, 4, 41, 18}},
};
// Present but never shown or enabled.
inline constexpr Control kHidden[] = {
    {kExit, u"退出", {336, 4, 41, 18}},
    {kMac, u"MAC", {336, 4, 41, 18}},
};
inline constexpr Rect kListRect{7, 25, 372, 291};
inline constexpr Control kNote{-1, u"* 可在 摄像机升级 中查看版本信息", {7, 319, 250, 8}};

// Menu 129: one pop-up with one item.
inline constexpr int kMenuModify = 32771;
inline constexpr const char16_t* kMenuModifyText = u"修改";
// String 101: the About entry.
inline constexpr const char16_t* kAboutItem = u"关于 Tarvo(&A)...";
}  // namespace main

// Dialog 132: the login dialog.
namespace login {
inline constexpr const char16_t* kCaption = u"登录";
inline constexpr const char* kFont = "Tahoma";
inline constexpr int kFontPoints = 10;
inline constexpr int kWidth = 174;
inline constexpr int kHeight = 93;

inline constexpr int kUserLabel = 1015;
inline constexpr int kPasswordLabel = 1016;
inline constexpr int kUser = 1008;
inline constexpr int kPassword = 1009;
inline constexpr int kPort = 1061;
inline constexpr int kHighDefinition = 1020;
inline constexpr int kD1 = 1021;
inline constexpr int kCif = 1062;
inline constexpr int kStreamLabel = 1023;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

inline constexpr Control kUserLabelCtl{kUserLabel, u"用户名:", {14, 11, 40, 9}};
inline constexpr Control kUserEdit{kUser, u"", {58, 9, 100, 13}};
inline constexpr Control kPasswordLabelCtl{kPasswordLabel, u"密码:", {14, 28, 40, 9}};
inline constexpr Control kPasswordEdit{kPassword, u"", {58, 26, 100, 13}};
inline constexpr Control kPortLabel{-1, u"端口:", {14, 45, 40, 9}};
inline constexpr Control kPortEdit{kPort, u"", {58, 43, 100, 13}};
inline constexpr Control kStreamLabelCtl{kStreamLabel, u"码流:", {14, 60, 40, 9}};
inline constexpr Control kRadios[] = {
    {kHighDefinition, u"高清", {58, 59, 32, 10}},
    {kD1, u"D1", {94, 59, 28, 10}},
    {kCif, u"CIF", {126, 59, 32, 10}},
};
inline constexpr Control kOkButton{kOk, u"确定", {30, 74, 50, 14}};
inline constexpr Control kCancelButton{kCancel, u"取消", {94, 74, 50, 14}};
}  // namespace login

// Dialog 100: the About box.
namespace about {
inline constexpr const char16_t* kCaption = u"About Tarvo";
inline constexpr const char* kFont = "SimSun";
inline constexpr int kFontPoints = 9;
inline constexpr int kWidth = 235;
inline constexpr int kHeight = 55;
inline constexpr Rect kIcon{11, 17, 20, 20};
inline constexpr Control kName{-1, u"Tarvo 4.6", {40, 10, 119, 8}};
inline constexpr Control kLine2{-1, u"网络视频设备工具", {40, 25, 119, 8}};
inline constexpr Control kOk{1, u"OK", {178, 7, 50, 14}};
}  // namespace about

}  // namespace tarvo::gui::tmpl

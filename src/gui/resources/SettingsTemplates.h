#pragma once

// The layouts of the three settings dialogs (network, camera configuration, cloud), in dialog
// units, with their control ids and resource texts.

#include "resources/Templates.h"

namespace tarvo::gui::tmpl {

// Dialog 130: network settings. The labels, buttons and title are replaced from the UI text
// table when the dialog opens; these are the resource texts.
namespace net {
inline constexpr const char16_t* kCaption = u"网络设置修改";
inline constexpr const char* kFont = "Tahoma";
inline constexpr int kFontPoints = 9;
inline constexpr int kWidth = 302;
inline constexpr int kHeight = 154;

inline constexpr int kAddress = 1004;
inline constexpr int kNetmask = 1005;
inline constexpr int kGateway = 1006;
inline constexpr int kDns = 1007;
inline constexpr int kUser = 1008;
inline constexpr int kPassword = 1009;
inline constexpr int kAddressLabel = 1011;
inline constexpr int kNetmaskLabel = 1012;
inline constexpr int kGatewayLabel = 1013;
inline constexpr int kDnsLabel = 1014;
inline constexpr int kUserLabel = 1015;
inline constexpr int kPasswordLabel = 1016;
inline constexpr int kDhcp = 1028;
inline constexpr int kAudio = 1029;
inline constexpr int kHttpPort = 1047;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

// Left column: the four addresses.
inline constexpr Control kAddressLabelCtl{kAddressLabel, u"IP 地址:", {12, 16, 56, 9}};
inline constexpr Control kAddressEdit{kAddress, u"", {70, 14, 78, 13}};
inline constexpr Control kNetmaskLabelCtl{kNetmaskLabel, u"子网掩码:", {12, 38, 56, 9}};
inline constexpr Control kNetmaskEdit{kNetmask, u"", {70, 36, 78, 13}};
inline constexpr Control kGatewayLabelCtl{kGatewayLabel, u"网关:", {12, 60, 56, 9}};
inline constexpr Control kGatewayEdit{kGateway, u"", {70, 58, 78, 13}};
inline constexpr Control kDnsLabelCtl{kDnsLabel, u"DNS 服务器:", {12, 82, 56, 9}};
inline constexpr Control kDnsEdit{kDns, u"", {70, 80, 78, 13}};
// Right column: port, credentials, switches.
inline constexpr Control kHttpPortLabel{-1, u"HTTP端口:", {160, 16, 52, 9}};
inline constexpr Control kHttpPortEdit{kHttpPort, u"", {214, 14, 76, 13}};
inline constexpr Control kUserLabelCtl{kUserLabel, u"用户名:", {160, 38, 52, 9}};
inline constexpr Control kUserEdit{kUser, u"", {214, 36, 76, 13}};
inline constexpr Control kPasswordLabelCtl{kPasswordLabel, u"密码:", {160, 60, 52, 9}};
inline constexpr Control kPasswordEdit{kPassword, u"", {214, 58, 76, 13}};
inline constexpr Control kDhcpCheck{kDhcp, u"DHCP", {160, 82, 48, 10}};
inline constexpr Control kAudioCheck{kAudio, u"使用音频", {214, 82, 76, 10}};
inline constexpr Control kOkButton{kOk, u"确定", {86, 124, 54, 16}};
inline constexpr Control kCancelButton{kCancel, u"取消", {162, 124, 54, 16}};
}  // namespace net

// Dialog 138: camera configuration.
namespace camera {
inline constexpr const char16_t* kCaption = u"摄像机配置";
inline constexpr const char* kFont = "SimSun";  // 宋体
inline constexpr int kFontPoints = 9;
inline constexpr int kWidth = 340;
inline constexpr int kHeight = 225;

inline constexpr int kProtocol = 1051;
inline constexpr int kCameraIp = 1054;
inline constexpr int kOverlay = 1058;
inline constexpr int kFixMac = 1060;
inline constexpr int kResolution = 1063;
inline constexpr int kVersion = 1064;
inline constexpr int kSubStream = 1065;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

inline constexpr Control kCameraIpLabel{-1, u"摄像机IP：", {12, 14, 72, 9}};
inline constexpr Control kCameraIpEdit{kCameraIp, u"", {86, 12, 116, 13}};
inline constexpr Control kVersionLabel{-1, u"摄像机版本：", {12, 32, 72, 9}};
inline constexpr Control kVersionEdit{kVersion, u"", {86, 30, 116, 13}};
inline constexpr Control kProtocolLabel{-1, u"摄像机协议：", {12, 58, 72, 9}};
inline constexpr Control kProtocolCombo{kProtocol, u"", {86, 56, 116, 14}};
inline constexpr Control kResolutionLabel{-1, u"主码流分辨率：", {12, 88, 72, 9}};
inline constexpr Control kResolutionCombo{kResolution, u"", {86, 86, 116, 14}};
inline constexpr Control kOverlayLabel{-1, u"图像上日期时间：", {12, 110, 72, 9}};
inline constexpr Control kOverlayCombo{kOverlay, u"", {86, 108, 116, 14}};
inline constexpr Control kSubStreamLabel{-1, u"Onvif 子码流：", {12, 132, 72, 9}};
inline constexpr Control kSubStreamCombo{kSubStream, u"", {86, 130, 116, 14}};
inline constexpr Control kFixMacButton{kFixMac, u"解决摄像机MAC地址冲突", {86, 152, 116, 16}};
inline constexpr Control kOkButton{kOk, u"确定", {104, 200, 54, 16}};
inline constexpr Control kCancelButton{kCancel, u"取消", {182, 200, 54, 16}};

// The fixed notes beside the controls they explain.
inline constexpr Control kNotes[] = {
    {-1, u"* 00.00.05.08及以上版本有效", {208, 48, 128, 9}},
    {-1, u"* 00.00.22.06及以上版本有效", {208, 58, 128, 9}},
    {-1, u"* 00.00.19.20及以上版本有效", {208, 68, 128, 9}},
    {-1, u"* V系列00.00.08.08及以上版本有效", {208, 89, 128, 9}},
    {-1, u"* 建议使用Onvif时设置不显示", {208, 111, 128, 9}},
    {-1, u"* 修改后摄像机自动重启", {208, 133, 128, 9}},
    {-1, u"* 成功时弹出提示，失败无提示", {208, 156, 128, 9}},
    {-1, u"* 摄像机重启后配置生效，重启后验证。", {12, 180, 300, 9}},
};
}  // namespace camera

// Dialog 134: cloud settings.
namespace cloud {
inline constexpr const char16_t* kCaption = u"云端设置";
inline constexpr const char* kFont = "Tahoma";
inline constexpr int kFontPoints = 9;
inline constexpr int kWidth = 219;
inline constexpr int kHeight = 94;

inline constexpr int kIdentity = 1026;
inline constexpr int kPassword = 1027;
inline constexpr int kDeviceId = 1030;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

inline constexpr Control kDeviceIdLabel{-1, u"设备ID:", {12, 16, 60, 9}};
inline constexpr Control kDeviceIdEdit{kDeviceId, u"", {76, 14, 130, 13}};
inline constexpr Control kIdentityEdit{kIdentity, u"", {76, 14, 130, 13}};  // never shown
inline constexpr Control kPasswordLabel{-1, u"云端连接密码:", {12, 38, 60, 9}};
inline constexpr Control kPasswordEdit{kPassword, u"", {76, 36, 130, 13}};
inline constexpr Control kOkButton{kOk, u"确定", {44, 66, 54, 16}};
inline constexpr Control kCancelButton{kCancel, u"取消", {120, 66, 54, 16}};
}  // namespace cloud

}  // namespace tarvo::gui::tmpl

#pragma once

// The layouts of the firmware upgrade dialogs and of the NVR configuration dialog, in dialog
// units, with their control ids and resource texts.

#include "resources/Templates.h"

namespace tarvo::gui::tmpl {

// One firmware upgrade dialog: its frame and the controls it is built from, top to bottom.
struct UpgradeLayout {
    const char* objectName;
    const char16_t* caption;
    const char* font;
    int fontPoints;
    int width;
    int height;
    // The address, version and path sit in read-only edits; otherwise the version is a label and
    // the path an edit.
    bool valuesInEdits;
    const Control* addressLabel;  // null: the address is not shown
    const Control* addressEdit;
    Control versionLabel;
    Control versionValue;
    const Control* checkVersionButton;  // null: none; shown hidden, nothing is reachable by it
    Control pathLabel;
    Control pathEdit;
    Control browseButton;
    Control progressBar;
    Control statusText;
    const Control* notes[2];  // null entries are unused
    Control upgradeButton;
    Control cancelButton;
    const char16_t* fileFilter;
};

// Dialog 135: camera firmware upgrade.
namespace cameraUpgrade {
inline constexpr const char16_t* kCaption = u"摄像机升级";
inline constexpr const char* kFont = "SimSun";
inline constexpr int kFontPoints = 9;
inline constexpr int kWidth = 355;
inline constexpr int kHeight = 193;

inline constexpr int kUpgrade = 1;
inline constexpr int kCancel = 2;
inline constexpr int kCheckVersion = 3;
inline constexpr int kBrowse = 4;
inline constexpr int kVersion = 1037;
inline constexpr int kPathLabel = 1031;
inline constexpr int kPath = 1032;
inline constexpr int kProgress = 1034;
inline constexpr int kStatus = 1035;

inline constexpr Control kVersionLabel{-1, u"摄像机当前版本：", {5, 11, 77, 8}};
inline constexpr Control kVersionText{kVersion, u"ver", {86, 11, 183, 15}};
inline constexpr Control kCheckVersionButton{kCheckVersion, u"检查版本", {288, 9, 54, 17}};
inline constexpr Control kPathLabelCtl{kPathLabel, u"升级路径：", {5, 36, 77, 8}};
inline constexpr Control kPathEdit{kPath, u"", {86, 34, 183, 15}};
inline constexpr Control kBrowseButton{kBrowse, u"浏览", {288, 34, 54, 17}};
inline constexpr Control kProgressBar{kProgress, u"", {86, 59, 183, 15}};
inline constexpr Control kStatusText{kStatus, u"正在升级......", {86, 84, 81, 15}};
inline constexpr Control kVersionNote{-1,
                                      u"* 摄像机版本标示介绍：\n  例如：v00.00.02.08, \n"
                                      u"        中间 02：表示摄像机版本\n"
                                      u"        最后 08：表示摄像机类型，固定不变",
                                      {5, 102, 200, 35}};
inline constexpr Control kTypeNote{-1,
                                   u"* 升级时必须用同类型的升级包，即 "
                                   u"升级包的最后两位必须与当前版本最后两位一致，\n"
                                   u"  否则会升级出错，导致摄像机无法使用",
                                   {5, 138, 344, 22}};
inline constexpr Control kUpgradeButton{kUpgrade, u"升级", {227, 169, 54, 17}};
inline constexpr Control kCancelButton{kCancel, u"取消", {293, 169, 54, 17}};

// The open-file dialog's filter "(*.img)|*.img|(*.tar.gz)|*.tar.gz|All Files (*.*)|*.*||" in
// Qt's syntax. "*.*" matches every file where the filter comes from; here it would miss names
// without a dot, so the last entry is "*".
inline constexpr const char16_t* kFileFilter = u"(*.img);;(*.tar.gz);;All Files (*)";

inline constexpr UpgradeLayout kLayout{
    .objectName = "CUpGrade",
    .caption = kCaption,
    .font = kFont,
    .fontPoints = kFontPoints,
    .width = kWidth,
    .height = kHeight,
    .valuesInEdits = false,
    .addressLabel = nullptr,
    .addressEdit = nullptr,
    .versionLabel = kVersionLabel,
    .versionValue = kVersionText,
    .checkVersionButton = &kCheckVersionButton,
    .pathLabel = kPathLabelCtl,
    .pathEdit = kPathEdit,
    .browseButton = kBrowseButton,
    .progressBar = kProgressBar,
    .statusText = kStatusText,
    .notes = {&kVersionNote, &kTypeNote},
    .upgradeButton = kUpgradeButton,
    .cancelButton = kCancelButton,
    .fileFilter = kFileFilter,
};
}  // namespace cameraUpgrade

// Dialog 139: NVR firmware upgrade.
namespace nvrUpgrade {
inline constexpr const char16_t* kCaption = u"NVR升级";
inline constexpr const char* kFont = "SimSun";
inline constexpr int kFontPoints = 10;
inline constexpr int kWidth = 346;
inline constexpr int kHeight = 186;

inline constexpr int kUpgrade = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAddress = 1040;
inline constexpr int kVersion = 1071;
inline constexpr int kPath = 1066;
inline constexpr int kBrowse = 1067;
inline constexpr int kProgress = 1068;
inline constexpr int kStatus = 1035;

inline constexpr Control kAddressLabel{-1, u"NVR IP地址：", {28, 15, 50, 9}};
inline constexpr Control kAddressEdit{kAddress, u"", {86, 13, 169, 12}};
inline constexpr Control kVersionLabel{-1, u"NVR当前版本：", {25, 37, 54, 10}};
inline constexpr Control kVersionEdit{kVersion, u"", {86, 35, 169, 13}};
inline constexpr Control kPathLabel{-1, u"升级路径：", {22, 60, 57, 11}};
inline constexpr Control kPathEdit{kPath, u"", {86, 59, 169, 13}};
inline constexpr Control kBrowseButton{kBrowse, u"浏览", {270, 58, 55, 16}};
inline constexpr Control kProgressBar{kProgress, u"", {69, 88, 196, 16}};
inline constexpr Control kStatusText{kStatus, u"", {68, 111, 194, 11}};
inline constexpr Control kNote{-1, u"* 不支持V8.7及其以下版本", {17, 162, 132, 11}};
inline constexpr Control kUpgradeButton{kUpgrade, u"升级", {223, 163, 50, 14}};
inline constexpr Control kCancelButton{kCancel, u"取消", {283, 163, 50, 14}};

// "All Files (*.*)|*.*||": every file, also those without a dot in the name (my_kernel).
inline constexpr const char16_t* kFileFilter = u"All Files (*)";

inline constexpr UpgradeLayout kLayout{
    .objectName = "CNVRUpgradeDlg",
    .caption = kCaption,
    .font = kFont,
    .fontPoints = kFontPoints,
    .width = kWidth,
    .height = kHeight,
    .valuesInEdits = true,
    .addressLabel = &kAddressLabel,
    .addressEdit = &kAddressEdit,
    .versionLabel = kVersionLabel,
    .versionValue = kVersionEdit,
    .checkVersionButton = nullptr,
    .pathLabel = kPathLabel,
    .pathEdit = kPathEdit,
    .browseButton = kBrowseButton,
    .progressBar = kProgressBar,
    .statusText = kStatusText,
    .notes = {&kNote, nullptr},
    .upgradeButton = kUpgradeButton,
    .cancelButton = kCancelButton,
    .fileFilter = kFileFilter,
};

// Posted to the dialog when an upload attempt has ended; the dialog then closes.
inline constexpr int kUpgradeDoneEvent = 11000;
}  // namespace nvrUpgrade

// Dialog 140: NVR configuration (video output resolution).
namespace nvrConfig {
inline constexpr const char16_t* kCaption = u"NVR配置";
inline constexpr const char* kFont = "MS Shell Dlg";
inline constexpr int kFontPoints = 8;
inline constexpr int kWidth = 340;
inline constexpr int kHeight = 226;

inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kResolution = 1073;

inline constexpr Control kResolutionLabel{-1, u"分辨率：", {31, 30, 51, 9}};
// The height includes the dropped-down list.
inline constexpr Control kResolutionList{kResolution, u"", {85, 28, 94, 111}};
inline constexpr Control kOkButton{kOk, u"确定", {186, 202, 68, 14}};
inline constexpr Control kCancelButton{kCancel, u"取消", {260, 202, 68, 14}};
}  // namespace nvrConfig

}  // namespace tarvo::gui::tmpl

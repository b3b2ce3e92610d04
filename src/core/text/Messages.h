#pragma once

#include <array>
#include <string_view>

// Every fixed text the program shows in a message box, exactly as devices' users know them.
namespace tarvo::text::msg {

// Caption of the system-modal warning boxes.
inline constexpr std::u16string_view kErrorCaption = u"Error";

// Main window.
inline constexpr std::u16string_view kSelectDeviceFirst = u"请先选择设备";

// Command connection and login.
inline constexpr std::u16string_view kConnectCameraFailedEn = u"Connect to IP camera failed !";
inline constexpr std::u16string_view kControlFailed = u"Control failed";
inline constexpr std::u16string_view kConnectCameraFailed = u"连接摄像机失败";
// A device that took the connection and kept silent: %1 its address, %2 the seconds waited.
inline constexpr std::u16string_view kNoAnswerFormat = u"设备 %1 在 %2 秒内没有应答";

// Version check.
inline constexpr std::u16string_view kVersionQueryFailed = u"获取摄像机版本信息失败";
inline constexpr std::u16string_view kVersionMalformed = u"摄像机版本信息出错";
inline constexpr std::u16string_view kVersionTooLow =
    u"操作不支持，摄像机版本太低，请升级到最新版本";

// Discovery.
inline constexpr std::u16string_view kMacReassigned = u"摄像机已重新分配MAC地址，重启后生效";

// Login dialog and network settings.
// The device did not send its network record back: the settings window is not opened, since
// its OK would write the blank fields to the device as its address, mask and gateway.
inline constexpr std::u16string_view kNetParamsUnanswered =
    u"设备没有回复网络参数，没有修改任何设置";
// The same for the camera configuration: the camera did not send all of its options.
inline constexpr std::u16string_view kCameraOptionsUnanswered =
    u"摄像机没有回复配置参数，没有修改任何设置";
inline constexpr std::u16string_view kPortInputError = u"端口输入错误";
// Cloud settings: the password field holds 63 bytes; a longer one would not be taken.
inline constexpr std::u16string_view kCloudPasswordTooLong =
    u"云端连接密码太长（最多 63 个字节），没有修改任何设置";
inline constexpr std::u16string_view kGatewayNotInSubnet = u"ip地址与网关不在一个网段! 请检查";
// Values no device can work with, refused before anything is sent.
inline constexpr std::u16string_view kAddressNotAnAddress = u"IP地址不是有效的IPv4地址! 请检查";
inline constexpr std::u16string_view kNetmaskNotAnAddress = u"子网掩码不是有效的IPv4地址! 请检查";
inline constexpr std::u16string_view kGatewayNotAnAddress = u"网关不是有效的IPv4地址! 请检查";
inline constexpr std::u16string_view kDnsNotAnAddress = u"DNS服务器不是有效的IPv4地址! 请检查";
inline constexpr std::u16string_view kNetmaskNotContiguous =
    u"子网掩码无效: 前面必须全是1, 后面全是0 (例如 255.255.255.0)! 请检查";
inline constexpr std::u16string_view kAddressIsNetworkAddress =
    u"IP地址是所在网段的网络地址, 设备无法使用! 请检查";
inline constexpr std::u16string_view kAddressIsBroadcastAddress =
    u"IP地址是所在网段的广播地址, 设备无法使用! 请检查";

// Device list and shared targets. A UDP command carries only the last two octets of the address
// it is for, so every device answering from that address, or from another address ending in the
// same two octets, takes it.
inline constexpr std::u16string_view kDeviceTableFull =
    u"The device list is full (65536 devices); further devices of this search are not listed";
// Tooltips of marked rows in the device list (the conflict one is followed by the MACs).
inline constexpr std::u16string_view kRowConflict =
    u"Address conflict: several devices answer from this address:";
inline constexpr std::u16string_view kRowOtherNetwork = u"不在同一网段";
inline constexpr std::u16string_view kConflictsUnseen =
    u"Address conflicts cannot be seen: reading the devices' own frames needs CAP_NET_RAW";
// Followed by the devices, one "address MAC" a line.
inline constexpr std::u16string_view kSharedTargetRefused =
    u"Nothing was sent: these devices would all take the change: disconnect all but one, or "
    u"change the others first:";
inline constexpr std::u16string_view kSharedTargetRead =
    u"These devices all take this query, so the values shown may come from any of them:";

// The exported device list and the batch address change.
inline constexpr std::u16string_view kCsvSubnetHeader = u"网段";
inline constexpr std::u16string_view kCsvSameSubnet = u"同一网段";
inline constexpr std::u16string_view kCsvOtherSubnet = kRowOtherNetwork;
inline constexpr std::u16string_view kExportFailed = u"导出列表失败，文件没有写入";
// A device that took the new parameters but was not found at its new address afterwards.
inline constexpr std::u16string_view kAssignNotMoved = u"设备没有出现在新地址";
inline constexpr std::u16string_view kAssignPlanned = u"计划修改";
inline constexpr std::u16string_view kAssignMoved = u"已修改";
inline constexpr std::u16string_view kAssignNoAddress = u"网段内没有空闲地址";
inline constexpr std::u16string_view kAssignNotFound = u"没有搜索到设备";
inline constexpr std::u16string_view kAssignNotCamera = u"NVR/DVR 不能批量修改";
// A device heard on another network than the one the start address lies in: the new address
// would be one it cannot be reached at.
inline constexpr std::u16string_view kAssignOtherLink = u"设备不在起始地址所在的网络上";
inline constexpr std::u16string_view kAssignRefused = u"设备没有接受新参数";

// Firmware upgrade.
inline constexpr std::u16string_view kUpgrading = u"正在升级......";
inline constexpr std::u16string_view kCameraUpgradeStarted =
    u"摄像机正在升级，请不要断电，重新搜到摄像机表示升级完成";
inline constexpr std::u16string_view kCameraUpgradeFailedCheck =
    u"升级失败, 请检查网络、选择正确的升级文件";
inline constexpr std::u16string_view kUpgradeFailed = u"升级失败";
inline constexpr std::u16string_view kWrongUpgradeFile = u"你选择了错误的升级文件";
inline constexpr std::u16string_view kNvrUpgradeStarted =
    u"NVR正在升级，请不要断电，升级完后NVR会自动重启";
inline constexpr std::u16string_view kNvrUpgradeFailed = kCameraUpgradeFailedCheck;
// The part an NVR file stands for, shown under its path.
inline constexpr std::u16string_view kNvrPartUboot = u"你选择了升级 uboot";
inline constexpr std::u16string_view kNvrPartEnvironment = u"你选择了升级 环境变量";
inline constexpr std::u16string_view kNvrPartRootfs = u"你选择了升级 文件系统";
inline constexpr std::u16string_view kNvrPartKernel = u"你选择了升级 内核";
// A folder, pipe or device given as the package: it has no size to announce.
inline constexpr std::u16string_view kUpgradeFileNotRegular =
    u"升级文件不是普通文件，没有发送任何数据";
// Sizes travel in 32 bits, counted signed: nothing is sent for a file of 2 GiB or more.
inline constexpr std::u16string_view kUpgradeFileTooLarge =
    u"升级文件太大（2 GB 或以上），没有发送任何数据";
// Batch upgrade: the menu entry and its dialog.
inline constexpr std::u16string_view kBatchUpgradeMenu = u"批量升级…";
inline constexpr std::u16string_view kBatchUpgradeCaption = u"批量升级";
inline constexpr std::u16string_view kBatchFileLabel = u"升级文件：";
inline constexpr std::u16string_view kBatchBrowse = u"浏览";
inline constexpr std::u16string_view kBatchUser = u"用户名:";
inline constexpr std::u16string_view kBatchPassword = u"密码:";
inline constexpr std::u16string_view kBatchStart = u"升级";
inline constexpr std::u16string_view kBatchClose = u"关闭";
inline constexpr std::u16string_view kBatchWaiting = u"等待";
inline constexpr std::u16string_view kBatchFailed = u"失败";
// What the single dialogs leave unsaid, a batch says beside the device.
inline constexpr std::u16string_view kBatchNotNewer = u"版本不比设备的新，未发送";
inline constexpr std::u16string_view kBatchNotConnected = u"连接设备失败，未发送";

// In a field whose value the device is still being asked for.
inline constexpr std::u16string_view kWaitingForDevice = u"…";

// NVR configuration.
inline constexpr std::u16string_view kNvrConnectFailed = u"连接NVR失败！";
inline constexpr std::u16string_view kNvrResolutionFailed = u"获取NVR分辨率失败！";
// The output resolutions in list order; the position is the index on the wire.
inline constexpr std::array<std::u16string_view, 6> kNvrResolutions{
    u"1024 x 768", u"1280 x 1024", u"1366 x 768", u"1400 x 900", u"1920 x 1080", u"3840 x 2160"};

// Preview.
// The preview window's title: %1 width, %2 height, %3 the codec (H264 or H265).
inline constexpr std::u16string_view kPreviewTitleFormat = u"宽 x 高：%1 x %2 , 编码模式：%3";
// Over the last picture of a preview whose stream stopped: %1 the seconds without a picture.
inline constexpr std::u16string_view kPreviewNoPictureFormat = u"已有 %1 秒没有收到图像";
inline constexpr std::u16string_view kDecoderInitFailed = u"init hisilcon h264 decode failed";
inline constexpr std::u16string_view kStreamConnectError = u"connect error!";
inline constexpr std::u16string_view kDisplayAdapterUnsupported =
    u"Display adapter not support! Please update driver or hardware!";

// What the command line says after it did what it was asked.
inline constexpr std::u16string_view kLoginAccepted = u"登录成功";
inline constexpr std::u16string_view kRebootStarted = u"设备正在重启";
inline constexpr std::u16string_view kNothingToChange = u"没有要修改的设置，没有发送任何数据";
// %1 the file, %2 its size in bytes.
inline constexpr std::u16string_view kSnapshotSavedFormat = u"已保存 %1（%2 字节）";
// %1 seconds recorded, %2 bytes so far.
inline constexpr std::u16string_view kRecordingProgressFormat = u"正在录制：%1 秒，%2 字节";
// %1 seconds recorded, %2 the file, %3 its size in bytes.
inline constexpr std::u16string_view kRecordingSavedFormat = u"已录制 %1 秒到 %2（%3 字节）";
inline constexpr std::u16string_view kSnapshotExtension = u"文件名必须以 .png、.jpg 或 .jpeg 结尾";
// %1 the resolution asked for, %2 the resolutions the NVR knows.
inline constexpr std::u16string_view kNvrResolutionUnknownFormat = u"未知的分辨率 %1，可选：%2";

// What the command line says when it cannot go ahead, naming the cause.
// Frame A's name field holds 128 bytes with its terminator: a longer name would go out empty.
inline constexpr std::u16string_view kUpgradeFileNameTooLong =
    u"升级文件名太长（设备编码下超过 127 字节），没有发送任何数据";
// %1 the path given.
inline constexpr std::u16string_view kUpgradeFileMissingFormat =
    u"升级文件 %1 不存在，没有发送任何数据";
// %1 the file given where the address belongs.
inline constexpr std::u16string_view kAddressMissingFormat = u"缺少设备地址（%1 是升级文件）";
// After "Control failed" for a login the device answered and refused.
inline constexpr std::u16string_view kLoginRefusedNote = u"设备拒绝了用户名或密码";
inline constexpr std::u16string_view kRecordExtension = u"文件名必须以 .mp4、.mkv 或 .ts 结尾";
// %1 the interfaces searched, e.g. "lo 127.0.0.1, eth0 10.250.0.11".
inline constexpr std::u16string_view kNothingHeardFormat = u"没有设备应答；搜索过的网络接口：%1";
inline constexpr std::u16string_view kNoInterfaceToSearch = u"没有可以搜索的本地网络";
// A secret given on the command line: %1 the option, %2 the ways that keep it out of sight.
inline constexpr std::u16string_view kSecretVisibleFormat =
    u"警告：%1 的值在进程列表中对本机其他用户可见；请改用：%2";

}  // namespace tarvo::text::msg

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
inline constexpr std::u16string_view kVersionNoAnswerFormat = u"设备 %1 在 %2 秒内没有回答版本查询";

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
    u"设备列表已满（65536 台设备），本次搜索的其余设备没有列出";
// Tooltips of marked rows in the device list (the conflict one is followed by the MACs).
inline constexpr std::u16string_view kRowConflict = u"地址冲突：多台设备从这个地址应答：";
inline constexpr std::u16string_view kRowOtherNetwork = u"不在同一网段";
inline constexpr std::u16string_view kConflictsUnseen =
    u"无法发现地址冲突：读取设备自己发出的数据帧需要 CAP_NET_RAW 权限";
// Followed by the devices, one "address MAC" a line.
inline constexpr std::u16string_view kSharedTargetRefused =
    u"没有发送任何数据：这些设备都会接受这个修改：请只连接其中一台，或先修改其他设备：";
inline constexpr std::u16string_view kSharedTargetRead =
    u"这些设备都会接受这个查询，显示的值可能来自其中任何一台：";

// The exported device list and the batch address change.
inline constexpr std::u16string_view kCsvSubnetHeader = u"网段";
inline constexpr std::u16string_view kCsvSameSubnet = u"同一网段";
inline constexpr std::u16string_view kCsvOtherSubnet = kRowOtherNetwork;
// The command line's column of the MACs answering from one address.
inline constexpr std::u16string_view kListConflictHeader = u"地址冲突";
inline constexpr std::u16string_view kExportFailed = u"导出列表失败，文件没有写入";
// A device that took the new parameters but was not found at its new address afterwards.
inline constexpr std::u16string_view kAssignNotMoved = u"设备没有出现在新地址";
inline constexpr std::u16string_view kAssignPlanned = u"计划修改";
inline constexpr std::u16string_view kAssignMoved = u"已修改";
inline constexpr std::u16string_view kAssignNoAddress = u"网段内没有空闲地址";
inline constexpr std::u16string_view kAssignNotFound = u"没有搜索到设备";
inline constexpr std::u16string_view kAssignNotCamera = u"NVR/DVR 不能批量修改";
inline constexpr std::u16string_view kAssignRefused = u"设备没有接受新参数";

// The batch address window: the plan is shown before anything is sent.
inline constexpr std::u16string_view kAddressBatchTitle = u"批量修改IP…";
inline constexpr std::u16string_view kAddressBatchOld = u"旧地址";
inline constexpr std::u16string_view kAddressBatchMac = u"mac地址";
inline constexpr std::u16string_view kAddressBatchName = u"名称";
inline constexpr std::u16string_view kAddressBatchNew = u"新地址";
inline constexpr std::u16string_view kAddressBatchResult = u"结果";
inline constexpr std::u16string_view kAddressBatchStartAddress = u"起始地址";
inline constexpr std::u16string_view kAddressBatchMask = u"子网掩码";
inline constexpr std::u16string_view kAddressBatchGateway = u"网关";
inline constexpr std::u16string_view kAddressBatchDns = u"DNS服务器";
inline constexpr std::u16string_view kAddressBatchUser = u"用户名";
inline constexpr std::u16string_view kAddressBatchPassword = u"密码";
inline constexpr std::u16string_view kAddressBatchShowPlan = u"显示计划";
inline constexpr std::u16string_view kAddressBatchStart = u"开始";
inline constexpr std::u16string_view kAddressBatchBadStart = u"起始地址无效";
inline constexpr std::u16string_view kAddressBatchSearching = u"正在搜索…";
inline constexpr std::u16string_view kAddressBatchWriting = u"正在修改…";
// Start found other free addresses than the plan shown (devices came or went meanwhile).
inline constexpr std::u16string_view kAddressBatchPlanChanged =
    u"网络上的设备有变化，计划已更新，没有发送任何数据。请检查新的计划后再按开始";
// Copies a batch window's results (tab-separated) to the clipboard.
inline constexpr std::u16string_view kCopyResults = u"复制";
// Sites: the site file, its address plan and its devices' states.
// %1 the file.
inline constexpr std::u16string_view kSiteNotASite = u"%1 不是现场文件，没有修改";
// %1 the file, %2 SQLite's reason.
inline constexpr std::u16string_view kSiteDamaged = u"现场文件 %1 已损坏，没有修改：%2";
// %1 the file, %2 its schema version, %3 the newest this program reads.
inline constexpr std::u16string_view kSiteTooNew =
    u"现场文件 %1 来自更新版本的程序（格式 %2，本程序最高支持 %3），没有修改";
inline constexpr std::u16string_view kSiteOpenFailed = u"无法打开现场文件 %1：%2";
// %1 the file, %2 the objects in it that this program does not make (type and name).
inline constexpr std::u16string_view kSiteForeignSchema =
    u"现场文件 %1 含有本程序不会建立的对象（%2），没有打开，也没有修改";
// %1 the link.
inline constexpr std::u16string_view kSiteDanglingLink = u"%1 是指向不存在文件的链接，没有建立现场";
// %1 why the site could not be written.
inline constexpr std::u16string_view kSiteSearchNotRecorded = u"本次搜索没有记入现场：%1";
// Another program kept the file busy past the wait.
inline constexpr std::u16string_view kSiteBusy = u"现场文件 %1 正被另一个程序占用，请稍后再试";
inline constexpr std::u16string_view kSiteWriteFailed = u"现场文件 %1 写入失败：%2";
inline constexpr std::u16string_view kPlanUnreadable = u"无法读取计划文件 %1";
// %1 the line of the plan file, %2 what is wrong with it.
inline constexpr std::u16string_view kPlanLine = u"第 %1 行：%2";
inline constexpr std::u16string_view kPlanNoColumns = u"计划文件缺少 MAC 列或 IP 地址列";
inline constexpr std::u16string_view kPlanEmpty = u"计划文件中没有设备";
inline constexpr std::u16string_view kPlanTooLarge = u"计划文件太大";
inline constexpr std::u16string_view kPlanBadMac = u"无法识别的 MAC 地址：%1";
inline constexpr std::u16string_view kPlanBadAddress = u"不是有效的 IP 地址：%1";
inline constexpr std::u16string_view kPlanBadMask = u"不是有效的子网掩码：%1";
inline constexpr std::u16string_view kPlanDuplicateMac = u"MAC 地址 %1 在第 %2 行已出现";
inline constexpr std::u16string_view kPlanDuplicateAddress = u"IP 地址 %1 在第 %2 行已出现";
// The address is its subnet's network or broadcast address: outside the hosts its mask allows.
inline constexpr std::u16string_view kPlanAddressNotHost = u"%1 不是子网 %2 中的主机地址";
inline constexpr std::u16string_view kPlanGatewayOutside = u"网关 %1 不在 %2/%3 的子网内";
// %1 the planned address, %2 the MAC that answers from it now.
inline constexpr std::u16string_view kPlanAddressTaken = u"地址 %1 已被另一台设备（%2）使用";
inline constexpr std::u16string_view kPlanDeviceMissing = u"设备 %1 没有应答搜索";
// %1 the MAC, %2 the addresses it answered from.
inline constexpr std::u16string_view kPlanMacTwice = u"设备 %1 从多个地址应答：%2";
// %1 the device's address, %2 the MACs that answer from it.
inline constexpr std::u16string_view kPlanConflict = u"地址 %1 上有多台设备应答：%2";
// 0.x, loopback, multicast or reserved: no device can take it.
inline constexpr std::u16string_view kPlanAddressNotUnicast = u"%1 不是设备可以使用的单播地址";
inline constexpr std::u16string_view kPlanAddressOwn = u"%1 是本机的地址";
// Beside a device whose new network the computer has no interface on: a note, not a refusal.
inline constexpr std::u16string_view kPlanSearchOnly =
    u"之后只能通过搜索找到：预览、验证和网页需要电脑接入该网络或有到该网络的路由";
// %1 how many planned devices were left for the next apply.
inline constexpr std::u16string_view kSiteNotApplied =
    u"%1 台设备没有执行，保留在计划中，下次应用时继续";
// A device of a batch whose other devices cannot all be done: it was left alone.
inline constexpr std::u16string_view kBatchNotSent = u"没有发送：批量中有无法完成的设备";
// Followed by the reasons, one a line.
inline constexpr std::u16string_view kPlanNothingSent = u"计划无法完整执行，没有发送任何命令：";
// The states of a site's devices.
inline constexpr std::u16string_view kSiteInPlace = u"按计划就位";
inline constexpr std::u16string_view kSiteElsewhere = u"不在计划地址";
inline constexpr std::u16string_view kSiteNew = u"计划外设备";
inline constexpr std::u16string_view kSiteMissing = u"没有应答";
inline constexpr std::u16string_view kSiteFirmwareChanged = u"固件已变更";
// The status table's column of it, and its mark there.
inline constexpr std::u16string_view kSiteColFirmware = u"固件";
inline constexpr std::u16string_view kSiteFirmwareChangedMark = u"已变更";
inline constexpr std::u16string_view kSiteNoMac = u"MAC 未知";

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
// The batch upgrade's columns; the version is asked of each device as the window opens.
inline constexpr std::u16string_view kBatchColName = u"名称";
inline constexpr std::u16string_view kBatchColAddress = u"IP 地址";
inline constexpr std::u16string_view kBatchColType = u"类型";
inline constexpr std::u16string_view kBatchColVersion = u"版本";
inline constexpr std::u16string_view kBatchColProgress = u"进度";
inline constexpr std::u16string_view kBatchColResult = u"结果";
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

// The command line's own messages while it works and when it cannot go ahead.
inline constexpr std::u16string_view kCapabilitiesNotDropped = u"tarvo-cli：无法放弃权限，没有启动";
inline constexpr std::u16string_view kUnknownCommandFormat = u"未知的命令 %1";
// %1 the option, %2 the value given.
inline constexpr std::u16string_view kOptionOutOfRangeFormat = u"%1 %2：超出范围";
inline constexpr std::u16string_view kOptionNotANumberFormat = u"%1 %2：不是数字";
inline constexpr std::u16string_view kSeeHelp = u"使用 --help 查看更多信息。";
// %1 the address, %2 its kind, %3 its type code, %4 the command.
inline constexpr std::u16string_view kRefusedDvrFormat =
    u"%1 是 DVR（类型 %2）：%3 不适用于 DVR，没有发送任何数据";
inline constexpr std::u16string_view kRefusedNvrFormat =
    u"%1 是 NVR（类型 %2）：%3 只适用于摄像机和解码器，没有发送任何数据";
inline constexpr std::u16string_view kRefusedNotNvrFormat =
    u"%1 不是 NVR（类型 %2）：%3 只适用于 NVR，没有发送任何数据";
inline constexpr std::u16string_view kDeviceNotHeardFormat =
    u"设备 %1 没有应答任何本地网络上的搜索";
inline constexpr std::u16string_view kNoSuchInterfaceFormat = u"没有地址为 %1 的本地组播网络接口";
inline constexpr std::u16string_view kSortExpected =
    u"--sort：应为 seq、ip、mac、name、note、type（或 0-5）之一，可在后面加上 :asc 或 :desc";
inline constexpr std::u16string_view kSubnetExpected = u"应为子网，例如 192.168.1.0/24";
inline constexpr std::u16string_view kAssignBadStartOrMask =
    u"--start 和 --mask 需要点分格式的地址，例如 192.168.1.100";
// Reading the password: %1 where from (a file, or the standard input), %2 the system's reason.
inline constexpr std::u16string_view kCannotReadFormat = u"无法读取 %1：%2";
// The system's reasons a file cannot be read, those a user meets most.
inline constexpr std::u16string_view kNoSuchFile = u"文件不存在";
inline constexpr std::u16string_view kPermissionDenied = u"没有权限";
inline constexpr std::u16string_view kIsADirectory = u"是一个目录";
inline constexpr std::u16string_view kStandardInput = u"标准输入";
inline constexpr std::u16string_view kFirstLineTooLongFormat = u"%1 的第一行超过 %2 字节";
inline constexpr std::u16string_view kPasswordPrompt = u"密码：";
inline constexpr std::u16string_view kStandardInputEnded = u"标准输入在密码行之前就结束了";
// %1 the file, %2 the command that makes it private.
inline constexpr std::u16string_view kPasswordFileReadableFormat =
    u"警告：本机其他用户可以读取密码文件 %1（请执行 %2）";
inline constexpr std::u16string_view kSettingsUnansweredFormat =
    u"设备 %1 没有应答设置查询，没有写入任何数据";
inline constexpr std::u16string_view kResolutionFixed =
    u"这台摄像机的主码流分辨率不能设置（只有类型 89、版本 00.00.08.08 起才可以），保持不变";
// Snapshot and recording: %1 the address, or the seconds waited.
inline constexpr std::u16string_view kNoStreamFormat = u"%1 没有发来视频流";
inline constexpr std::u16string_view kStreamEndedBeforePicture = u"视频流在收到图像之前就结束了";
inline constexpr std::u16string_view kStreamEndedBeforeKeyPicture =
    u"视频流在收到关键帧之前就结束了";
inline constexpr std::u16string_view kNoPictureWithinFormat = u"%1 秒内没有收到图像";
inline constexpr std::u16string_view kNoKeyPictureWithinFormat = u"%1 秒内没有收到关键帧";
inline constexpr std::u16string_view kCannotWriteFormat = u"无法写入 %1";
inline constexpr std::u16string_view kCannotWriteHeaderFormat = u"无法写入 %1 的文件头";
inline constexpr std::u16string_view kNoMuxerFormat = u"无法为 %1 建立封装";
inline constexpr std::u16string_view kOutOfMemory = u"内存不足";
inline constexpr std::u16string_view kNothingRecorded = u"没有录制到任何内容";
// Followed by the cause.
inline constexpr std::u16string_view kNothingRecordedBecauseFormat = u"没有录制到任何内容：%1";
// A device's line in a reboot of several.
inline constexpr std::u16string_view kRebooting = u"正在重启";
inline constexpr std::u16string_view kRebootFailed = u"重启失败";
// %1 how many rows the plan has.
// The columns of a site's device states as a spreadsheet reads them.
inline constexpr std::u16string_view kSiteCsvPlanned = u"计划 IP";
inline constexpr std::u16string_view kSiteCsvLast = u"上次 IP";
inline constexpr std::u16string_view kSiteCsvState = u"状态";
inline constexpr std::u16string_view kSiteCsvLocation = u"位置";
// The plan's own note of a device ("not yet mounted", "camera VLAN 20").
inline constexpr std::u16string_view kSiteCsvNote = u"备注";
inline constexpr std::u16string_view kDevicesPlannedFormat = u"已计划 %1 台设备";
// The upgrade: %1 the version the device told.
inline constexpr std::u16string_view kCameraVersionFormat = u"摄像机版本：%1";
inline constexpr std::u16string_view kNvrVersionFormat = u"NVR 版本：%1";
inline constexpr std::u16string_view kNoAnswerParenthesised = u"（没有应答）";
inline constexpr std::u16string_view kNvrPartName =
    u"NVR 分区文件的文件名以 uboot、env、rootfs 或 kernel 开头，没有发送任何数据";
inline constexpr std::u16string_view kLoginFailedNothingSent = u"登录失败，没有发送任何数据";
// %1 the address, %2 the port.
inline constexpr std::u16string_view kCannotConnectFormat = u"无法连接 %1:%2，没有发送任何数据";
inline constexpr std::u16string_view kUploadRunning =
    u"这台设备正在进行另一个上传，没有发送任何数据";
// %1 the camera's type as its version ends.
inline constexpr std::u16string_view kCameraPackageNameFormat =
    u"没有发送任何数据：摄像机升级包的文件名从第 12 个字符起是版本 "
    u"NN.NN.NN.NN，以摄像机的类型（%1）结尾";
inline constexpr std::u16string_view kUnknown = u"未知";
// %1 the package's version as its name gives it, %2 the camera's.
inline constexpr std::u16string_view kPackageNotNewerFormat =
    u"没有发送任何数据：升级包的版本（文件名第 12 个字符起：'%1'）不比摄像机的 %2 新";
inline constexpr std::u16string_view kNoFileNameFormat = u"没有发送任何数据：%1 中没有文件名";
inline constexpr std::u16string_view kNotAPackageFormat = u"没有发送任何数据：%1 不能作为升级包";
inline constexpr std::u16string_view kPackageTooLargeFormat =
    u"没有发送任何数据：%1 有 2 GiB 或更大";
inline constexpr std::u16string_view kNoConnection = u"没有发送任何数据：没有连接";
inline constexpr std::u16string_view kHeaderNotSent = u"升级头没有发送成功";
// %1 the bytes sent.
inline constexpr std::u16string_view kAllSentNoAnswerFormat = u"全部 %1 字节已发送，设备没有应答";
inline constexpr std::u16string_view kPackageRefusedFormat = u"设备拒绝了升级包（应答标记 %1）";
// Upload progress: %1 pieces sent, %2 of how many, %3 the rate, %4 the time left.
inline constexpr std::u16string_view kUploadFiguresFormat = u"%1/%2 块  %3/s  剩余 %4";
inline constexpr std::u16string_view kUploadPiecesFormat = u"%1/%2 块";
// A progress line where no terminal redraws it.
inline constexpr std::u16string_view kUploadLineFormat = u"上传：%1";
// %1 devices of %2 took the package.
inline constexpr std::u16string_view kBatchAcceptedFormat = u"%2 台设备中有 %1 台接受了升级包";
// The NVR's output resolution: %1 the resolution.
inline constexpr std::u16string_view kResolutionAlreadyFormat = u"已经是 %1，没有发送任何数据";
inline constexpr std::u16string_view kResolutionSetFormat = u"已设置为 %1";
inline constexpr std::u16string_view kResolutionNotSent = u"新的分辨率没有发送成功";
// Verifying a site's devices: a result per device, its figures, and why it failed.
inline constexpr std::u16string_view kVerifyPassed = u"通过";
inline constexpr std::u16string_view kVerifyFailed = u"未通过";
// %1 the address, %2 the port.
inline constexpr std::u16string_view kVerifyConnectFailedFormat = u"无法连接 %1:%2";
inline constexpr std::u16string_view kVerifyLoginBroken = u"登录失败：连接中断";
inline constexpr std::u16string_view kVerifyNoVersion = u"设备没有回复固件版本";
// %1 the stream port.
inline constexpr std::u16string_view kVerifyStreamConnectFailedFormat = u"无法连接视频流端口 %1";
inline constexpr std::u16string_view kVerifyNoStreamReply = u"设备没有回复视频流请求";
inline constexpr std::u16string_view kVerifyStreamBroken = u"视频流在测量期间中断";
// %1 the seconds without a picture.
inline constexpr std::u16string_view kVerifyStreamStalledFormat =
    u"视频流停顿：最后 %1 秒没有收到图像";
inline constexpr std::u16string_view kVerifyNoSnapshot = u"无法从视频流生成快照";
inline constexpr std::u16string_view kVerifyStopped = u"验证已中止";
// The figures, joined by the separator: %1 milliseconds, pictures a second, kilobits a second.
inline constexpr std::u16string_view kVerifyConnectMsFormat = u"连接 %1 ms";
inline constexpr std::u16string_view kVerifyLoginMsFormat = u"登录 %1 ms";
inline constexpr std::u16string_view kVerifyFirstKeyMsFormat = u"首个关键帧 %1 ms";
inline constexpr std::u16string_view kVerifyFpsFormat = u"%1 帧/秒";
inline constexpr std::u16string_view kVerifyKbpsFormat = u"码率 %1 kbps";
inline constexpr std::u16string_view kVerifySeparator = u"，";
// Between the states of two devices that answer at one address.
inline constexpr std::u16string_view kStatesSeparator = u"；";
// The command line's and the window's progress: %1 devices done of %2, %3 of them failed.
inline constexpr std::u16string_view kVerifyProgressFormat = u"已验证 %1/%2 台设备，%3 台未通过";

// What is wrong with a camera's picture, with the figures that say so (levels of 0-255).
// %1 brightness.
inline constexpr std::u16string_view kPictureBlackFormat = u"画面全黑（亮度 %1/255）";
// %1 brightness, %2 contrast.
inline constexpr std::u16string_view kPictureWashedOutFormat =
    u"画面过亮发白（亮度 %1/255，对比度 %2）";
// %1 contrast.
inline constexpr std::u16string_view kPictureFlatFormat = u"画面一片单色，没有内容（对比度 %1）";
// %1 sharpness, %2 contrast.
inline constexpr std::u16string_view kPictureBlurredFormat = u"画面模糊（清晰度 %1，对比度 %2）";
// %1 seconds.
inline constexpr std::u16string_view kPictureFrozenFormat = u"画面静止（%1 秒内没有变化）";

// The main list against the window's site.
inline constexpr std::u16string_view kSiteColumn = u"现场状态";
inline constexpr std::u16string_view kSiteFilterMenu = u"按现场状态显示";
inline constexpr std::u16string_view kSiteShowAll = u"全部设备";
// The window's title with its site: %1 the title, %2 the site's name.
inline constexpr std::u16string_view kSiteTitleFormat = u"%1 - 现场：%2";
// The site window's column of each row's result while a plan is applied.
inline constexpr std::u16string_view kSiteApplyResult = u"应用结果";
// The column of the plan file's line numbers.
inline constexpr std::u16string_view kSitePlanLine = u"计划行";
inline constexpr std::u16string_view kSiteApplyWritten = u"已写入，等待搜索确认";
// The window's title while the list shows one state: %1 the title, %2 the state.
inline constexpr std::u16string_view kSiteFilteredFormat = u"%1（只显示%2）";
// In the list while its filter shows nothing, with the way back: %1 the state.
inline constexpr std::u16string_view kSiteFilterEmptyFormat =
    u"当前没有状态为“%1”的设备。在列表上单击右键（或按菜单键），选择“现场” → “按现场状态显示” → "
    u"“全部设备”，即可显示所有设备。";

// Firmware confirmed by reading the version back, one device first on request.
// The batch window's check box: the first checked device alone, confirmed by its version read back,
// before the rest.
inline constexpr std::u16string_view kGuardCanaryBox = u"先升级一台，确认成功后再升级其余";
inline constexpr std::u16string_view kGuardNotStarted = u"未开始：前面的设备没有升级成功";
inline constexpr std::u16string_view kGuardWaiting = u"已接受，等待设备重新出现…";
// %1 the version before the upload, %2 the one read back.
inline constexpr std::u16string_view kGuardUpgradedFormat = u"已升级：%1 → %2";
inline constexpr std::u16string_view kGuardOldVersionFormat =
    u"失败：设备重新出现后仍是原来的版本 %1";
inline constexpr std::u16string_view kGuardOtherVersionFormat =
    u"失败：设备重新出现后的版本是 %2（原来是 %1），不是升级包的版本";
inline constexpr std::u16string_view kGuardNoVersion = u"失败：设备重新出现，但没有回答版本";
inline constexpr std::u16string_view kGuardNotBack = u"失败：等待时间内没有再搜索到设备";
inline constexpr std::u16string_view kGuardCanaryFailed =
    u"先升级的设备没有升级成功，其余设备没有发送任何数据";
inline constexpr std::u16string_view kGuardStoppedFailed = u"有设备没有升级成功，其余设备没有开始";
// %1 devices of %2 came back with the new version.
inline constexpr std::u16string_view kGuardUpgradedCountFormat = u"%2 台设备中有 %1 台升级成功";
inline constexpr std::u16string_view kGuardSiteFailedFormat = u"现场文件没有记录升级：%1";
inline constexpr std::u16string_view kGuardPackageUnreadableFormat =
    u"没有发送任何数据：无法读取升级包 %1";
inline constexpr std::u16string_view kGuardDuplicateAddressFormat = u"地址 %1 出现了不止一次";
// %1 the address of the device the package does not fit.
inline constexpr std::u16string_view kGuardNotStartedMisfitFormat =
    u"未开始：升级包不适合设备 %1，没有向任何设备发送数据";
// %1 the device's type code.
inline constexpr std::u16string_view kGuardNoFirmwareFormat = u"类型 %1 的设备不能升级固件";
inline constexpr std::u16string_view kNoWaitOneDevice = u"--no-wait 只能用于一台设备";
// The command line's status words (its JSON keeps them in English), in the language shown.
inline constexpr std::u16string_view kUpgradeStatusAccepted = u"已接受";
inline constexpr std::u16string_view kUpgradeStatusRefused = u"被拒绝";
inline constexpr std::u16string_view kUpgradeStatusNoAnswer = u"没有回答";
inline constexpr std::u16string_view kUpgradeStatusNotConnected = u"未连接";
inline constexpr std::u16string_view kUpgradeStatusNoFile = u"没有文件名";
inline constexpr std::u16string_view kUpgradeStatusNameTooLong = u"文件名太长";
inline constexpr std::u16string_view kUpgradeStatusNotNewer = u"版本不比设备的新";
inline constexpr std::u16string_view kUpgradeStatusWrongFile = u"升级文件不对";
inline constexpr std::u16string_view kUpgradeStatusFileError = u"文件错误";
inline constexpr std::u16string_view kUpgradeStatusFileTooLarge = u"文件太大";
inline constexpr std::u16string_view kUpgradeStatusHeaderNotSent = u"帧头没有发出";
inline constexpr std::u16string_view kUpgradeStatusStreamFailed = u"传输中断";
inline constexpr std::u16string_view kUpgradeStatusCancelled = u"已取消";
inline constexpr std::u16string_view kUpgradeStatusNotFound = u"没有搜索到";
inline constexpr std::u16string_view kUpgradeStatusWrongType = u"这种设备不能升级";
inline constexpr std::u16string_view kUpgradeStatusLoginFailed = u"登录没有通过";
inline constexpr std::u16string_view kUpgradeStatusBusy = u"正在上传";
inline constexpr std::u16string_view kUpgradeStatusUpgraded = u"已升级";
inline constexpr std::u16string_view kUpgradeStatusOldVersion = u"仍是原来的版本";
inline constexpr std::u16string_view kUpgradeStatusOtherVersion = u"其他版本";
inline constexpr std::u16string_view kUpgradeStatusNoVersion = u"没有回答版本";
inline constexpr std::u16string_view kUpgradeStatusNotBack = u"没有再出现";
inline constexpr std::u16string_view kUpgradeStatusNotStarted = u"未开始";
inline constexpr std::u16string_view kUpgradeStatusMisfit = u"升级包不适合";
inline constexpr std::u16string_view kUpgradeStatusNoSuchFile = u"没有这个文件";
inline constexpr std::u16string_view kUpgradeStatusSiteError = u"现场文件错误";

// Why a device does not show up. The status line after a search: %1 interfaces searched,
// %2 replies, %3 devices listed, %4 replies dropped.
inline constexpr std::u16string_view kSearchSummaryFormat =
    u"接口 %1 · 回复 %2 · 设备 %3 · 丢弃 %4";
// Columns of the per-interface figures.
inline constexpr std::u16string_view kDiagInterface = u"接口";
inline constexpr std::u16string_view kDiagAddress = u"地址";
inline constexpr std::u16string_view kDiagRequests = u"请求";
inline constexpr std::u16string_view kDiagReplies = u"回复";
inline constexpr std::u16string_view kDiagRows = u"设备数";
inline constexpr std::u16string_view kDiagOtherSubnet = u"其他网段";
inline constexpr std::u16string_view kDiagConflicts = u"冲突";
// Dropped replies, by reason.
inline constexpr std::u16string_view kDiagMalformed = u"格式错误";
inline constexpr std::u16string_view kDiagNotAsked = u"未请求";
inline constexpr std::u16string_view kDiagOverRowCap = u"超出上限";
// Hints; %1 an interface's name.
inline constexpr std::u16string_view kHintNoMulticastRoute =
    u"系统没有到组播地址 233.0.0.1 的路由（没有默认路由，也没有 224.0.0.0/4）";
inline constexpr std::u16string_view kHintNoRouteOnFormat = u"%1：没有组播路由，搜索请求没有发出";
// %2 the system's error number.
inline constexpr std::u16string_view kHintSendFailedFormat = u"%1：搜索请求没有发出（错误 %2）";
inline constexpr std::u16string_view kHintInterfaceDownFormat = u"%1 已关闭或没有连接（网线？）";
inline constexpr std::u16string_view kHintNoAddressFormat = u"%1 没有 IPv4 地址，不能在这里搜索";
inline constexpr std::u16string_view kHintNoMulticastFormat = u"%1 不支持组播，没有在这里搜索";
inline constexpr std::u16string_view kHintContainerBridgeFormat =
    u"%1 像是容器或虚拟机的网桥，不是设备所在的网络";
inline constexpr std::u16string_view kHintVpnFormat =
    u"%1 像是 VPN：组播搜索一般到不了另一端的设备";
inline constexpr std::u16string_view kHintNoPacketSocket =
    u"没有抓包权限（CAP_NET_RAW）：看不到其他网段设备的 MAC 和地址冲突";

// The report handed over with a site. %1 the site's name.
inline constexpr std::u16string_view kReportTitleFormat = u"现场报告：%1";
// %1 a date and time.
inline constexpr std::u16string_view kReportMadeFormat = u"报告日期：%1";
inline constexpr std::u16string_view kReportCreatedFormat = u"现场建立于：%1";
inline constexpr std::u16string_view kReportDevices = u"设备清单";
inline constexpr std::u16string_view kReportColPicture = u"画面";
inline constexpr std::u16string_view kReportColDevice = u"MAC 与地址";
inline constexpr std::u16string_view kReportColName = u"名称与位置";
inline constexpr std::u16string_view kReportColType = u"类型与固件";
inline constexpr std::u16string_view kReportColVerify = u"验证结果";
// %1 the address the plan gives a device that was last seen elsewhere.
inline constexpr std::u16string_view kReportPlannedFormat = u"计划地址 %1";
inline constexpr std::u16string_view kReportNotVerified = u"未验证";
inline constexpr std::u16string_view kReportPending = u"未完成";
inline constexpr std::u16string_view kReportNoPicture = u"没有画面";
// The figures of a verification, each with its measured value as %1 (and %2).
inline constexpr std::u16string_view kReportConnectFormat = u"连接 %1 ms";
inline constexpr std::u16string_view kReportLoginFormat = u"登录 %1 ms";
inline constexpr std::u16string_view kReportFirstKeyFormat = u"首个关键帧 %1 ms";
inline constexpr std::u16string_view kReportFpsFormat = u"%1 帧/秒";
inline constexpr std::u16string_view kReportKbpsFormat = u"码率 %1 kbit/s";
inline constexpr std::u16string_view kReportSizeFormat = u"分辨率 %1×%2";
inline constexpr std::u16string_view kReportSecondsFormat = u"测量 %1 秒";
inline constexpr std::u16string_view kReportVerifiedAtFormat = u"验证于 %1";
inline constexpr std::u16string_view kReportLog = u"操作记录";
inline constexpr std::u16string_view kReportNoActions = u"没有操作记录";
inline constexpr std::u16string_view kReportNoDevices = u"现场中没有设备";
inline constexpr std::u16string_view kReportColTime = u"时间";
inline constexpr std::u16string_view kReportColAction = u"操作";
inline constexpr std::u16string_view kReportColChange = u"变更";
inline constexpr std::u16string_view kReportColOutcome = u"结果";
inline constexpr std::u16string_view kReportColDetail = u"说明";
inline constexpr std::u16string_view kReportKindAddress = u"修改地址";
inline constexpr std::u16string_view kReportKindUpgrade = u"固件升级";
inline constexpr std::u16string_view kReportKindReboot = u"重启";
inline constexpr std::u16string_view kReportKindVerify = u"设备验证";
inline constexpr std::u16string_view kReportOk = u"成功";
inline constexpr std::u16string_view kReportFailed = u"失败";
// %1 the package's file name, %2 its SHA-256.
inline constexpr std::u16string_view kReportPackageFormat = u"升级包 %1（SHA-256 %2）";
// The summary at the top of the report.
inline constexpr std::u16string_view kReportSummary = u"概况";
// %1 planned devices, %2 of them in place, %3 at another address, %4 missing; %5 devices heard
// that are not in the plan.
inline constexpr std::u16string_view kReportSummaryPlanFormat =
    u"计划设备 %1 台：按计划就位 %2 台，不在计划地址 %3 台，没有应答 %4 台；计划外设备 %5 台";
// %1 passed, %2 failed, %3 never verified, %4 verified on a firmware they no longer run.
inline constexpr std::u16string_view kReportSummaryVerifyFormat =
    u"验证通过 %1 台，未通过 %2 台，未验证 %3 台；验证早于现在固件的 %4 台";
// %1 devices with a successful upgrade on record.
inline constexpr std::u16string_view kReportSummaryUpgradedFormat = u"固件升级成功 %1 台";
// %1 a date and time.
inline constexpr std::u16string_view kReportLastSeenFormat = u"最后应答于 %1";
inline constexpr std::u16string_view kReportNeverSeen = u"从未应答";
// A verification made before the firmware the device runs now.
inline constexpr std::u16string_view kReportOutdated = u"早于现在的固件";
// %1 the version verified, %2 the upgrade's date and time, %3 the version it brought.
inline constexpr std::u16string_view kReportOutdatedUpgradeFormat =
    u"验证时的固件为 %1，%2 升级到 %3";
// %1 one of the two below.
inline constexpr std::u16string_view kReportOutdatedLineFormat = u"早于现在的固件：%1";
// %1 the version verified, %2 the version read since.
inline constexpr std::u16string_view kReportOutdatedVersionFormat = u"验证时的固件为 %1，现在为 %2";
// %1 actions, %2 of them ok, %3 failed, %4 not finished.
inline constexpr std::u16string_view kReportTotalActionsFormat =
    u"操作 %1 次：成功 %2 次，失败 %3 次，未完成 %4 次";
// The report's file.
inline constexpr std::u16string_view kReportExtension =
    u"报告的文件名必须以 .html 或 .pdf 结尾，没有写入任何文件";
// %1 the file, %2 the reason.
inline constexpr std::u16string_view kReportWriteFailedFormat = u"无法写入报告 %1：%2";
inline constexpr std::u16string_view kReportWrittenFormat = u"报告已写入 %1";
inline constexpr std::u16string_view kReportMaking = u"正在生成报告…";
inline constexpr std::u16string_view kReportMenu = u"报告…";
inline constexpr std::u16string_view kReportFileFilter = u"HTML 报告 (*.html);;PDF 报告 (*.pdf)";
inline constexpr std::u16string_view kReportNoSite = u"请先打开现场";
inline constexpr std::u16string_view kReportPdfFailed = u"无法生成 PDF";

// The wall of live pictures, for aiming and focusing cameras.
inline constexpr std::u16string_view kWallMenu = u"画面墙…";
inline constexpr std::u16string_view kWallCaption = u"画面墙";
inline constexpr std::u16string_view kWallTilesLabel = u"每页画面:";
inline constexpr std::u16string_view kWallStreamLabel = u"码流:";
// %1 the page shown, %2 the pages.
inline constexpr std::u16string_view kWallPageFormat = u"第 %1/%2 页";
inline constexpr std::u16string_view kWallKeysHint = u"方向键选择，PgUp/PgDn 翻页，回车打开预览";
// %1 pictures a second, %2 kbit/s.
inline constexpr std::u16string_view kWallRatesFormat = u"%1 帧/秒  %2 kbit/s";
// %1 the live sharpness, %2 the best since the tile opened.
inline constexpr std::u16string_view kWallFocusFormat = u"清晰度 %1 / 最佳 %2";
inline constexpr std::u16string_view kWallNoCameras = u"没有可以显示的摄像机";

}  // namespace tarvo::text::msg

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>tarvo</name>
    <message>
        <source>mac地址</source>
        <translation>MAC Address</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>视频解码器</source>
        <translation>Video decoder</translation>
    </message>
    <message>
        <source>R系列摄像机</source>
        <translation>R-series camera</translation>
    </message>
    <message>
        <source>T系列摄像机</source>
        <translation>T-series camera</translation>
    </message>
    <message>
        <source>200W摄像机</source>
        <translation>2 MP camera</translation>
    </message>
    <message>
        <source>V系列摄像机130万</source>
        <translation>V-series camera 1.3 MP</translation>
    </message>
    <message>
        <source>高速球摄像机</source>
        <translation>Speed dome camera</translation>
    </message>
    <message>
        <source>网络摄像机</source>
        <translation>IP camera</translation>
    </message>
    <message>
        <source>未知设备</source>
        <translation>Unknown device</translation>
    </message>
    <message>
        <source>V系列摄像机100万</source>
        <translation>V-series camera 1 MP</translation>
    </message>
    <message>
        <source>支持私有协议和Onvif协议</source>
        <translation>Private protocol and Onvif</translation>
    </message>
    <message>
        <source>仅支持私有协议</source>
        <translation>Private protocol only</translation>
    </message>
    <message>
        <source>显示</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>不显示</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>不限制分辨率</source>
        <translation>No resolution limit</translation>
    </message>
    <message>
        <source>只支持100万</source>
        <translation>1 MP only</translation>
    </message>
    <message>
        <source>宽 x 高：%1 x %2 , 编码模式：%3</source>
        <translation>Width x Height: %1 x %2 , Codec: %3</translation>
    </message>
    <message>
        <source>已有 %1 秒没有收到图像</source>
        <translation>No picture received for %1 s</translation>
    </message>
    <message>
        <source>请先选择设备</source>
        <translation>Please select a device first</translation>
    </message>
    <message>
        <source>连接摄像机失败</source>
        <translation>Failed to connect to the camera</translation>
    </message>
    <message>
        <source>设备 %1 在 %2 秒内没有应答</source>
        <translation>Device %1 did not answer within %2 seconds</translation>
    </message>
    <message>
        <source>设备 %1 在 %2 秒内没有回答版本查询</source>
        <translation>Device %1 did not answer the version query within %2 seconds</translation>
    </message>
    <message>
        <source>获取摄像机版本信息失败</source>
        <translation>Failed to read the camera&apos;s version</translation>
    </message>
    <message>
        <source>摄像机版本信息出错</source>
        <translation>The camera&apos;s version is malformed</translation>
    </message>
    <message>
        <source>操作不支持，摄像机版本太低，请升级到最新版本</source>
        <translation>Not supported: the camera&apos;s firmware is too old, please upgrade it to the latest version</translation>
    </message>
    <message>
        <source>摄像机已重新分配MAC地址，重启后生效</source>
        <translation>The camera has a new MAC address; it takes effect after a reboot</translation>
    </message>
    <message>
        <source>设备没有回复网络参数，没有修改任何设置</source>
        <translation>The device did not send its network settings; nothing was changed</translation>
    </message>
    <message>
        <source>摄像机没有回复配置参数，没有修改任何设置</source>
        <translation>The camera did not send its settings; nothing was changed</translation>
    </message>
    <message>
        <source>端口输入错误</source>
        <translation>Invalid port</translation>
    </message>
    <message>
        <source>云端连接密码太长（最多 63 个字节），没有修改任何设置</source>
        <translation>The cloud password is too long (at most 63 bytes); nothing was changed</translation>
    </message>
    <message>
        <source>ip地址与网关不在一个网段! 请检查</source>
        <translation>The IP address and the gateway are not in the same subnet! Please check</translation>
    </message>
    <message>
        <source>IP地址不是有效的IPv4地址! 请检查</source>
        <translation>The IP address is not a valid IPv4 address! Please check</translation>
    </message>
    <message>
        <source>子网掩码不是有效的IPv4地址! 请检查</source>
        <translation>The subnet mask is not a valid IPv4 address! Please check</translation>
    </message>
    <message>
        <source>网关不是有效的IPv4地址! 请检查</source>
        <translation>The gateway is not a valid IPv4 address! Please check</translation>
    </message>
    <message>
        <source>DNS服务器不是有效的IPv4地址! 请检查</source>
        <translation>The DNS server is not a valid IPv4 address! Please check</translation>
    </message>
    <message>
        <source>子网掩码无效: 前面必须全是1, 后面全是0 (例如 255.255.255.0)! 请检查</source>
        <translation>Invalid subnet mask: all ones first, then all zeros (e.g. 255.255.255.0)! Please check</translation>
    </message>
    <message>
        <source>IP地址是所在网段的网络地址, 设备无法使用! 请检查</source>
        <translation>The IP address is the network address of its subnet; no device can use it! Please check</translation>
    </message>
    <message>
        <source>IP地址是所在网段的广播地址, 设备无法使用! 请检查</source>
        <translation>The IP address is the broadcast address of its subnet; no device can use it! Please check</translation>
    </message>
    <message>
        <source>不在同一网段</source>
        <translation>Not in the same subnet</translation>
    </message>
    <message>
        <source>正在升级......</source>
        <translation>Upgrading......</translation>
    </message>
    <message>
        <source>摄像机正在升级，请不要断电，重新搜到摄像机表示升级完成</source>
        <translation>The camera is upgrading. Do not switch it off; the upgrade is complete when a search finds the camera again</translation>
    </message>
    <message>
        <source>升级失败, 请检查网络、选择正确的升级文件</source>
        <translation>Upgrade failed. Please check the network and choose the right upgrade file</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Upgrade failed</translation>
    </message>
    <message>
        <source>你选择了错误的升级文件</source>
        <translation>You chose the wrong upgrade file</translation>
    </message>
    <message>
        <source>NVR正在升级，请不要断电，升级完后NVR会自动重启</source>
        <translation>The NVR is upgrading. Do not switch it off; the NVR restarts by itself when the upgrade is done</translation>
    </message>
    <message>
        <source>你选择了升级 uboot</source>
        <translation>You chose to upgrade: uboot</translation>
    </message>
    <message>
        <source>你选择了升级 环境变量</source>
        <translation>You chose to upgrade: environment</translation>
    </message>
    <message>
        <source>你选择了升级 文件系统</source>
        <translation>You chose to upgrade: file system</translation>
    </message>
    <message>
        <source>你选择了升级 内核</source>
        <translation>You chose to upgrade: kernel</translation>
    </message>
    <message>
        <source>升级文件不是普通文件，没有发送任何数据</source>
        <translation>The upgrade file is not a regular file; nothing was sent</translation>
    </message>
    <message>
        <source>升级文件太大（2 GB 或以上），没有发送任何数据</source>
        <translation>The upgrade file is too large (2 GB or more); nothing was sent</translation>
    </message>
    <message>
        <source>连接NVR失败！</source>
        <translation>Failed to connect to the NVR!</translation>
    </message>
    <message>
        <source>获取NVR分辨率失败！</source>
        <translation>Failed to read the NVR&apos;s resolution!</translation>
    </message>
    <message>
        <source>用户名密码错误</source>
        <translation>Username and password do not match </translation>
    </message>
    <message>
        <source>序号</source>
        <translation>Seq</translation>
    </message>
    <message>
        <source>IP 地址</source>
        <translation>IP Address</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>修改</source>
        <translation>Modify</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IP 地址:</source>
        <translation>IP Address:</translation>
    </message>
    <message>
        <source>子网掩码:</source>
        <translation>Mask:</translation>
    </message>
    <message>
        <source>网关:</source>
        <translation>Gateway:</translation>
    </message>
    <message>
        <source>DNS 服务器:</source>
        <translation>DNS Server:</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>用户名:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>码流:</source>
        <translation>Stream:</translation>
    </message>
    <message>
        <source>主码流</source>
        <translation>Main stream</translation>
    </message>
    <message>
        <source>子码流</source>
        <translation>Sub-stream</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>网络设置修改</source>
        <translation>Net Set And Modify</translation>
    </message>
    <message>
        <source>初始化网络失败</source>
        <translation>Failed to initialize the network</translation>
    </message>
    <message>
        <source>预览图像</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>HTTP端口:</source>
        <translation>HTTP Port:</translation>
    </message>
    <message>
        <source>使用音频</source>
        <translation>Use audio</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>摄像机配置</source>
        <translation>Camera Configuration</translation>
    </message>
    <message>
        <source>摄像机IP：</source>
        <translation>Camera IP:</translation>
    </message>
    <message>
        <source>摄像机版本：</source>
        <translation>Camera version:</translation>
    </message>
    <message>
        <source>摄像机协议：</source>
        <translation>Camera protocol:</translation>
    </message>
    <message>
        <source>主码流分辨率：</source>
        <translation>Main resolution:</translation>
    </message>
    <message>
        <source>图像上日期时间：</source>
        <translation>Date/time overlay:</translation>
    </message>
    <message>
        <source>Onvif 子码流：</source>
        <translation>Onvif sub-stream:</translation>
    </message>
    <message>
        <source>解决摄像机MAC地址冲突</source>
        <translation>Fix camera MAC conflict</translation>
    </message>
    <message>
        <source>* 00.00.05.08及以上版本有效</source>
        <translation>* Version 00.00.05.08 and later</translation>
    </message>
    <message>
        <source>* 00.00.22.06及以上版本有效</source>
        <translation>* Version 00.00.22.06 and later</translation>
    </message>
    <message>
        <source>* 00.00.19.20及以上版本有效</source>
        <translation>* Version 00.00.19.20 and later</translation>
    </message>
    <message>
        <source>* V系列00.00.08.08及以上版本有效</source>
        <translation>* V-series 00.00.08.08 and later</translation>
    </message>
    <message>
        <source>* 建议使用Onvif时设置不显示</source>
        <translation>* With Onvif, Hide is advised</translation>
    </message>
    <message>
        <source>* 修改后摄像机自动重启</source>
        <translation>* The camera reboots after a change</translation>
    </message>
    <message>
        <source>* 成功时弹出提示，失败无提示</source>
        <translation>* A message on success, none on failure</translation>
    </message>
    <message>
        <source>* 摄像机重启后配置生效，重启后验证。</source>
        <translation>* Settings take effect after the camera reboots; check them then.</translation>
    </message>
    <message>
        <source>云端设置</source>
        <translation>Cloud</translation>
    </message>
    <message>
        <source>设备ID:</source>
        <translation>Device ID:</translation>
    </message>
    <message>
        <source>云端连接密码:</source>
        <translation>Cloud password:</translation>
    </message>
    <message>
        <source>KelvraV4.6 - 支持1200W摄像机</source>
        <translation>KelvraV4.6 - supports 12 MP cameras</translation>
    </message>
    <message>
        <source>搜索设备</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>网络配置</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>参数配置</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>升级</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>重启</source>
        <translation>Reboot</translation>
    </message>
    <message>
        <source>* 可在 摄像机升级 中查看版本信息</source>
        <translation>* Versions are shown in Camera Upgrade</translation>
    </message>
    <message>
        <source>关于 Tarvo(&amp;A)...</source>
        <translation>&amp;About Tarvo...</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>高清</source>
        <translation>HD</translation>
    </message>
    <message>
        <source>网络视频设备工具</source>
        <translation>Network video device tool</translation>
    </message>
    <message>
        <source>摄像机升级</source>
        <translation>Camera Upgrade</translation>
    </message>
    <message>
        <source>摄像机当前版本：</source>
        <translation>Current version:</translation>
    </message>
    <message>
        <source>检查版本</source>
        <translation>Check version</translation>
    </message>
    <message>
        <source>升级路径：</source>
        <translation>Upgrade file:</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>* 摄像机版本标示介绍：
  例如：v00.00.02.08, 
        中间 02：表示摄像机版本
        最后 08：表示摄像机类型，固定不变</source>
        <translation>* How camera versions read:
  e.g. v00.00.02.08, 
        02 in the middle: the camera version
        08 at the end: the camera type, never changes</translation>
    </message>
    <message>
        <source>* 升级时必须用同类型的升级包，即 升级包的最后两位必须与当前版本最后两位一致，
  否则会升级出错，导致摄像机无法使用</source>
        <translation>* Upgrade only with a package of the same type: its last two digits must match the current version&apos;s,
  otherwise the upgrade fails and the camera becomes unusable</translation>
    </message>
    <message>
        <source>NVR升级</source>
        <translation>NVR Upgrade</translation>
    </message>
    <message>
        <source>NVR IP地址：</source>
        <translation>NVR IP:</translation>
    </message>
    <message>
        <source>NVR当前版本：</source>
        <translation>NVR version:</translation>
    </message>
    <message>
        <source>* 不支持V8.7及其以下版本</source>
        <translation>* V8.7 and older are not supported</translation>
    </message>
    <message>
        <source>NVR配置</source>
        <translation>NVR Configuration</translation>
    </message>
    <message>
        <source>分辨率：</source>
        <translation>Resolution:</translation>
    </message>
    <message>
        <source>登录成功</source>
        <translation>Login accepted</translation>
    </message>
    <message>
        <source>设备正在重启</source>
        <translation>The device restarts</translation>
    </message>
    <message>
        <source>没有要修改的设置，没有发送任何数据</source>
        <translation>Nothing to change; nothing was sent</translation>
    </message>
    <message>
        <source>已保存 %1（%2 字节）</source>
        <translation>Saved %1 (%2 bytes)</translation>
    </message>
    <message>
        <source>正在录制：%1 秒，%2 字节</source>
        <translation>Recording: %1 s, %2 bytes</translation>
    </message>
    <message>
        <source>已录制 %1 秒到 %2（%3 字节）</source>
        <translation>Recorded %1 s into %2 (%3 bytes)</translation>
    </message>
    <message>
        <source>文件名必须以 .png、.jpg 或 .jpeg 结尾</source>
        <translation>the file name must end in .png, .jpg or .jpeg</translation>
    </message>
    <message>
        <source>未知的分辨率 %1，可选：%2</source>
        <translation>Unknown resolution %1; one of: %2</translation>
    </message>
    <message>
        <source>网段</source>
        <translation>Subnet</translation>
    </message>
    <message>
        <source>同一网段</source>
        <translation>Same subnet</translation>
    </message>
    <message>
        <source>导出列表失败，文件没有写入</source>
        <translation>The list could not be exported; the file was not written</translation>
    </message>
    <message>
        <source>设备没有出现在新地址</source>
        <translation>The device did not appear at its new address</translation>
    </message>
    <message>
        <source>已修改</source>
        <translation>Changed</translation>
    </message>
    <message>
        <source>网段内没有空闲地址</source>
        <translation>No free address left in the subnet</translation>
    </message>
    <message>
        <source>没有搜索到设备</source>
        <translation>The device did not answer the search</translation>
    </message>
    <message>
        <source>NVR/DVR 不能批量修改</source>
        <translation>NVRs and DVRs are not changed in a batch</translation>
    </message>
    <message>
        <source>设备没有接受新参数</source>
        <translation>The device did not take the new parameters</translation>
    </message>
    <message>
        <source>导出列表…</source>
        <translation>Export list…</translation>
    </message>
    <message>
        <source>计划修改</source>
        <translation>Planned</translation>
    </message>
    <message>
        <source>批量修改IP…</source>
        <translation>Batch addresses…</translation>
    </message>
    <message>
        <source>旧地址</source>
        <translation>Old address</translation>
    </message>
    <message>
        <source>新地址</source>
        <translation>New address</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>Start address</translation>
    </message>
    <message>
        <source>子网掩码</source>
        <translation>Subnet mask</translation>
    </message>
    <message>
        <source>网关</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>DNS服务器</source>
        <translation>DNS server</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>起始地址无效</source>
        <translation>The start address is not valid</translation>
    </message>
    <message>
        <source>正在修改…</source>
        <translation>Changing…</translation>
    </message>
    <message>
        <source>批量升级…</source>
        <translation>Batch upgrade…</translation>
    </message>
    <message>
        <source>批量升级</source>
        <translation>Batch Upgrade</translation>
    </message>
    <message>
        <source>升级文件：</source>
        <translation>Package:</translation>
    </message>
    <message>
        <source>等待</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>…</source>
        <translation>…</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>版本不比设备的新，未发送</source>
        <translation>Not newer than the device; not sent</translation>
    </message>
    <message>
        <source>连接设备失败，未发送</source>
        <translation>Cannot connect; not sent</translation>
    </message>
    <message>
        <source>设备列表已满（65536 台设备），本次搜索的其余设备没有列出</source>
        <translation>The device list is full (65536 devices); further devices of this search are not listed</translation>
    </message>
    <message>
        <source>地址冲突：多台设备从这个地址应答：</source>
        <translation>Address conflict: several devices answer from this address:</translation>
    </message>
    <message>
        <source>无法发现地址冲突：读取设备自己发出的数据帧需要 CAP_NET_RAW 权限</source>
        <translation>Address conflicts cannot be seen: reading the devices' own frames needs CAP_NET_RAW</translation>
    </message>
    <message>
        <source>没有发送任何数据：这些设备都会接受这个修改：请只连接其中一台，或先修改其他设备：</source>
        <translation>Nothing was sent: these devices would all take the change: disconnect all but one, or change the others first:</translation>
    </message>
    <message>
        <source>这些设备都会接受这个查询，显示的值可能来自其中任何一台：</source>
        <translation>These devices all take this query, so the values shown may come from any of them:</translation>
    </message>
    <message>
        <source>地址冲突</source>
        <translation>Address conflict</translation>
    </message>
    <message>
        <source>显示计划</source>
        <translation>Show plan</translation>
    </message>
    <message>
        <source>正在搜索…</source>
        <translation>Searching…</translation>
    </message>
    <message>
        <source>网络上的设备有变化，计划已更新，没有发送任何数据。请检查新的计划后再按开始</source>
        <translation>The devices on the network have changed and the plan was updated; nothing was sent. Check the new plan, then press Start</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>版本</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>进度</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>物理地址</source>
        <translation>Physical address</translation>
    </message>
    <message>
        <source>ip地址</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>掩码</source>
        <translation>Mask</translation>
    </message>
    <message>
        <source>默认网关</source>
        <translation>Default gateway</translation>
    </message>
    <message>
        <source>dns服务器</source>
        <translation>DNS server</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>安装位置</source>
        <translation>Mounting location</translation>
    </message>
    <message>
        <source>现场文件 %1 含有本程序不会建立的对象（%2），没有打开，也没有修改</source>
        <translation>The site file %1 holds objects this program does not make (%2); it was neither opened nor changed</translation>
    </message>
    <message>
        <source>%1 是指向不存在文件的链接，没有建立现场</source>
        <translation>%1 is a link to a file that does not exist; no site was made there</translation>
    </message>
    <message>
        <source>本次搜索没有记入现场：%1</source>
        <translation>This search was not recorded in the site: %1</translation>
    </message>
    <message>
        <source>%1 不是现场文件，没有修改</source>
        <translation>%1 is not a site file; it was left unchanged</translation>
    </message>
    <message>
        <source>现场文件 %1 已损坏，没有修改：%2</source>
        <translation>The site file %1 is damaged and was left unchanged: %2</translation>
    </message>
    <message>
        <source>现场文件 %1 来自更新版本的程序（格式 %2，本程序最高支持 %3），没有修改</source>
        <translation>The site file %1 comes from a newer version of Tarvo (schema %2; this one reads up to %3); it was left unchanged</translation>
    </message>
    <message>
        <source>无法打开现场文件 %1：%2</source>
        <translation>Cannot open the site file %1: %2</translation>
    </message>
    <message>
        <source>现场文件 %1 正被另一个程序占用，请稍后再试</source>
        <translation>The site file %1 is busy in another program; try again later</translation>
    </message>
    <message>
        <source>现场文件 %1 写入失败：%2</source>
        <translation>Could not write the site file %1: %2</translation>
    </message>
    <message>
        <source>无法读取计划文件 %1</source>
        <translation>Cannot read the plan file %1</translation>
    </message>
    <message>
        <source>第 %1 行：%2</source>
        <translation>Line %1: %2</translation>
    </message>
    <message>
        <source>计划文件缺少 MAC 列或 IP 地址列</source>
        <translation>The plan has no MAC column or no address column</translation>
    </message>
    <message>
        <source>计划文件中没有设备</source>
        <translation>The plan lists no devices</translation>
    </message>
    <message>
        <source>计划文件太大</source>
        <translation>The plan file is too large</translation>
    </message>
    <message>
        <source>无法识别的 MAC 地址：%1</source>
        <translation>Not a MAC address: %1</translation>
    </message>
    <message>
        <source>不是有效的 IP 地址：%1</source>
        <translation>Not a valid IP address: %1</translation>
    </message>
    <message>
        <source>不是有效的子网掩码：%1</source>
        <translation>Not a valid subnet mask: %1</translation>
    </message>
    <message>
        <source>MAC 地址 %1 在第 %2 行已出现</source>
        <translation>MAC %1 is already on line %2</translation>
    </message>
    <message>
        <source>IP 地址 %1 在第 %2 行已出现</source>
        <translation>Address %1 is already planned on line %2</translation>
    </message>
    <message>
        <source>%1 不是子网 %2 中的主机地址</source>
        <translation>%1 is not a host address of its subnet (mask %2)</translation>
    </message>
    <message>
        <source>网关 %1 不在 %2/%3 的子网内</source>
        <translation>Gateway %1 is outside the subnet of %2/%3</translation>
    </message>
    <message>
        <source>地址 %1 已被另一台设备（%2）使用</source>
        <translation>Address %1 already answers from another device (%2)</translation>
    </message>
    <message>
        <source>设备 %1 没有应答搜索</source>
        <translation>Device %1 did not answer the search</translation>
    </message>
    <message>
        <source>设备 %1 从多个地址应答：%2</source>
        <translation>Device %1 answers from several addresses: %2</translation>
    </message>
    <message>
        <source>地址 %1 上有多台设备应答：%2</source>
        <translation>Several devices answer from %1: %2</translation>
    </message>
    <message>
        <source>%1 不是设备可以使用的单播地址</source>
        <translation>%1 is not a unicast address a device can use</translation>
    </message>
    <message>
        <source>%1 是本机的地址</source>
        <translation>%1 is an address of this computer</translation>
    </message>
    <message>
        <source>之后只能通过搜索找到：预览、验证和网页需要电脑接入该网络或有到该网络的路由</source>
        <translation>Found afterwards only by search: preview, verify and the web page need this computer on that network or a route to it</translation>
    </message>
    <message>
        <source>%1 台设备没有执行，保留在计划中，下次应用时继续</source>
        <translation>Planned devices not applied: %1; they stay in the plan for the next apply</translation>
    </message>
    <message>
        <source>计划无法完整执行，没有发送任何命令：</source>
        <translation>The plan cannot be carried out completely; nothing was sent:</translation>
    </message>
    <message>
        <source>按计划就位</source>
        <translation>In place</translation>
    </message>
    <message>
        <source>不在计划地址</source>
        <translation>At another address</translation>
    </message>
    <message>
        <source>计划外设备</source>
        <translation>Not in the plan</translation>
    </message>
    <message>
        <source>没有应答</source>
        <translation>Missing</translation>
    </message>
    <message>
        <source>固件已变更</source>
        <translation>Firmware changed</translation>
    </message>
    <message>
        <source>MAC 未知</source>
        <translation>MAC unknown</translation>
    </message>
    <message>
        <source>没有发送：批量中有无法完成的设备</source>
        <translation>Not sent: the batch holds devices that cannot be done</translation>
    </message>
    <message>
        <source>现场</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>没有打开现场</source>
        <translation>No site is open</translation>
    </message>
    <message>
        <source>新建…</source>
        <translation>New…</translation>
    </message>
    <message>
        <source>打开…</source>
        <translation>Open…</translation>
    </message>
    <message>
        <source>导入地址计划…</source>
        <translation>Import address plan…</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>计划地址</source>
        <translation>Planned address</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>现场文件 (*.tarvo-site)</source>
        <translation>Site files (*.tarvo-site)</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv *.txt)</source>
        <translation>CSV files (*.csv *.txt)</translation>
    </message>
    <message>
        <source>要修改 %1 台设备的地址吗？</source>
        <translation>Change the address of %1 devices?</translation>
    </message>
    <message>
        <source>现场…</source>
        <translation>Site…</translation>
    </message>
    <message>
        <source>升级文件名太长（设备编码下超过 127 字节），没有发送任何数据</source>
        <translation>The upgrade file&apos;s name is too long (over 127 bytes as the device reads it); nothing was sent</translation>
    </message>
    <message>
        <source>升级文件 %1 不存在，没有发送任何数据</source>
        <translation>The upgrade file %1 does not exist; nothing was sent</translation>
    </message>
    <message>
        <source>缺少设备地址（%1 是升级文件）</source>
        <translation>The device address is missing (%1 is the upgrade file)</translation>
    </message>
    <message>
        <source>设备拒绝了用户名或密码</source>
        <translation>The device refused the user name or password</translation>
    </message>
    <message>
        <source>文件名必须以 .mp4、.mkv 或 .ts 结尾</source>
        <translation>The file name must end in .mp4, .mkv or .ts</translation>
    </message>
    <message>
        <source>没有设备应答；搜索过的网络接口：%1</source>
        <translation>No device answered; interfaces searched: %1</translation>
    </message>
    <message>
        <source>没有可以搜索的本地网络</source>
        <translation>No local network to search on</translation>
    </message>
    <message>
        <source>警告：%1 的值在进程列表中对本机其他用户可见；请改用：%2</source>
        <translation>warning: the value of %1 is visible to other users of this computer in the process list; use instead: %2</translation>
    </message>
    <message>
        <source>tarvo-cli：无法放弃权限，没有启动</source>
        <translation>tarvo-cli: could not give up its capabilities; not starting</translation>
    </message>
    <message>
        <source>未知的命令 %1</source>
        <translation>unknown command %1</translation>
    </message>
    <message>
        <source>%1 %2：超出范围</source>
        <translation>%1 %2: out of range</translation>
    </message>
    <message>
        <source>%1 %2：不是数字</source>
        <translation>%1 %2: not a number</translation>
    </message>
    <message>
        <source>使用 --help 查看更多信息。</source>
        <translation>Run with --help for more information.</translation>
    </message>
    <message>
        <source>%1 是 DVR（类型 %2）：%3 不适用于 DVR，没有发送任何数据</source>
        <translation>%1 is a DVR (type %2): %3 is not for DVRs; nothing sent</translation>
    </message>
    <message>
        <source>%1 是 NVR（类型 %2）：%3 只适用于摄像机和解码器，没有发送任何数据</source>
        <translation>%1 is an NVR (type %2): %3 is for cameras and decoders; nothing sent</translation>
    </message>
    <message>
        <source>%1 不是 NVR（类型 %2）：%3 只适用于 NVR，没有发送任何数据</source>
        <translation>%1 is not an NVR (type %2): %3 is for NVRs; nothing sent</translation>
    </message>
    <message>
        <source>设备 %1 没有应答任何本地网络上的搜索</source>
        <translation>device %1 did not answer the search on any local network</translation>
    </message>
    <message>
        <source>没有地址为 %1 的本地组播网络接口</source>
        <translation>no local multicast interface with address %1</translation>
    </message>
    <message>
        <source>--sort：应为 seq、ip、mac、name、note、type（或 0-5）之一，可在后面加上 :asc 或 :desc</source>
        <translation>--sort: expected one of seq, ip, mac, name, note, type (or 0-5), optionally followed by :asc or :desc</translation>
    </message>
    <message>
        <source>应为子网，例如 192.168.1.0/24</source>
        <translation>expected a subnet such as 192.168.1.0/24</translation>
    </message>
    <message>
        <source>--start 和 --mask 需要点分格式的地址，例如 192.168.1.100</source>
        <translation>--start and --mask take dotted addresses such as 192.168.1.100</translation>
    </message>
    <message>
        <source>无法读取 %1：%2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>标准输入</source>
        <translation>standard input</translation>
    </message>
    <message>
        <source>%1 的第一行超过 %2 字节</source>
        <translation>the first line of %1 is longer than %2 bytes</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>标准输入在密码行之前就结束了</source>
        <translation>standard input ended before a password line</translation>
    </message>
    <message>
        <source>警告：本机其他用户可以读取密码文件 %1（请执行 %2）</source>
        <translation>warning: other users can read the password file %1 (%2 it)</translation>
    </message>
    <message>
        <source>设备 %1 没有应答设置查询，没有写入任何数据</source>
        <translation>device %1 did not answer the settings query; nothing was written</translation>
    </message>
    <message>
        <source>这台摄像机的主码流分辨率不能设置（只有类型 89、版本 00.00.08.08 起才可以），保持不变</source>
        <translation>this camera's main-stream resolution cannot be set (type 89 from 00.00.08.08 only); leaving it</translation>
    </message>
    <message>
        <source>%1 没有发来视频流</source>
        <translation>no stream from %1</translation>
    </message>
    <message>
        <source>视频流在收到图像之前就结束了</source>
        <translation>the stream ended before picture arrived</translation>
    </message>
    <message>
        <source>视频流在收到关键帧之前就结束了</source>
        <translation>the stream ended before key picture arrived</translation>
    </message>
    <message>
        <source>%1 秒内没有收到图像</source>
        <translation>no picture arrived within %1 s</translation>
    </message>
    <message>
        <source>%1 秒内没有收到关键帧</source>
        <translation>no key picture arrived within %1 s</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>cannot write %1</translation>
    </message>
    <message>
        <source>无法写入 %1 的文件头</source>
        <translation>cannot write the header of %1</translation>
    </message>
    <message>
        <source>无法为 %1 建立封装</source>
        <translation>cannot make a muxer for %1</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>没有录制到任何内容</source>
        <translation>nothing recorded</translation>
    </message>
    <message>
        <source>没有录制到任何内容：%1</source>
        <translation>nothing recorded: %1</translation>
    </message>
    <message>
        <source>已计划 %1 台设备</source>
        <translation>%1 devices planned</translation>
    </message>
    <message>
        <source>摄像机版本：%1</source>
        <translation>camera version: %1</translation>
    </message>
    <message>
        <source>NVR 版本：%1</source>
        <translation>NVR version: %1</translation>
    </message>
    <message>
        <source>（没有应答）</source>
        <translation>(no answer)</translation>
    </message>
    <message>
        <source>NVR 分区文件的文件名以 uboot、env、rootfs 或 kernel 开头，没有发送任何数据</source>
        <translation>an NVR part file's name starts with uboot, env, rootfs or kernel; nothing sent</translation>
    </message>
    <message>
        <source>登录失败，没有发送任何数据</source>
        <translation>login failed; nothing sent</translation>
    </message>
    <message>
        <source>无法连接 %1:%2，没有发送任何数据</source>
        <translation>cannot connect to %1:%2; nothing sent</translation>
    </message>
    <message>
        <source>这台设备正在进行另一个上传，没有发送任何数据</source>
        <translation>an upload to this device is running; nothing sent</translation>
    </message>
    <message>
        <source>没有发送任何数据：摄像机升级包的文件名从第 12 个字符起是版本 NN.NN.NN.NN，以摄像机的类型（%1）结尾</source>
        <translation>nothing sent: a camera package's name carries its version NN.NN.NN.NN from character 12, ending in the camera's type (%1)</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>没有发送任何数据：升级包的版本（文件名第 12 个字符起：'%1'）不比摄像机的 %2 新</source>
        <translation>nothing sent: the package's version (name from character 12: '%1') is not newer than the camera's %2</translation>
    </message>
    <message>
        <source>没有发送任何数据：%1 中没有文件名</source>
        <translation>nothing sent: no file name in %1</translation>
    </message>
    <message>
        <source>没有发送任何数据：%1 不能作为升级包</source>
        <translation>nothing sent: cannot use %1 as a package</translation>
    </message>
    <message>
        <source>没有发送任何数据：%1 有 2 GiB 或更大</source>
        <translation>nothing sent: %1 is 2 GiB or larger</translation>
    </message>
    <message>
        <source>没有发送任何数据：没有连接</source>
        <translation>nothing sent: no connection</translation>
    </message>
    <message>
        <source>升级头没有发送成功</source>
        <translation>the upload header could not be sent</translation>
    </message>
    <message>
        <source>全部 %1 字节已发送，设备没有应答</source>
        <translation>all %1 bytes sent; the device did not answer</translation>
    </message>
    <message>
        <source>设备拒绝了升级包（应答标记 %1）</source>
        <translation>the device refused the package (answer tag %1)</translation>
    </message>
    <message>
        <source>%1/%2 块  %3/s  剩余 %4</source>
        <translation>%1/%2 pieces  %3/s  %4 left</translation>
    </message>
    <message>
        <source>%1/%2 块</source>
        <translation>%1/%2 pieces</translation>
    </message>
    <message>
        <source>上传：%1</source>
        <translation>upload: %1</translation>
    </message>
    <message>
        <source>%2 台设备中有 %1 台接受了升级包</source>
        <translation>%1 of %2 devices accepted the package</translation>
    </message>
    <message>
        <source>已经是 %1，没有发送任何数据</source>
        <translation>already %1; nothing sent</translation>
    </message>
    <message>
        <source>已设置为 %1</source>
        <translation>set to %1</translation>
    </message>
    <message>
        <source>新的分辨率没有发送成功</source>
        <translation>the new resolution could not be sent</translation>
    </message>
    <message>
        <source>计划 IP</source>
        <translation>Planned IP</translation>
    </message>
    <message>
        <source>上次 IP</source>
        <translation>Last IP</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>No such file or directory</translation>
    </message>
    <message>
        <source>没有权限</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <source>是一个目录</source>
        <translation>Is a directory</translation>
    </message>
    <message>
        <source>正在重启</source>
        <translation>rebooting</translation>
    </message>
    <message>
        <source>重启失败</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>无法连接 %1:%2</source>
        <translation>cannot connect to %1:%2</translation>
    </message>
    <message>
        <source>登录失败：连接中断</source>
        <translation>login failed: the connection broke off</translation>
    </message>
    <message>
        <source>设备没有回复固件版本</source>
        <translation>the device did not tell its firmware version</translation>
    </message>
    <message>
        <source>无法连接视频流端口 %1</source>
        <translation>cannot connect to the stream port %1</translation>
    </message>
    <message>
        <source>设备没有回复视频流请求</source>
        <translation>the device did not answer the stream request</translation>
    </message>
    <message>
        <source>视频流在测量期间中断</source>
        <translation>the stream broke off while it was measured</translation>
    </message>
    <message>
        <source>视频流停顿：最后 %1 秒没有收到图像</source>
        <translation>the stream stalled: no picture in the last %1 seconds</translation>
    </message>
    <message>
        <source>无法从视频流生成快照</source>
        <translation>no snapshot could be made from the stream</translation>
    </message>
    <message>
        <source>验证已中止</source>
        <translation>verification stopped</translation>
    </message>
    <message>
        <source>现场报告：%1</source>
        <translation>Site report: %1</translation>
    </message>
    <message>
        <source>报告日期：%1</source>
        <translation>Report date: %1</translation>
    </message>
    <message>
        <source>现场建立于：%1</source>
        <translation>Site created: %1</translation>
    </message>
    <message>
        <source>设备清单</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>画面</source>
        <translation>Picture</translation>
    </message>
    <message>
        <source>MAC 与地址</source>
        <translation>MAC and address</translation>
    </message>
    <message>
        <source>名称与位置</source>
        <translation>Name and location</translation>
    </message>
    <message>
        <source>类型与固件</source>
        <translation>Type and firmware</translation>
    </message>
    <message>
        <source>验证结果</source>
        <translation>Verification</translation>
    </message>
    <message>
        <source>计划地址 %1</source>
        <translation>planned %1</translation>
    </message>
    <message>
        <source>未验证</source>
        <translation>Not verified</translation>
    </message>
    <message>
        <source>通过</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>未通过</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>未完成</source>
        <translation>Not finished</translation>
    </message>
    <message>
        <source>没有画面</source>
        <translation>No picture</translation>
    </message>
    <message>
        <source>连接 %1 ms</source>
        <translation>connect %1 ms</translation>
    </message>
    <message>
        <source>登录 %1 ms</source>
        <translation>login %1 ms</translation>
    </message>
    <message>
        <source>首个关键帧 %1 ms</source>
        <translation>first key picture %1 ms</translation>
    </message>
    <message>
        <source>%1 帧/秒</source>
        <translation>%1 pictures/s</translation>
    </message>
    <message>
        <source>码率 %1 kbps</source>
        <translation>%1 kbit/s</translation>
    </message>
    <message>
        <source>固件</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>已变更</source>
        <translation>changed</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>已验证 %1/%2 台设备，%3 台未通过</source>
        <translation>%1 of %2 devices verified, %3 failed</translation>
    </message>
    <message>
        <source>画面全黑（亮度 %1/255）</source>
        <translation>picture is black (brightness %1 of 255)</translation>
    </message>
    <message>
        <source>画面过亮发白（亮度 %1/255，对比度 %2）</source>
        <translation>picture is washed out (brightness %1 of 255, contrast %2)</translation>
    </message>
    <message>
        <source>画面一片单色，没有内容（对比度 %1）</source>
        <translation>picture is flat, nothing to see (contrast %1)</translation>
    </message>
    <message>
        <source>画面模糊（清晰度 %1，对比度 %2）</source>
        <translation>picture is blurred (sharpness %1 at contrast %2)</translation>
    </message>
    <message>
        <source>画面静止（%1 秒内没有变化）</source>
        <translation>picture is frozen (no change in %1 s)</translation>
    </message>
    <message>
        <source>验证…</source>
        <translation>Verify…</translation>
    </message>
    <message>
        <source>验证</source>
        <translation>Verify</translation>
    </message>
    <message>
        <source>测量秒数</source>
        <translation>Seconds measured</translation>
    </message>
    <message>
        <source>同时验证</source>
        <translation>At a time</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>测量值</source>
        <translation>Figures</translation>
    </message>
    <message>
        <source>没有打开现场：结果不会保存</source>
        <translation>No site is open: the results are not kept</translation>
    </message>
    <message>
        <source>现场状态</source>
        <translation>Site state</translation>
    </message>
    <message>
        <source>当前没有状态为“%1”的设备。在列表上单击右键（或按菜单键），选择“现场” → “按现场状态显示” → “全部设备”，即可显示所有设备。</source>
        <translation>No device is "%1" now. Right-click the list (or press the Menu key) and choose Site → Show by site state → All devices to list every device.</translation>
    </message>
    <message>
        <source>按现场状态显示</source>
        <translation>Show by site state</translation>
    </message>
    <message>
        <source>全部设备</source>
        <translation>All devices</translation>
    </message>
    <message>
        <source>%1 - 现场：%2</source>
        <translation>%1 - Site: %2</translation>
    </message>
    <message>
        <source>应用结果</source>
        <translation>Apply result</translation>
    </message>
    <message>
        <source>计划行</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>%1（只显示%2）</source>
        <translation>%1 (only %2)</translation>
    </message>
    <message>
        <source>已写入，等待搜索确认</source>
        <translation>Written, confirming</translation>
    </message>
    <message>
        <source>先升级一台，确认成功后再升级其余</source>
        <translation>One device first, then the rest</translation>
    </message>
    <message>
        <source>未开始：前面的设备没有升级成功</source>
        <translation>Not started: an earlier device did not upgrade</translation>
    </message>
    <message>
        <source>已接受，等待设备重新出现…</source>
        <translation>Accepted; waiting for the device to come back…</translation>
    </message>
    <message>
        <source>已升级：%1 → %2</source>
        <translation>Upgraded: %1 → %2</translation>
    </message>
    <message>
        <source>失败：设备重新出现后仍是原来的版本 %1</source>
        <translation>Failed: the device came back with its old version %1</translation>
    </message>
    <message>
        <source>失败：设备重新出现后的版本是 %2（原来是 %1），不是升级包的版本</source>
        <translation>Failed: the device came back with version %2 (was %1), not the package's</translation>
    </message>
    <message>
        <source>失败：设备重新出现，但没有回答版本</source>
        <translation>Failed: the device came back but did not say its version</translation>
    </message>
    <message>
        <source>失败：等待时间内没有再搜索到设备</source>
        <translation>Failed: no search found the device again within the wait</translation>
    </message>
    <message>
        <source>先升级的设备没有升级成功，其余设备没有发送任何数据</source>
        <translation>The first device did not upgrade; nothing was sent to the rest</translation>
    </message>
    <message>
        <source>有设备没有升级成功，其余设备没有开始</source>
        <translation>A device did not upgrade; the rest were not started</translation>
    </message>
    <message>
        <source>%2 台设备中有 %1 台升级成功</source>
        <translation>%1 of %2 devices upgraded</translation>
    </message>
    <message>
        <source>现场文件没有记录升级：%1</source>
        <translation>The site did not record the upgrade: %1</translation>
    </message>
    <message>
        <source>没有发送任何数据：无法读取升级包 %1</source>
        <translation>Nothing sent: the package %1 cannot be read</translation>
    </message>
    <message>
        <source>地址 %1 出现了不止一次</source>
        <translation>The address %1 is given more than once</translation>
    </message>
    <message>
        <source>接口 %1 · 回复 %2 · 设备 %3 · 丢弃 %4</source>
        <translation>Interfaces %1 · replies %2 · devices %3 · dropped %4</translation>
    </message>
    <message>
        <source>接口</source>
        <translation>Interface</translation>
    </message>
    <message>
        <source>请求</source>
        <translation>Requests</translation>
    </message>
    <message>
        <source>回复</source>
        <translation>Replies</translation>
    </message>
    <message>
        <source>设备数</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>其他网段</source>
        <translation>Other subnet</translation>
    </message>
    <message>
        <source>冲突</source>
        <translation>Conflicts</translation>
    </message>
    <message>
        <source>格式错误</source>
        <translation>Malformed</translation>
    </message>
    <message>
        <source>未请求</source>
        <translation>Not asked</translation>
    </message>
    <message>
        <source>超出上限</source>
        <translation>Over the cap</translation>
    </message>
    <message>
        <source>系统没有到组播地址 233.0.0.1 的路由（没有默认路由，也没有 224.0.0.0/4）</source>
        <translation>The system has no route to the multicast group 233.0.0.1 (no default route, no 224.0.0.0/4)</translation>
    </message>
    <message>
        <source>%1：没有组播路由，搜索请求没有发出</source>
        <translation>%1: no multicast route, the search request was not sent</translation>
    </message>
    <message>
        <source>%1：搜索请求没有发出（错误 %2）</source>
        <translation>%1: the search request was not sent (error %2)</translation>
    </message>
    <message>
        <source>%1 已关闭或没有连接（网线？）</source>
        <translation>%1 is down or has no link (cable?)</translation>
    </message>
    <message>
        <source>%1 没有 IPv4 地址，不能在这里搜索</source>
        <translation>%1 has no IPv4 address: it cannot be searched</translation>
    </message>
    <message>
        <source>%1 不支持组播，没有在这里搜索</source>
        <translation>%1 does not do multicast: it was not searched</translation>
    </message>
    <message>
        <source>%1 像是容器或虚拟机的网桥，不是设备所在的网络</source>
        <translation>%1 looks like a container or virtual machine bridge, not the devices' network</translation>
    </message>
    <message>
        <source>%1 像是 VPN：组播搜索一般到不了另一端的设备</source>
        <translation>%1 looks like a VPN: a multicast search seldom reaches devices behind it</translation>
    </message>
    <message>
        <source>没有抓包权限（CAP_NET_RAW）：看不到其他网段设备的 MAC 和地址冲突</source>
        <translation>No packet socket (CAP_NET_RAW): MACs of devices in other subnets and address conflicts cannot be seen</translation>
        <translation>%1 frames/s</translation>
    </message>
    <message>
        <source>码率 %1 kbit/s</source>
        <translation>bit rate %1 kbit/s</translation>
    </message>
    <message>
        <source>分辨率 %1×%2</source>
        <translation>picture %1×%2</translation>
    </message>
    <message>
        <source>测量 %1 秒</source>
        <translation>measured over %1 s</translation>
    </message>
    <message>
        <source>验证于 %1</source>
        <translation>verified %1</translation>
    </message>
    <message>
        <source>操作记录</source>
        <translation>Action log</translation>
    </message>
    <message>
        <source>没有操作记录</source>
        <translation>No actions recorded</translation>
    </message>
    <message>
        <source>现场中没有设备</source>
        <translation>The site has no devices</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>变更</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>修改地址</source>
        <translation>Address change</translation>
    </message>
    <message>
        <source>固件升级</source>
        <translation>Firmware upgrade</translation>
    </message>
    <message>
        <source>设备验证</source>
        <translation>Verification</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>升级包 %1（SHA-256 %2）</source>
        <translation>package %1 (SHA-256 %2)</translation>
    </message>
    <message>
        <source>概况</source>
        <translation>Summary</translation>
    </message>
    <message>
        <source>计划设备 %1 台：按计划就位 %2 台，不在计划地址 %3 台，没有应答 %4 台；计划外设备 %5 台</source>
        <translation>Planned devices: %1 (in place %2, at another address %3, missing %4); not in the plan: %5</translation>
    </message>
    <message>
        <source>验证通过 %1 台，未通过 %2 台，未验证 %3 台；验证早于现在固件的 %4 台</source>
        <translation>Verification: %1 passed, %2 failed, %3 not verified; %4 verified before their present firmware</translation>
    </message>
    <message>
        <source>固件升级成功 %1 台</source>
        <translation>Devices upgraded: %1</translation>
    </message>
    <message>
        <source>最后应答于 %1</source>
        <translation>Last answered %1</translation>
    </message>
    <message>
        <source>从未应答</source>
        <translation>Never answered</translation>
    </message>
    <message>
        <source>早于现在的固件</source>
        <translation>Older than its firmware</translation>
    </message>
    <message>
        <source>早于现在的固件：%1</source>
        <translation>Older than its firmware: %1</translation>
    </message>
    <message>
        <source>验证时的固件为 %1，%2 升级到 %3</source>
        <translation>Verified on firmware %1; upgraded to %3 on %2</translation>
    </message>
    <message>
        <source>验证时的固件为 %1，现在为 %2</source>
        <translation>Verified on firmware %1; it now runs %2</translation>
    </message>
    <message>
        <source>操作 %1 次：成功 %2 次，失败 %3 次，未完成 %4 次</source>
        <translation>%1 actions: %2 OK, %3 failed, %4 not finished</translation>
    </message>
    <message>
        <source>报告的文件名必须以 .html 或 .pdf 结尾，没有写入任何文件</source>
        <translation>The report's file name must end in .html or .pdf; nothing was written</translation>
    </message>
    <message>
        <source>无法写入报告 %1：%2</source>
        <translation>Cannot write the report %1: %2</translation>
    </message>
    <message>
        <source>报告已写入 %1</source>
        <translation>Report written to %1</translation>
    </message>
    <message>
        <source>正在生成报告…</source>
        <translation>Making the report…</translation>
    </message>
    <message>
        <source>报告…</source>
        <translation>Report…</translation>
    </message>
    <message>
        <source>HTML 报告 (*.html);;PDF 报告 (*.pdf)</source>
        <translation>HTML report (*.html);;PDF report (*.pdf)</translation>
    </message>
    <message>
        <source>请先打开现场</source>
        <translation>Open a site first</translation>
    </message>
    <message>
        <source>无法生成 PDF</source>
        <translation>The PDF could not be made</translation>
    </message>
    <message>
        <source>未开始：升级包不适合设备 %1，没有向任何设备发送数据</source>
        <translation>Not started: the package does not fit %1; nothing was sent to any device</translation>
    </message>
    <message>
        <source>类型 %1 的设备不能升级固件</source>
        <translation>A device of type %1 takes no firmware</translation>
    </message>
    <message>
        <source>已接受</source>
        <translation>accepted</translation>
    </message>
    <message>
        <source>被拒绝</source>
        <translation>refused</translation>
    </message>
    <message>
        <source>没有回答</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>not connected</translation>
    </message>
    <message>
        <source>没有文件名</source>
        <translation>no file name</translation>
    </message>
    <message>
        <source>文件名太长</source>
        <translation>file name too long</translation>
    </message>
    <message>
        <source>版本不比设备的新</source>
        <translation>not newer</translation>
    </message>
    <message>
        <source>升级文件不对</source>
        <translation>wrong file</translation>
    </message>
    <message>
        <source>文件错误</source>
        <translation>file error</translation>
    </message>
    <message>
        <source>文件太大</source>
        <translation>file too large</translation>
    </message>
    <message>
        <source>帧头没有发出</source>
        <translation>header not sent</translation>
    </message>
    <message>
        <source>传输中断</source>
        <translation>transfer broke off</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>没有搜索到</source>
        <translation>not found</translation>
    </message>
    <message>
        <source>这种设备不能升级</source>
        <translation>wrong device type</translation>
    </message>
    <message>
        <source>登录没有通过</source>
        <translation>login failed</translation>
    </message>
    <message>
        <source>正在上传</source>
        <translation>busy</translation>
    </message>
    <message>
        <source>已升级</source>
        <translation>upgraded</translation>
    </message>
    <message>
        <source>仍是原来的版本</source>
        <translation>old version</translation>
    </message>
    <message>
        <source>其他版本</source>
        <translation>other version</translation>
    </message>
    <message>
        <source>没有回答版本</source>
        <translation>no version</translation>
    </message>
    <message>
        <source>没有再出现</source>
        <translation>not back</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>not started</translation>
    </message>
    <message>
        <source>升级包不适合</source>
        <translation>package does not fit</translation>
    </message>
    <message>
        <source>没有这个文件</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>现场文件错误</source>
        <translation>site file error</translation>
    </message>
    <message>
        <source>--no-wait 只能用于一台设备</source>
        <translation>--no-wait takes one device only</translation>
    </message>
    <message>
        <source>画面墙…</source>
        <translation>Wall…</translation>
    </message>
    <message>
        <source>画面墙</source>
        <translation>Wall</translation>
    </message>
    <message>
        <source>每页画面:</source>
        <translation>Tiles per page:</translation>
    </message>
    <message>
        <source>第 %1/%2 页</source>
        <translation>Page %1/%2</translation>
    </message>
    <message>
        <source>方向键选择，PgUp/PgDn 翻页，回车打开预览</source>
        <translation>Arrows select, PgUp/PgDn page, Enter opens the preview</translation>
    </message>
    <message>
        <source>%1 帧/秒  %2 kbit/s</source>
        <translation>%1 fps  %2 kbit/s</translation>
    </message>
    <message>
        <source>清晰度 %1 / 最佳 %2</source>
        <translation>Sharpness %1 / best %2</translation>
    </message>
    <message>
        <source>没有可以显示的摄像机</source>
        <translation>No cameras to show</translation>
    </message>
</context>
</TS>

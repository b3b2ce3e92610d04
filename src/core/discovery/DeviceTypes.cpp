#include "core/discovery/DeviceTypes.h"

namespace tarvo::discovery {

bool isListedType(int type) {
    return type == kTypeDvr || (type >= 80 && type <= 198);
}

bool isDecoderType(int type) {
    return type >= 171 && type <= 179;
}

std::u16string_view typeLabel(int type) {
    if (isDecoderType(type)) return u"视频解码器";
    if (type == kTypeNvr) return u"NVR";
    if (type == kTypeDvr) return u"DVR";
    if (type == 81 || type == 84) return u"R系列摄像机";
    if (type == 82 || type == 85) return u"T系列摄像机";
    if (type == 83 || type == 86) return u"200W摄像机";
    if (type == kTypeSelectableResolution) return u"V系列摄像机130万";
    if (type == 100) return u"高速球摄像机";
    if (type == 80 || type == 87 || type == 88 || (type >= 90 && type <= 159)) return u"网络摄像机";
    return u"未知设备";
}

std::u16string_view resolutionLabel(unsigned value) {
    return value != 0 ? u"V系列摄像机100万" : u"V系列摄像机130万";
}

}  // namespace tarvo::discovery

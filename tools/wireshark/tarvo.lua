-- Wireshark dissector for the Tarvo device protocol.
--
--   UDP  233.0.0.1:5250    discovery and settings frames (6-byte header + payload)
--   TCP  command port      login, version, reboot, firmware upload, NVR output resolution
--   TCP  command port + 1  preview stream: 12-byte request, 32-byte reply, media packets
--
-- Load it with `wireshark -X lua_script:tools/wireshark/tarvo.lua` (or tshark), or copy it into
-- the personal Lua plugin folder (Help > About > Folders). The ports are preferences
-- (Edit > Preferences > Protocols > TARVO); the stream ports follow the command ports.
--
-- The command frame: u8 command, u8 tag, u16 target, u16 length (whole frame), little-endian.
-- Device texts are 8-bit in the devices' code page (GB18030) and NUL-padded.

local tarvo = Proto("tarvo", "Tarvo device protocol")

local COMMANDS = {
    [0] = "login", [10] = "discovery request", [99] = "get network parameters",
    [100] = "discovery reply", [102] = "camera firmware upload", [103] = "camera version",
    [106] = "set network parameters", [123] = "set cloud settings", [124] = "get cloud settings",
    [128] = "set audio flag", [129] = "get audio flag", [130] = "reboot",
    [139] = "set protocol support", [140] = "get protocol support",
    [141] = "set date/time overlay", [142] = "get date/time overlay",
    [143] = "resolve MAC conflict", [144] = "set main-stream resolution",
    [145] = "get main-stream resolution", [148] = "ONVIF sub-stream",
    [149] = "set ONVIF sub-stream", [180] = "network parameters", [181] = "login result",
    [182] = "cloud settings", [183] = "audio flag", [184] = "protocol support",
    [185] = "date/time overlay", [186] = "MAC reassigned", [187] = "main-stream resolution",
    [230] = "NVR firmware upload", [231] = "NVR version", [232] = "get NVR output resolution",
    [233] = "set NVR output resolution",
}

local RESOLUTIONS = {
    [0] = "1024 x 768", [1] = "1280 x 1024", [2] = "1366 x 768", [3] = "1400 x 900",
    [4] = "1920 x 1080", [5] = "3840 x 2160",
}

local function type_label(code)
    if code >= 171 and code <= 179 then return "video decoder" end
    if code == 181 then return "NVR" end
    if code == 31 then return "DVR" end
    if code == 81 or code == 84 then return "R-series camera" end
    if code == 82 or code == 85 then return "T-series camera" end
    if code == 83 or code == 86 then return "2 MP camera" end
    if code == 89 then return "V-series camera" end
    if code == 100 then return "speed dome" end
    if code >= 80 and code <= 159 then return "network camera" end
    if code >= 160 and code <= 198 then return "unknown device" end
    return "not listed"
end

local F = {
    command = ProtoField.uint8("tarvo.command", "Command", base.DEC, COMMANDS),
    tag = ProtoField.uint8("tarvo.tag", "Tag", base.DEC),
    target = ProtoField.uint16("tarvo.target", "Target", base.HEX),
    target_addr = ProtoField.string("tarvo.target_addr", "Target address"),
    device_type = ProtoField.uint16("tarvo.device_type", "Device type", base.DEC),
    length = ProtoField.uint16("tarvo.length", "Length", base.DEC),
    name = ProtoField.string("tarvo.name", "Device name"),
    user = ProtoField.string("tarvo.user", "User name"),
    password = ProtoField.string("tarvo.password", "Password"),
    login_result = ProtoField.uint8("tarvo.login_result", "Login result", base.DEC),
    accepted = ProtoField.bool("tarvo.accepted", "Accepted"),
    net_ip = ProtoField.ipv4("tarvo.net.ip", "IP address"),
    net_mask = ProtoField.ipv4("tarvo.net.mask", "Subnet mask"),
    net_gateway = ProtoField.ipv4("tarvo.net.gateway", "Gateway"),
    net_dns = ProtoField.ipv4("tarvo.net.dns", "DNS server"),
    net_http_port = ProtoField.uint16("tarvo.net.http_port", "HTTP port", base.DEC),
    net_reserved = ProtoField.uint16("tarvo.net.reserved", "Reserved", base.HEX),
    net_dhcp = ProtoField.uint32("tarvo.net.dhcp", "DHCP", base.DEC, { [0] = "off", [1] = "on" }),
    net_opaque = ProtoField.uint32("tarvo.net.opaque", "Opaque value", base.HEX),
    cloud_text = ProtoField.string("tarvo.cloud.text", "Cloud text"),
    cloud_password = ProtoField.string("tarvo.cloud.password", "Cloud password"),
    cloud_device_id = ProtoField.int32("tarvo.cloud.device_id", "Device ID", base.DEC),
    audio = ProtoField.uint32("tarvo.audio", "Audio", base.DEC, { [0] = "off", [1] = "on" }),
    protocol_support = ProtoField.uint32("tarvo.protocol_support", "Protocol support", base.DEC,
        { [0] = "private and ONVIF", [1] = "private only" }),
    overlay = ProtoField.uint32("tarvo.overlay", "Date/time overlay", base.DEC,
        { [0] = "shown", [1] = "not shown" }),
    main_resolution = ProtoField.uint32("tarvo.main_resolution", "Main-stream resolution",
        base.DEC, { [0] = "no limit", [1] = "1 MP only" }),
    onvif_substream = ProtoField.uint32("tarvo.onvif_substream", "ONVIF sub-stream", base.DEC,
        { [1] = "D1", [2] = "CIF" }),
    mac_fix = ProtoField.uint32("tarvo.mac_fix", "MAC conflict argument", base.DEC),
    version = ProtoField.string("tarvo.version", "Version"),
    file_name = ProtoField.string("tarvo.file_name", "File name"),
    file_size = ProtoField.uint32("tarvo.file_size", "File size", base.DEC),
    file_data = ProtoField.bytes("tarvo.file_data", "File data"),
    nvr_resolution = ProtoField.uint16("tarvo.nvr_resolution", "NVR output resolution", base.DEC,
        RESOLUTIONS),
    trailing = ProtoField.bytes("tarvo.trailing", "Trailing bytes"),
    stream_channel = ProtoField.uint16("tarvo.stream.channel", "Channel", base.DEC),
    stream_sum = ProtoField.uint32("tarvo.stream.sum", "100 + channel", base.DEC),
    stream_choice = ProtoField.uint8("tarvo.stream.choice", "Stream", base.DEC,
        { [0] = "main (high definition)", [1] = "D1", [2] = "CIF" }),
    stream_width = ProtoField.uint16("tarvo.stream.width", "Width", base.DEC),
    stream_height = ProtoField.uint16("tarvo.stream.height", "Height", base.DEC),
    stream_codec = ProtoField.uint8("tarvo.stream.codec", "Codec code", base.DEC),
    stream_codec_name = ProtoField.string("tarvo.stream.codec_name", "Decoded as"),
    packet_type = ProtoField.uint8("tarvo.packet.type", "Packet type", base.DEC,
        { [0] = "video", [1] = "other" }, 0x0F),
    packet_length = ProtoField.uint32("tarvo.packet.length", "Payload length", base.DEC),
    packet_payload = ProtoField.bytes("tarvo.packet.payload", "Payload"),
}
local field_list = {}
for _, f in pairs(F) do field_list[#field_list + 1] = f end
tarvo.fields = field_list

local E, expert_list = {}, {}
for key, e in pairs({
    short = { "short", "Frame shorter than its fields", "MALFORMED", "ERROR" },
    length = { "length_mismatch", "Length field differs from the bytes sent", "PROTOCOL", "WARN" },
    bad_length = { "bad_length", "Length field outside what a frame can be", "MALFORMED", "ERROR" },
    unknown = { "unknown_command", "Unknown command code", "UNDECODED", "WARN" },
    oversize = { "oversize", "Media packet larger than a receive slot", "MALFORMED", "ERROR" },
    request = { "bad_request", "Stream request not as the program builds it", "PROTOCOL", "WARN" },
    pending = { "length_pending", "Length field promises more than arrived with the answer",
        "PROTOCOL", "NOTE" },
    text = { "text_fallback", "Text shown as bytes: no GB18030 decoder", "UNDECODED", "NOTE" },
}) do
    E[key] = ProtoExpert.new("tarvo." .. e[1], e[2], expert.group[e[3]], expert.severity[e[4]])
    expert_list[#expert_list + 1] = E[key]
end
tarvo.experts = expert_list

tarvo.prefs.udp_port = Pref.uint("UDP port", 5250, "Discovery and settings (multicast group port)")
tarvo.prefs.camera_port = Pref.uint("Camera command port", 5505,
    "TCP command port of cameras; their stream port is this + 1")
tarvo.prefs.nvr_port = Pref.uint("NVR command port", 5500,
    "TCP command port of NVRs; their stream port is this + 1")

local MAX_SLOT = 3145728 -- a media packet, header included, must fit one receive slot
local MAX_REQUEST = 1024 -- the program's largest request frame is 138 bytes
local VERSION_BUFFER = 260 -- the program reads a version reply with one receive of this size
local TEXT_ENCODING = ENC_GB18030 -- Wireshark 3.4 and later

-- Text of a NUL-padded field: up to the first NUL inside the range.
local function add_text(tree, field, range)
    local n = 0
    while n < range:len() and range(n, 1):uint() ~= 0 do n = n + 1 end
    if n == 0 then return tree:add(field, range, ""), "" end
    if TEXT_ENCODING then
        -- TvbRange:string() cuts its result to the byte count of the range, which loses the end
        -- of any text that grows when made UTF-8; stringz() does not, so give it a terminator.
        local text
        if n < range:len() then
            text = range(0, n + 1):stringz(TEXT_ENCODING)
        else
            local bytes = range:bytes()
            bytes:append(ByteArray.new("00"))
            text = bytes:tvb("Text"):range(0):stringz(TEXT_ENCODING)
        end
        return tree:add(field, range, text), text
    end
    local hex = range(0, n):bytes():tohex()
    local item = tree:add(field, range, hex)
    item:add_proto_expert_info(E.text)
    return item, hex
end

-- True when `width` bytes from `offset` are there; otherwise an expert note says what is missing.
local function need(tree, tvb, offset, width)
    if tvb:len() >= offset + width then return true end
    tree:add_proto_expert_info(E.short,
        string.format("Frame of %d bytes ends before the field at %d (%d bytes)", tvb:len(),
            offset, width))
    return false
end

-- The login frame's user name and password (12 bytes each), on UDP and TCP alike.
local function add_login(tree, tvb, info)
    if not need(tree, tvb, 6, 24) then return info end
    local _, user = add_text(tree, F.user, tvb(6, 12))
    add_text(tree, F.password, tvb(18, 12))
    return info .. ", user \"" .. user .. "\""
end

local function add_header(tree, tvb)
    tree:add(F.command, tvb(0, 1))
    tree:add(F.tag, tvb(1, 1))
end

-- ---------------------------------------------------------------------------------------------
-- UDP

local U32_FIELDS = {
    [128] = F.audio, [183] = F.audio, [139] = F.protocol_support, [184] = F.protocol_support,
    [141] = F.overlay, [185] = F.overlay, [144] = F.main_resolution, [187] = F.main_resolution,
    [148] = F.onvif_substream, [149] = F.onvif_substream, [143] = F.mac_fix,
}
local HEADER_ONLY = { [10] = true, [99] = true, [124] = true, [129] = true, [140] = true,
    [142] = true, [145] = true, [186] = true }

local function add_net_params(tree, tvb, offset)
    if not need(tree, tvb, offset, 28) then return end
    local sub = tree:add(tvb(offset, 28), "Network parameters")
    sub:add(F.net_ip, tvb(offset, 4))
    sub:add(F.net_mask, tvb(offset + 4, 4))
    sub:add(F.net_gateway, tvb(offset + 8, 4))
    sub:add(F.net_dns, tvb(offset + 12, 4))
    sub:add_le(F.net_http_port, tvb(offset + 16, 2))
    sub:add_le(F.net_reserved, tvb(offset + 18, 2))
    sub:add_le(F.net_dhcp, tvb(offset + 20, 4))
    sub:add_le(F.net_opaque, tvb(offset + 24, 4))
    return string.format(" ip %s dns %s", tostring(tvb(offset, 4):ipv4()),
        tostring(tvb(offset + 12, 4):ipv4()))
end

local function add_cloud(tree, tvb, offset)
    if not need(tree, tvb, offset, 132) then return end
    local sub = tree:add(tvb(offset, 132), "Cloud settings")
    add_text(sub, F.cloud_text, tvb(offset, 64))
    add_text(sub, F.cloud_password, tvb(offset + 64, 64))
    sub:add_le(F.cloud_device_id, tvb(offset + 128, 4))
end

local function dissect_udp(tvb, pinfo, tree)
    pinfo.cols.protocol = "TARVO"
    local root = tree:add(tarvo, tvb(), "Tarvo UDP frame")
    if tvb:len() < 6 then
        root:add_proto_expert_info(E.short, "Datagram shorter than the 6-byte header")
        pinfo.cols.info = "Short frame"
        return tvb:len()
    end
    local code = tvb(0, 1):uint()
    local target = tvb(2, 2):le_uint()
    local length = tvb(4, 2):le_uint()
    add_header(root, tvb)
    local info = COMMANDS[code] or string.format("unknown command %d", code)
    if code == 100 then
        root:add_le(F.device_type, tvb(2, 2)):append_text(" (" .. type_label(target) .. ")")
    else
        root:add_le(F.target, tvb(2, 2))
        local addr = string.format("x.x.%d.%d", tvb(2, 1):uint(), tvb(3, 1):uint())
        root:add(F.target_addr, tvb(2, 2), addr):set_generated()
        if code ~= 10 then info = info .. " [" .. addr .. "]" end
    end
    local length_item = root:add_le(F.length, tvb(4, 2))
    if length ~= tvb:len() then
        length_item:add_proto_expert_info(E.length,
            string.format("Length field %d, datagram %d bytes", length, tvb:len()))
    end

    if code == 100 then
        local name = ""
        if tvb:len() > 6 then name = select(2, add_text(root, F.name, tvb(6))) end
        info = string.format("%s, type %d (%s), name \"%s\"", info, target, type_label(target), name)
    elseif code == 0 then
        info = add_login(root, tvb, info)
    elseif code == 181 then
        if need(root, tvb, 6, 1) then
            local result = tvb(6, 1):uint()
            root:add(F.login_result, tvb(6, 1))
            root:add(F.accepted, tvb(6, 1), result == 1):set_generated()
            info = info .. (result == 1 and ", accepted" or ", refused")
        end
    elseif code == 106 or code == 180 then
        info = info .. (add_net_params(root, tvb, 6) or "")
    elseif code == 123 or code == 182 then
        add_cloud(root, tvb, 6)
    elseif code == 148 and tvb:len() < 10 then
        info = "get " .. info
    elseif U32_FIELDS[code] then
        if need(root, tvb, 6, 4) then
            root:add_le(U32_FIELDS[code], tvb(6, 4))
            info = info .. string.format(", value %d", tvb(6, 4):le_uint())
        end
    elseif not HEADER_ONLY[code] then
        root:add_proto_expert_info(E.unknown, string.format("Unknown command code %d", code))
    end
    pinfo.cols.info = info:sub(1, 1):upper() .. info:sub(2)
    return tvb:len()
end

-- ---------------------------------------------------------------------------------------------
-- TCP: per-direction state across segments.
--
-- A direction's state (e.g. how many upload bytes are still to come) is advanced on the first
-- pass and remembered per call, so that later passes see the state each call started with.

local f_tcp_stream = Field.new("tcp.stream")
local states, snapshots = {}, {}

local function copy(t)
    local c = {}
    for k, v in pairs(t) do c[k] = v end
    return c
end

-- Runs `step` over the bytes of one call. step(tvb, offset, state) returns the number of bytes
-- the next unit needs (nil: not enough to tell yet) and a function that dissects exactly those
-- bytes; a unit may also be shorter than asked (data that is taken as it comes).
local function run_units(tvb, pinfo, tree, initial, step, enter)
    local key = tostring(f_tcp_stream().value) .. ":" .. pinfo.src_port
    local call = pinfo.number .. ":" .. tvb:reported_len()
    local state
    if not pinfo.visited then
        state = copy(states[key] or initial)
        if enter then enter(state) end
        snapshots[call] = copy(state)
    else
        state = copy(snapshots[call] or initial)
    end
    local offset, len = 0, tvb:len()
    while offset < len do
        local size, dissect = step(tvb, offset, state)
        if size ~= nil and size < 1 then break end
        if size == nil or size > len - offset then
            pinfo.desegment_offset = offset
            pinfo.desegment_len = size and (size - (len - offset)) or DESEGMENT_ONE_MORE_SEGMENT
            break
        end
        dissect(tvb:range(offset, size):tvb(), pinfo, tree, state)
        offset = offset + size
    end
    if not pinfo.visited then states[key] = state end
    return len
end

local function set_info(pinfo, text)
    text = text:sub(1, 1):upper() .. text:sub(2)
    if pinfo.private.tarvo_info then
        pinfo.cols.info = tostring(pinfo.cols.info) .. "; " .. text
    else
        pinfo.cols.info = text
        pinfo.private.tarvo_info = "1"
    end
end

local function frame_tree(tree, tvb, title)
    return tree:add(tarvo, tvb(), "Tarvo " .. title)
end

-- Program to device on the command port. Every frame says its length, except the second upload
-- frame, whose target and length carry the file size; the file's bytes follow without a header.
local function request_step(tvb, offset, state)
    local avail = tvb:len() - offset
    if state.data and state.data > 0 then
        local n = math.min(state.data, avail)
        return n, function(t, pinfo, tree, st)
            local root = frame_tree(tree, t, "firmware data")
            root:add(F.file_data, t())
            st.data = st.data - t:len()
            set_info(pinfo, string.format("File data, %d bytes (%d to come)", t:len(), st.data))
        end
    end
    if avail < 6 then return nil end
    local code = tvb(offset, 1):uint()
    local length = tvb(offset + 4, 2):le_uint()
    local upload = code == 102 or code == 230
    if upload and state.size_frame then
        return 6, function(t, pinfo, tree, st)
            local root = frame_tree(tree, t, "upload size frame")
            add_header(root, t)
            local size = t(2, 2):le_uint() * 65536 + t(4, 2):le_uint()
            root:add(F.file_size, t(2, 4), size):append_text(" (bits 16..31 in target, 0..15 in length)")
            st.size_frame = false
            st.data = size
            st.uploads = (st.uploads or 0) + 1
            set_info(pinfo, string.format("%s, size %d", COMMANDS[code], size))
        end
    end
    if length < 6 or length > MAX_REQUEST then
        return avail, function(t, pinfo, tree)
            local root = frame_tree(tree, t, "command frame")
            add_header(root, t)
            root:add_le(F.length, t(4, 2)):add_proto_expert_info(E.bad_length)
            if t:len() > 6 then root:add(F.trailing, t(6)) end
            set_info(pinfo, (COMMANDS[code] or "unknown command") .. ", bad length")
        end
    end
    return length, function(t, pinfo, tree, st)
        st.requests = (st.requests or 0) + 1
        local root = frame_tree(tree, t, "command request")
        add_header(root, t)
        root:add_le(F.target, t(2, 2))
        root:add_le(F.length, t(4, 2))
        local info = COMMANDS[code] or string.format("unknown command %d", code)
        if code == 0 then
            info = add_login(root, t, info)
        elseif upload then
            if need(root, t, 6, 128) then
                local _, name = add_text(root, F.file_name, t(6, 128))
                info = info .. ", file \"" .. name .. "\""
            end
            st.size_frame = true
        elseif code == 232 or code == 233 then
            if code == 233 then
                root:add_le(F.nvr_resolution, t(2, 2))
                info = info .. string.format(", index %d", t(2, 2):le_uint())
            end
        elseif code ~= 103 and code ~= 231 and code ~= 130 then
            root:add_proto_expert_info(E.unknown, string.format("Unknown command code %d", code))
        end
        set_info(pinfo, info)
    end
end

-- Device to program on the command port. The program reads each answer with one receive and
-- looks only at fixed offsets, and devices do not always fill in the length field truthfully.
-- So an answer is taken as the bytes that have arrived once they hold what the program reads
-- (the header; byte 8 of a login answer; a version text up to its NUL), not by its length field.
-- Bytes the length field still promised are taken as the answer's tail if they come before the
-- program's next request.
local function reply_complete(tvb, offset, state)
    local avail = tvb:len() - offset
    if avail < 6 then return false end
    local code, length = tvb(offset, 1):uint(), tvb(offset + 4, 2):le_uint()
    if avail >= length or (state.uploads or 0) > (state.answered or 0) then return true end
    if code == 0 then return avail >= 9 end
    if code == 103 or code == 231 then
        if avail >= VERSION_BUFFER then return true end
        for i = offset + 6, tvb:len() - 1 do
            if tvb(i, 1):uint() == 0 then return true end
        end
        return false
    end
    return true
end

local function reply_step(tvb, offset, state)
    local avail = tvb:len() - offset
    if (state.rest or 0) > 0 and state.rest_request == state.requests then
        return math.min(state.rest, avail), function(t, pinfo, tree, st)
            frame_tree(tree, t, "command reply (tail)"):add(F.trailing, t())
            st.rest = st.rest - t:len()
            set_info(pinfo, string.format("Reply tail, %d bytes", t:len()))
        end
    end
    if not reply_complete(tvb, offset, state) then return nil end
    return avail, function(t, pinfo, tree, st)
        local code = t(0, 1):uint()
        local length = t(4, 2):le_uint()
        st.rest = length > t:len() and length - t:len() or 0
        st.rest_request = st.requests
        local root = frame_tree(tree, t, "command reply")
        add_header(root, t)
        local info = (COMMANDS[code] or string.format("unknown command %d", code)) .. " reply"
        if code == 232 then
            root:add_le(F.nvr_resolution, t(2, 2))
            info = info .. string.format(", index %d", t(2, 2):le_uint())
        else
            root:add_le(F.target, t(2, 2))
        end
        local length_item = root:add_le(F.length, t(4, 2))
        local used = math.min(length, t:len())
        if code == 103 or code == 231 then
            local text = ""
            if t:len() > 6 then text = select(2, add_text(root, F.version, t(6))) end
            info = info .. ", \"" .. text .. "\""
            used = t:len()
        elseif (st.uploads or 0) > (st.answered or 0) then
            -- The first answer after an upload's size frame is its verdict, whatever its code.
            local ok = t(1, 1):uint() == 1
            root:add(F.accepted, t(1, 1), ok):set_generated()
            info = "upload answer, " .. (ok and "accepted" or "refused")
            st.answered = (st.answered or 0) + 1
        elseif code == 0 then
            if need(root, t, 8, 1) then
                local ok = t(8, 1):uint() ~= 0
                root:add(F.login_result, t(8, 1))
                root:add(F.accepted, t(8, 1), ok):set_generated()
                info = info .. (ok and ", accepted" or ", refused")
            end
        end
        if length < t:len() then
            length_item:add_proto_expert_info(E.length,
                string.format("Length field %d, %d bytes arrived", length, t:len()))
        elseif length > t:len() then
            length_item:add_proto_expert_info(E.pending,
                string.format("Length field %d, %d bytes arrived with the answer", length, t:len()))
        end
        if used < t:len() then root:add(F.trailing, t(used)) end
        set_info(pinfo, info)
    end
end

-- Stream port, program to device: the 12-byte request.
local function stream_request_step(tvb, offset, state)
    return 12, function(t, pinfo, tree)
        local root = frame_tree(tree, t, "stream request")
        root:add_le(F.stream_channel, t(2, 2))
        root:add_le(F.stream_sum, t(4, 4))
        root:add(F.stream_choice, t(8, 1))
        local channel = t(2, 2):le_uint()
        if t(4, 4):le_uint() ~= 100 + channel or (channel ~= 0 and channel ~= 255) then
            root:add_proto_expert_info(E.request)
        end
        set_info(pinfo, string.format("Stream request, channel %d, stream %d", channel,
            t(8, 1):uint()))
    end
end

-- Stream port, device to program: the 32-byte reply, then 18-byte headers each followed by
-- their payload.
local function stream_reply_step(tvb, offset, state)
    if not state.replied then
        return 32, function(t, pinfo, tree, st)
            local root = frame_tree(tree, t, "stream reply")
            root:add_le(F.stream_width, t(8, 2))
            root:add_le(F.stream_height, t(12, 2))
            root:add(F.stream_codec, t(26, 1))
            local codec = t(26, 1):uint()
            local name = (codec == 3 or codec == 4) and "H.265" or "H.264"
            root:add(F.stream_codec_name, t(26, 1), name):set_generated()
            st.replied = true
            set_info(pinfo, string.format("Stream reply, %d x %d, codec %d (%s)",
                t(8, 2):le_uint(), t(12, 2):le_uint(), codec, name))
        end
    end
    local avail = tvb:len() - offset
    if state.skip then
        return avail, function(t, pinfo, tree)
            frame_tree(tree, t, "stream bytes after a bad header"):add(F.trailing, t())
        end
    end
    if avail < 18 then return nil end
    local length = tvb(offset + 6, 4):le_uint()
    if length > MAX_SLOT - 18 then
        return 18, function(t, pinfo, tree, st)
            local root = frame_tree(tree, t, "media packet header")
            root:add(F.packet_type, t(0, 1))
            root:add_le(F.packet_length, t(6, 4)):add_proto_expert_info(E.oversize)
            st.skip = true
            set_info(pinfo, string.format("Media packet of %d bytes: too large", length))
        end
    end
    return 18 + length, function(t, pinfo, tree)
        local root = frame_tree(tree, t, "media packet")
        root:add(F.packet_type, t(0, 1))
        root:add_le(F.packet_length, t(6, 4))
        if length > 0 then root:add(F.packet_payload, t(18)) end
        local kind = t(0, 1):bitfield(4, 4) == 0 and "video" or "type " .. t(0, 1):bitfield(4, 4)
        set_info(pinfo, string.format("Media packet, %s, %d bytes", kind, length))
    end
end

local function is_command_port(port)
    return port == tarvo.prefs.camera_port or port == tarvo.prefs.nvr_port
end

local function dissect_tcp(tvb, pinfo, tree)
    pinfo.cols.protocol = "TARVO"
    if is_command_port(pinfo.dst_port) then
        return run_units(tvb, pinfo, tree, {}, request_step)
    elseif is_command_port(pinfo.src_port) then
        -- Upload answers are counted against the size frames sent the other way.
        local other = states[tostring(f_tcp_stream().value) .. ":" .. pinfo.dst_port]
        return run_units(tvb, pinfo, tree, {}, reply_step, function(st)
            st.uploads = other and other.uploads or 0
            st.requests = other and other.requests or 0
        end)
    elseif is_command_port(pinfo.dst_port - 1) then
        return run_units(tvb, pinfo, tree, {}, stream_request_step)
    elseif is_command_port(pinfo.src_port - 1) then
        return run_units(tvb, pinfo, tree, {}, stream_reply_step)
    end
    return 0
end

tarvo.dissector = function(tvb, pinfo, tree)
    if f_tcp_stream() == nil then return dissect_udp(tvb, pinfo, tree) end
    return dissect_tcp(tvb, pinfo, tree)
end

-- Port registration, redone when the preferences change.
local registered = { udp = {}, tcp = {} }
local function register_ports()
    local udp, tcp = DissectorTable.get("udp.port"), DissectorTable.get("tcp.port")
    for _, p in ipairs(registered.udp) do udp:remove(p, tarvo) end
    for _, p in ipairs(registered.tcp) do tcp:remove(p, tarvo) end
    registered = { udp = { tarvo.prefs.udp_port }, tcp = {} }
    for _, p in ipairs({ tarvo.prefs.camera_port, tarvo.prefs.nvr_port }) do
        registered.tcp[#registered.tcp + 1] = p
        registered.tcp[#registered.tcp + 1] = p + 1
    end
    udp:add(tarvo.prefs.udp_port, tarvo)
    for _, p in ipairs(registered.tcp) do tcp:add(p, tarvo) end
end
tarvo.prefs_changed = register_ports
register_ports()

tarvo.init = function()
    states, snapshots = {}, {}
end

-- Wireshark dissector for the Varnetix element link: the datagrams between the network
-- management station (UDP port 2976) and the link's encoders and decoders (ports 1901, 2976
-- and 2977). Values are shown the way the station's panel shows them.
--
--   wireshark -X lua_script:varnetix.lua      or copy it to ~/.local/lib/wireshark/plugins/

local PAGING_PORT = 1901
local CONFIG_PORT = 2976
local COMMAND_PORT = 2977

local PAGING_TEXT = "IPMPXSTL HALVOREN PAGING REQUEST"
local LEVEL_REQUEST_TEXT = "VOL"
local CONFIG_LENGTH = 35
local LEVEL_LENGTH = 1440
-- The station hands every datagram shorter than this, except 3 bytes, to its feedback parser.
local FEEDBACK_LIMIT = 46
local DECODER_ROLE = 2
local NOT_FEEDBACK = ": a feedback packet has 40, 41, 44 or 45 bytes; the station ignores it"
local ATTENUATION_MUTE = 14
local FULL_SCALE = 8388608 -- 2^23, the largest 24-bit sample plus one
local METER_FULL_SCALE = 2100

local varnetix = Proto("varnetix", "Varnetix element link")

local function roleNames()
    local names = {}
    for value = 0, 255 do
        names[value] = "UNKNOWN"
    end
    names[1] = "ENCODER"
    names[DECODER_ROLE] = "DECODER"
    return names
end

local f = {
    packet = ProtoField.string("varnetix.packet", "Packet"),
    paging = ProtoField.string("varnetix.paging", "Paging text"),
    ip = ProtoField.ipv4("varnetix.ip", "Element IP"),
    mask = ProtoField.ipv4("varnetix.mask", "Element mask"),
    gateway = ProtoField.ipv4("varnetix.gateway", "Element GW"),
    remote = ProtoField.ipv4("varnetix.remote", "Remote IP"),
    audioInput = ProtoField.uint8("varnetix.audio_input", "Audio input", base.DEC,
        { [0] = "Digital", [1] = "Analog" }),
    audioType = ProtoField.uint8("varnetix.audio_type", "Audio type", base.DEC,
        { [0] = "Left/Right", [1] = "MPX" }),
    txType = ProtoField.uint8("varnetix.tx_type", "TX type", base.DEC,
        { [0] = "Unicast", [1] = "Multicast" }),
    name = ProtoField.string("varnetix.name", "Name"),
    nameRaw = ProtoField.string("varnetix.name.raw", "Name, 16 bytes"),
    captured = ProtoField.uint16("varnetix.captured", "Bytes captured", base.DEC),
    role = ProtoField.uint8("varnetix.role", "Role", base.DEC, roleNames()),
    serial = ProtoField.int32("varnetix.serial", "Serial number", base.DEC),
    attenuation = ProtoField.uint8("varnetix.attenuation", "Attenuation step", base.DEC),
    attenuationDb = ProtoField.string("varnetix.attenuation.db", "Attenuation"),
    attenuationPad = ProtoField.uint8("varnetix.attenuation.pad", "Second byte", base.HEX),
    version = ProtoField.string("varnetix.version", "Version"),
    versionFirst = ProtoField.uint8("varnetix.version.first", "Version, first part"),
    versionSecond = ProtoField.uint8("varnetix.version.second", "Version, second part"),
    sfn = ProtoField.uint8("varnetix.sfn", "SFN option"),
    buffer = ProtoField.uint8("varnetix.buffer", "Buffer size"),
    latency = ProtoField.string("varnetix.buffer.latency", "Latency"),
    defaults = ProtoField.string("varnetix.defaults", "Defaults, not in the packet"),
    unread = ProtoField.bytes("varnetix.unread", "Not read by the station"),
    request = ProtoField.string("varnetix.request", "Request"),
    peak = ProtoField.int32("varnetix.level.peak", "Positive peak", base.DEC),
    dbfs = ProtoField.string("varnetix.level.dbfs", "Peak level"),
    bar = ProtoField.uint16("varnetix.level.bar", "Meter bar width", base.DEC),
    extra = ProtoField.bytes("varnetix.extra", "Undecoded bytes"),
}

local fieldList = {}
for _, field in pairs(f) do
    fieldList[#fieldList + 1] = field
end
varnetix.fields = fieldList

local e = {
    length = ProtoExpert.new("varnetix.malformed", "Malformed Varnetix datagram",
        expert.group.MALFORMED, expert.severity.ERROR),
    rejected = ProtoExpert.new("varnetix.rejected", "The station rejects this feedback packet",
        expert.group.PROTOCOL, expert.severity.WARN),
    unusual = ProtoExpert.new("varnetix.unusual", "Value outside the station's range",
        expert.group.PROTOCOL, expert.severity.NOTE),
}
varnetix.experts = { e.length, e.rejected, e.unusual }

-- Numbers ---------------------------------------------------------------------------------------

-- The station rounds halves to even (the C library's default rounding mode).
local function roundHalfEven(x)
    local floor = math.floor(x)
    local fraction = x - floor
    if fraction > 0.5 then
        return floor + 1
    elseif fraction < 0.5 then
        return floor
    end
    return (floor % 2 == 0) and floor or floor + 1
end

-- Shortest decimal text of a multiple of one tenth: "0", "-0.5", "7.5", "-6", "-24.1".
local function plainTenths(tenths)
    if tenths == 0 then
        return "0" -- also a negative zero
    end
    local text = string.format("%.1f", tenths / 10)
    return (text:gsub("%.0$", ""))
end

-- Steps below the scale's minimum do not occur; the panel's scroll bar would show them as its
-- minimum, Mute.
local function attenuationText(step)
    if step <= ATTENUATION_MUTE then
        return "Mute"
    end
    return plainTenths((step - 255) * 5) .. " dB"
end

local function latencyText(buffer)
    return plainTenths(buffer * 25) .. "mS"
end

-- The decimal texts of both parts joined and divided by ten: 2 and 1 give 2.1, 1 and 12 give 11.2.
local function versionText(first, second)
    local joined = tonumber(tostring(first) .. tostring(second))
    return string.format("%d.%d", math.floor(joined / 10), joined % 10)
end

-- The station's evaluation: 20 * log10(peak / 2^23) to one decimal, and the bar's width.
local function levelTexts(peak)
    if peak == 0 then
        return "-oodBFS", 0
    end
    local ratio = peak / FULL_SCALE
    local decibels = 20 * (math.log(ratio) / math.log(10))
    local width = roundHalfEven(ratio * METER_FULL_SCALE)
    return plainTenths(roundHalfEven(decibels * 10)) .. "dBFS", width
end

-- Byte n is the character U+00nn (Latin-1), in UTF-8 as Wireshark takes text.
local function latin1(bytes)
    return (bytes:gsub("[\128-\255]", function(c)
        local b = c:byte()
        return string.char(0xC0 + math.floor(b / 64), 0x80 + b % 64)
    end))
end

-- The name as the station stores it: a NUL, CR or LF as a space, Latin-1 letters in upper case
-- (the division and y-diaeresis stay as they are), trailing spaces left out as in the tree.
local function storedName(bytes)
    local name = bytes:gsub("[\0\r\n]", " "):gsub(".", function(c)
        local b = c:byte()
        if (b >= 0x61 and b <= 0x7A) or (b >= 0xE0 and b <= 0xFE and b ~= 0xF7) then
            return string.char(b - 0x20)
        end
    end)
    return latin1((name:gsub(" +$", "")))
end

-- All 16 bytes, control characters written as \xHH.
local function rawName(bytes)
    return latin1((bytes:gsub("[\0-\31\127]", function(c)
        return string.format("\\x%02X", c:byte())
    end)))
end

-- Tree helpers ----------------------------------------------------------------------------------

-- A capture's snapshot length may have cut the datagram: its length is the one it was sent with.
local function datagramLength(tvb)
    return tvb:reported_len()
end

local function addExtra(tvb, tree, from)
    if tvb:len() > from then
        tree:add(f.extra, tvb(from))
    end
end

local function byteCount(length)
    return length == 1 and "1 byte" or string.format("%d bytes", length)
end

-- Whether the datagram being dissected was marked malformed: known also when a capture cut it
-- before all its fields were shown.
local markedMalformed = false

-- Marks a datagram whose length (or content) no packet of the link has.
local function malformed(tree, length, text)
    tree:add_proto_expert_info(e.length, byteCount(length) .. text)
    markedMalformed = true
end

-- A field read from the packet, or one the packet does not hold: then the station's default,
-- shown as a generated item.
local function addField(tree, field, tvb, offset, width, default)
    if offset then
        return tree:add(field, tvb(offset, width)), false
    end
    local item = tree:add(field, default)
    item:set_generated()
    return item, true
end

local function noteDefault(item, isDefault, packetLength)
    if isDefault then
        item:append_text(
            string.format(", default: a %d-byte packet does not hold it", packetLength))
    end
end

local function addAttenuation(tree, tvb, offset, packetLength)
    local item, isDefault = addField(tree, f.attenuation, tvb, offset, 1, 255)
    local step = offset and tvb(offset, 1):uint() or 255
    local text = attenuationText(step)
    item:append_text(" (" .. text .. ")")
    noteDefault(item, isDefault, packetLength)
    item:add(f.attenuationDb, text):set_generated()
    if step < ATTENUATION_MUTE then
        item:add_proto_expert_info(e.unusual, "Attenuation step below 14 (Mute)")
    end
    return text
end

local function addVersion(tree, tvb, offset, packetLength)
    if not offset then
        noteDefault(addField(tree, f.version, tvb, nil, 2, "2.0"), true, packetLength)
        return
    end
    local first = tvb(offset, 1):uint()
    local second = tvb(offset + 1, 1):uint()
    local item = tree:add(f.version, tvb(offset, 2), versionText(first, second))
    item:add(f.versionFirst, tvb(offset, 1))
    item:add(f.versionSecond, tvb(offset + 1, 1))
end

local function addSfn(tree, tvb, offset, packetLength)
    local item, isDefault = addField(tree, f.sfn, tvb, offset, 1, 0)
    noteDefault(item, isDefault, packetLength)
end

local function addBuffer(tree, tvb, offset, default, packetLength)
    local item, isDefault = addField(tree, f.buffer, tvb, offset, 1, default)
    local text = latencyText(offset and tvb(offset, 1):uint() or default)
    item:append_text(" (latency " .. text .. ")")
    noteDefault(item, isDefault, packetLength)
    item:add(f.latency, text):set_generated()
end

-- Packets ---------------------------------------------------------------------------------------

-- Offsets 0 to 34: the same in the configuration packet and in the feedback packet.
local function addSettings(tvb, tree)
    tree:add(f.ip, tvb(0, 4))
    tree:add(f.mask, tvb(4, 4))
    tree:add(f.gateway, tvb(8, 4))
    tree:add(f.remote, tvb(12, 4))
    tree:add(f.audioInput, tvb(16, 1))
    tree:add(f.audioType, tvb(17, 1))
    tree:add(f.txType, tvb(18, 1))
    local bytes = tvb(19, 16):raw()
    local name = storedName(bytes)
    tree:add(f.name, tvb(19, 16), name)
    tree:add(f.nameRaw, tvb(19, 16), rawName(bytes))
    return name
end

local function addRoleAndSerial(tvb, tree)
    tree:add(f.role, tvb(35, 1))
    tree:add(f.serial, tvb(36, 4))
end

-- Encoder tail (any role but a decoder's): version, SFN option, buffer size from offset 40.
local function addEncoderTail(tvb, tree, length)
    local read = length >= 44
    addVersion(tree, tvb, read and 40, length)
    addSfn(tree, tvb, read and 42, length)
    addBuffer(tree, tvb, read and 43, 0, length)
    if length == 41 or length == 45 then
        tree:add(f.unread, tvb(length - 1, 1))
    end
    if not read then
        tree:add(f.defaults, "Version, SFN option, Buffer size"):set_generated()
    end
end

-- Decoder tail: attenuation from offset 40, then version, SFN option and buffer size.
local function addDecoderTail(tvb, tree, length)
    addAttenuation(tree, tvb, length >= 41 and 40, length)
    addVersion(tree, tvb, length >= 44 and 41, length)
    addSfn(tree, tvb, length >= 44 and 43, length)
    addBuffer(tree, tvb, length >= 45 and 44, 1, length)
    local defaults = {
        [40] = "Attenuation, Version, SFN option, Buffer size",
        [41] = "Version, SFN option, Buffer size",
        [44] = "Buffer size",
    }
    if defaults[length] then
        tree:add(f.defaults, defaults[length]):set_generated()
    end
end

-- The station's plausibility checks, in its order; the first that fails names the field. Four
-- address bytes always make a valid address, so its address checks never fail.
local function rejection(tvb)
    local checks = {
        { tvb(16, 1):uint() > 1, "Audio Input" },
        { tvb(17, 1):uint() > 1, "Audio Type" },
        { tvb(18, 1):uint() > 1, "TX Type" },
        { tvb(35, 1):uint() > DECODER_ROLE, "Element Type" },
        { tvb(36, 4):int() < 1, "Serial Number" },
    }
    for _, check in ipairs(checks) do
        if check[1] then
            return "An error occured while retrieving '" .. check[2] .. "':"
        end
    end
    return nil
end

local function dissectFeedback(tvb, tree)
    local length = datagramLength(tvb)
    if length < 40 then
        malformed(tree, length, NOT_FEEDBACK)
        if length >= CONFIG_LENGTH then
            addSettings(tvb, tree)
        end
        addExtra(tvb, tree, length >= CONFIG_LENGTH and CONFIG_LENGTH or 0)
        return nil
    end
    if length ~= 40 and length ~= 41 and length ~= 44 and length ~= 45 then
        malformed(tree, length, NOT_FEEDBACK)
        addSettings(tvb, tree)
        addRoleAndSerial(tvb, tree)
        addExtra(tvb, tree, 40)
        return nil
    end
    local name = addSettings(tvb, tree)
    addRoleAndSerial(tvb, tree)
    local role = tvb(35, 1):uint()
    if role == DECODER_ROLE then
        addDecoderTail(tvb, tree, length)
    else
        addEncoderTail(tvb, tree, length)
    end
    local line = rejection(tvb)
    if line then
        tree:add_proto_expert_info(e.rejected, "The station rejects it: " .. line)
    end
    return string.format("%s \"%s\" %s", roleNames()[role], name, tostring(tvb(0, 4):ipv4()))
end

local function dissectConfiguration(tvb, tree)
    local name = addSettings(tvb, tree)
    return string.format("\"%s\" %s", name, tostring(tvb(0, 4):ipv4()))
end

-- To the configuration port, between a configuration packet's length and a feedback packet's.
local function dissectConfigurationOrFeedback(tvb, tree)
    local length = datagramLength(tvb)
    malformed(tree, length,
        ": a configuration packet has 35 bytes, a feedback packet 40, 41, 44 or 45")
    if length >= CONFIG_LENGTH then
        addSettings(tvb, tree)
        addExtra(tvb, tree, CONFIG_LENGTH)
    else
        addExtra(tvb, tree, 0)
    end
    return nil
end

local function dissectPaging(tvb, tree)
    local length = datagramLength(tvb)
    if length > 0 then
        tree:add(f.paging, tvb(), tvb():string(ENC_ISO_8859_1))
    end
    if length == #PAGING_TEXT and tvb():raw() == PAGING_TEXT:sub(1, tvb:len()) then
        return nil
    end
    malformed(tree, length, ": the paging request is the 32 bytes \"" .. PAGING_TEXT .. "\"")
    return nil
end

local function dissectAttenuation(tvb, tree)
    local length = datagramLength(tvb)
    local readout
    if length >= 1 then
        readout = addAttenuation(tree, tvb, 0, length)
    end
    if length >= 2 then
        local pad = tree:add(f.attenuationPad, tvb(1, 1))
        if tvb(1, 1):uint() ~= 0 then
            pad:add_proto_expert_info(e.unusual, "The second byte of the command is always 0")
        end
    end
    if length == 2 then
        return readout
    end
    malformed(tree, length, ": an attenuation command has 2 bytes")
    addExtra(tvb, tree, 2)
    return readout
end

local function dissectLevelRequest(tvb, tree)
    tree:add(f.request, tvb(), tvb():string(ENC_ISO_8859_1))
    if tvb():raw() == LEVEL_REQUEST_TEXT:sub(1, tvb:len()) then
        return nil
    end
    malformed(tree, 3, " to port 2977 that are not the audio-level request \"VOL\"")
    return nil
end

local function dissectUnknownCommand(tvb, tree)
    malformed(tree, datagramLength(tvb),
        " to port 2977: the commands are the 2-byte attenuation and the 3 bytes \"VOL\"")
    addExtra(tvb, tree, 0)
    return nil
end

-- 480 samples of 24 bits, most significant byte first; the station keeps the largest positive one.
local function dissectLevel(tvb, tree)
    if tvb:len() < LEVEL_LENGTH then
        return nil -- the peak may be among the samples not captured
    end
    local bytes = tvb:bytes()
    local peak, peakOffset = 0, nil
    for offset = 0, LEVEL_LENGTH - 3, 3 do
        local b0 = bytes:get_index(offset)
        if b0 < 0x80 then
            local value = (b0 * 256 + bytes:get_index(offset + 1)) * 256
                + bytes:get_index(offset + 2)
            if value > peak then
                peak, peakOffset = value, offset
            end
        end
    end
    local text, width = levelTexts(peak)
    if peakOffset then
        tree:add(f.peak, tvb(peakOffset, 3), peak)
    else
        tree:add(f.peak, peak):set_generated()
    end
    tree:add(f.dbfs, text):set_generated()
    tree:add(f.bar, width):set_generated():append_text(" of 2100")
    return text
end

local function dissectDropped(tvb, tree)
    malformed(tree, datagramLength(tvb),
        ": the station drops it (1440 bytes are audio level, fewer than 46 but 3 feedback)")
    addExtra(tvb, tree, 0)
    return nil
end

local packets = {
    paging = { "Paging request", dissectPaging },
    configuration = { "Configuration packet", dissectConfiguration },
    feedback = { "Feedback packet", dissectFeedback },
    configurationOrFeedback = {
        "Configuration or feedback packet", dissectConfigurationOrFeedback },
    attenuation = { "Attenuation command", dissectAttenuation },
    levelRequest = { "Audio-level request", dissectLevelRequest },
    command = { "Command", dissectUnknownCommand },
    level = { "Audio-level datagram", dissectLevel },
    dropped = { "Datagram the station drops", dissectDropped },
}

-- Which packet a datagram is, from its ports and length. Datagrams from an element's paging or
-- command port go to the station and are routed by length as the station routes them; to the
-- configuration port the configuration packet (station to element) and the feedback packet
-- (element to station) both travel from port 2976 and are told apart by length.
local function packetKind(srcPort, dstPort, length)
    if dstPort == PAGING_PORT then
        return packets.paging
    end
    if dstPort == COMMAND_PORT then
        if length <= 2 then
            return packets.attenuation
        end
        return length == 3 and packets.levelRequest or packets.command
    end
    if length == LEVEL_LENGTH then
        return packets.level
    end
    if length >= FEEDBACK_LIMIT or length == 3 then
        return packets.dropped
    end
    local fromElement = srcPort == PAGING_PORT or srcPort == COMMAND_PORT
    if fromElement or length >= 40 then
        return packets.feedback
    end
    if length == CONFIG_LENGTH then
        return packets.configuration
    end
    return packets.configurationOrFeedback
end

function varnetix.dissector(tvb, pinfo, tree)
    local length = datagramLength(tvb)
    local captured = tvb:len()
    local name, dissect = table.unpack(packetKind(pinfo.src_port, pinfo.dst_port, length))
    pinfo.cols.protocol:set("VARNETIX")
    local subtree = tree:add(varnetix, tvb())
    subtree:append_text(", " .. name)
    subtree:add(f.packet, name):set_generated()
    markedMalformed = false
    local done, detail = pcall(dissect, tvb, subtree)
    -- Fields past the captured bytes are not shown; any other failure is the dissector's own.
    if not done and captured == length then
        error(detail, 0)
    end
    local info = name
    if captured < length then
        subtree:add(f.captured, captured):set_generated():append_text(
            string.format(" of %d: the capture's snapshot length cut the datagram", length))
        info = info .. string.format(", %d bytes captured", captured)
    elseif detail then
        info = info .. ", " .. detail
    end
    if markedMalformed then
        info = info .. ", malformed"
    end
    pinfo.cols.info:set(info .. " (" .. byteCount(length) .. ")")
    return length
end

local udpPorts = DissectorTable.get("udp.port")
for _, port in ipairs({ PAGING_PORT, CONFIG_PORT, COMMAND_PORT }) do
    udpPorts:add(port, varnetix)
end

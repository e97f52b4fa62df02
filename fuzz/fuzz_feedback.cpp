// Arbitrary datagrams through the feedback decoder, its checks and the level evaluation.
// Invariants: a refused length leaves the record untouched; a decoded packet re-encodes to
// the same bytes and fields; the level meter stays within its scale.
#include "core/audio_level.h"
#include "core/config_packet.h"
#include "core/feedback_packet.h"
#include "core/mac_format.h"
#include "core/text_procedures.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>

namespace {

using namespace varnetix;

void require(bool condition) {
    if (!condition)
        std::abort();
}

auto fields(const FeedbackRecord& r) {
    return std::tie(r.ElementIP, r.ElementMask, r.ElementGW, r.RemoteIP, r.AudioInput, r.AudioType,
                    r.TxType, r.ElementName, r.ElementRole, r.SerialNumber, r.DspVersion,
                    r.SfnOption, r.BufferSize, r.Attenuation, r.ElementMAC);
}

FeedbackRecord startingRecord() {
    FeedbackRecord r;
    r.ElementIP = "not decoded";
    r.ElementName = "previous";
    r.SerialNumber = -7;
    r.DspVersion = 9.5f;
    r.Attenuation = 123;
    r.ElementMAC = "AA:BB:CC:DD:EE:FF";
    return r;
}

std::uint8_t byteOr0(std::string_view data, std::size_t offset) {
    return offset < data.size() ? static_cast<std::uint8_t>(data[offset]) : 0;
}

void checkFeedback(std::string_view data) {
    const FeedbackRecord before = startingRecord();
    FeedbackRecord record = before;
    const bool decoded = DecodeFeedback(data, record);
    require(decoded == IsFeedbackLength(data.size()));
    if (!decoded) {
        require(fields(record) == fields(before));
        return;
    }
    require(record.ElementMAC == before.ElementMAC);
    require(record.ElementName.size() == 16);
    const bool decoder = record.ElementRole == 2;
    if (!decoder)
        require(record.Attenuation == before.Attenuation);

    // Addresses made from bytes are always dotted quads, so only the byte checks can fail.
    const FeedbackCheck check = CheckFeedback(record);
    require(check == FeedbackCheck::Passed || check >= FeedbackCheck::AudioInput);
    require(FeedbackCheckLine(check).empty() == (check == FeedbackCheck::Passed));

    const std::size_t versionOffset = decoder ? 41 : 40;
    const std::string encoded = EncodeFeedback(record, data.size(), byteOr0(data, versionOffset),
                                               byteOr0(data, versionOffset + 1));
    require(encoded.size() == data.size());
    // An encoder's 45th byte is never read, so it is the one byte that may differ.
    const std::size_t compared = decoder ? data.size() : std::min<std::size_t>(data.size(), 44);
    require(std::string_view(encoded).substr(0, compared) == data.substr(0, compared));

    FeedbackRecord again = before;
    require(DecodeFeedback(encoded, again));
    require(fields(again) == fields(record));
}

void checkAudioLevel(std::string_view data) {
    const AudioLevel level = EvaluateAudioLevel(data);
    require(level.barWidth >= 0 && level.barWidth <= kMeterFullScale);
    require(level.peak >= 0 && level.peak < (1 << 23));
    require((level.peak == 0) == (level.text == kNoLevelText));
    require(level.text.size() > 4 && level.text.ends_with("dBFS"));
}

void checkTextProcedures(std::string_view data) {
    const std::string text(data);
    require(PadElementName(text).size() == 16);
    if (text.find(':') == std::string::npos) {
        const std::string colons = MacWithColons(text);
        require(colons.empty() || MacWithoutColons(colons) == ToUpperAscii(text));
    }
    const std::uint32_t address = ParseIpAddress(text);
    if (IsValidIp(text)) {
        std::string dotted;
        for (int shift = 24; shift >= 0; shift -= 8)
            dotted += std::to_string((address >> shift) & 0xFF) + (shift ? "." : "");
        require(ParseIpAddress(dotted) == address);
    } else {
        require(address == kInvalidIpAddress);
    }
    ConfigFields config;
    config.ip = text;
    config.name = text;
    require(BuildConfigPacket(config).size() == kConfigPacketSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkFeedback(bytes);
    checkAudioLevel(bytes);
    checkTextProcedures(bytes);
    return 0;
}

#include "core/feedback_packet.h"

#include "core/address_bytes.h"
#include "core/text_procedures.h"

#include <array>
#include <cstddef>

namespace varnetix {

namespace {

constexpr std::size_t kLongestLength = 45;
constexpr std::size_t kNameOffset = 19;
constexpr std::size_t kNameLength = 16;
constexpr std::size_t kRoleOffset = 35;
constexpr std::size_t kSerialOffset = 36;
constexpr std::uint8_t kDecoderRole = 2;

constexpr float kDefaultVersion = 2.0f;
constexpr std::uint8_t kDefaultDecoderAttenuation = 255;
constexpr std::uint8_t kDefaultDecoderBuffer = 1;

std::uint8_t byteAt(std::string_view packet, std::size_t offset) {
    return static_cast<std::uint8_t>(packet[offset]);
}

} // namespace

bool IsFeedbackLength(std::size_t length) {
    return length == 40 || length == 41 || length == 44 || length == 45;
}

float DecodeVersion(std::uint8_t first, std::uint8_t second) {
    // The decimal texts joined: the first part shifted by as many digits as the second has.
    // At most 255255, so the value is exact as a float and the quotient correctly rounded.
    const int shift = second >= 100 ? 1000 : second >= 10 ? 100 : 10;
    const int joined = first * shift + second;
    return static_cast<float>(joined) / 10.0f;
}

bool DecodeFeedback(std::string_view packet, FeedbackRecord& record) {
    const std::size_t length = packet.size();
    if (!IsFeedbackLength(length))
        return false;

    record.ElementIP = detail::AddressText(packet, 0);
    record.ElementMask = detail::AddressText(packet, 4);
    record.ElementGW = detail::AddressText(packet, 8);
    record.RemoteIP = detail::AddressText(packet, 12);
    record.AudioInput = byteAt(packet, 16);
    record.AudioType = byteAt(packet, 17);
    record.TxType = byteAt(packet, 18);
    record.ElementName = std::string(packet.substr(kNameOffset, kNameLength));
    record.ElementRole = byteAt(packet, kRoleOffset);
    std::uint32_t serial = 0;
    for (std::size_t i = 0; i < 4; ++i)
        serial = (serial << 8) | byteAt(packet, kSerialOffset + i);
    // A most significant byte of 0x80 or more turns negative and fails the serial check.
    record.SerialNumber = static_cast<std::int32_t>(serial);

    record.DspVersion = kDefaultVersion;
    record.SfnOption = 0;
    record.BufferSize = 0;

    if (record.ElementRole != kDecoderRole) {
        if (length >= 44) {
            record.DspVersion = DecodeVersion(byteAt(packet, 40), byteAt(packet, 41));
            record.SfnOption = byteAt(packet, 42);
            record.BufferSize = byteAt(packet, 43);
        }
        return true;
    }

    record.Attenuation = kDefaultDecoderAttenuation;
    record.BufferSize = kDefaultDecoderBuffer;
    if (length >= 41)
        record.Attenuation = byteAt(packet, 40);
    if (length >= 44) {
        record.DspVersion = DecodeVersion(byteAt(packet, 41), byteAt(packet, 42));
        record.SfnOption = byteAt(packet, 43);
    }
    if (length >= 45)
        record.BufferSize = byteAt(packet, 44);
    return true;
}

FeedbackCheck CheckFeedback(const FeedbackRecord& record) {
    if (!IsValidIp(record.ElementIP))
        return FeedbackCheck::ElementIP;
    if (!IsValidIp(record.ElementMask))
        return FeedbackCheck::ElementMask;
    if (!IsValidIp(record.ElementGW))
        return FeedbackCheck::ElementGW;
    if (!IsValidIp(record.RemoteIP))
        return FeedbackCheck::RemoteIP;
    if (record.AudioInput > 1)
        return FeedbackCheck::AudioInput;
    if (record.AudioType > 1)
        return FeedbackCheck::AudioType;
    if (record.TxType > 1)
        return FeedbackCheck::TxType;
    if (record.ElementRole > kDecoderRole)
        return FeedbackCheck::ElementType;
    if (record.SerialNumber < 1)
        return FeedbackCheck::SerialNumber;
    return FeedbackCheck::Passed;
}

namespace {

std::string retrievalErrorLine(const char* field) {
    return std::string("An error occured while retrieving '") + field + "':";
}

} // namespace

std::string FeedbackCheckLine(FeedbackCheck check) {
    switch (check) {
    case FeedbackCheck::Passed:
        return {};
    case FeedbackCheck::ElementIP:
        return retrievalErrorLine("Element IP");
    case FeedbackCheck::ElementMask:
        return retrievalErrorLine("Element Mask");
    case FeedbackCheck::ElementGW:
        return retrievalErrorLine("Element GW");
    case FeedbackCheck::RemoteIP:
        return retrievalErrorLine("Remote IP");
    case FeedbackCheck::AudioInput:
        return retrievalErrorLine("Audio Input");
    case FeedbackCheck::AudioType:
        return retrievalErrorLine("Audio Type");
    case FeedbackCheck::TxType:
        return retrievalErrorLine("TX Type");
    case FeedbackCheck::ElementType:
        return retrievalErrorLine("Element Type");
    case FeedbackCheck::SerialNumber:
        return retrievalErrorLine("Serial Number");
    }
    return {}; // a value outside the enumeration
}

std::string MacLookupFailedLine() {
    return retrievalErrorLine("Element MAC");
}

std::string EncodeFeedback(const FeedbackRecord& record, std::size_t length,
                           std::uint8_t versionFirst, std::uint8_t versionSecond) {
    std::string packet;
    packet.reserve(kLongestLength);
    for (const std::string* address :
         {&record.ElementIP, &record.ElementMask, &record.ElementGW, &record.RemoteIP}) {
        for (std::uint8_t octet : detail::AddressBytes(*address))
            packet += static_cast<char>(octet);
    }
    packet += static_cast<char>(record.AudioInput);
    packet += static_cast<char>(record.AudioType);
    packet += static_cast<char>(record.TxType);
    std::string name = record.ElementName.substr(0, kNameLength);
    name.resize(kNameLength, ' ');
    packet += name;
    packet += static_cast<char>(record.ElementRole);
    const auto serial = static_cast<std::uint32_t>(record.SerialNumber);
    for (int shift = 24; shift >= 0; shift -= 8)
        packet += static_cast<char>((serial >> shift) & 0xFF);

    std::array<std::uint8_t, 5> tail{};
    if (record.ElementRole == kDecoderRole)
        tail = {record.Attenuation, versionFirst, versionSecond, record.SfnOption,
                record.BufferSize};
    else
        tail = {versionFirst, versionSecond, record.SfnOption, record.BufferSize, 0};
    for (std::uint8_t byte : tail)
        packet += static_cast<char>(byte);

    packet.resize(length < kLongestLength ? length : kLongestLength);
    return packet;
}

} // namespace varnetix

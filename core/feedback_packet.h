// The element's feedback packet: decoding into FeedbackRecord and the plausibility checks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnetix {

struct FeedbackRecord {
    std::string ElementIP, ElementMask, ElementGW, RemoteIP;
    std::uint8_t AudioInput = 0, AudioType = 0, TxType = 0;
    std::string ElementName; // the 16 name bytes, nothing trimmed
    std::uint8_t ElementRole = 0;
    std::int32_t SerialNumber = 0;
    float DspVersion = 2.0f;
    std::uint8_t SfnOption = 0, BufferSize = 0;
    std::uint8_t Attenuation = 0; // set by decoder packets only, kept otherwise
    std::string ElementMAC;       // set by a successful lookup only
};

// 40, 41, 44 and 45 bytes are feedback packets; every other length has no decoding.
bool IsFeedbackLength(std::size_t length);

// Decodes a feedback packet into the record, overwriting every field but ElementMAC and, for
// packets that are not a decoder's, Attenuation. Returns false (record untouched) for a length
// that has no decoding.
bool DecodeFeedback(std::string_view packet, FeedbackRecord& record);

// Version from its two parts: the decimal texts joined and divided by ten (1 and 12 give 11.2).
float DecodeVersion(std::uint8_t first, std::uint8_t second);

enum class FeedbackCheck {
    Passed,
    ElementIP,
    ElementMask,
    ElementGW,
    RemoteIP,
    AudioInput,
    AudioType,
    TxType,
    ElementType,
    SerialNumber,
};

// The first check the record fails, in the fixed order, or Passed.
FeedbackCheck CheckFeedback(const FeedbackRecord& record);
// "An error occured while retrieving '<field>':" for a failed check; "" for Passed.
std::string FeedbackCheckLine(FeedbackCheck check);
// The same for the MAC lookup that found nothing.
std::string MacLookupFailedLine();

// The encoder's and decoder's packets, for the element side and for tests: the record's
// fields laid out as the element sends them, of the given length (40, 41, 44 or 45).
std::string EncodeFeedback(const FeedbackRecord& record, std::size_t length,
                           std::uint8_t versionFirst, std::uint8_t versionSecond);

} // namespace varnetix

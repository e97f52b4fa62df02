#include "tools/pcap_sample/sample_capture.h"

#include "core/audio_level.h"
#include "core/commands.h"
#include "core/config_packet.h"
#include "core/feedback_packet.h"
#include "core/paging_request.h"

#include <cstdint>

namespace varnetix::sample {

namespace {

using Address = std::array<std::uint8_t, 4>;

constexpr Address kStation{198, 18, 0, 1};
constexpr Address kEncoder{198, 18, 0, 11};
constexpr Address kDecoder{198, 18, 0, 12};
constexpr Address kOther{198, 18, 0, 13};
constexpr Address kBroadcast{255, 255, 255, 255};
constexpr std::uint16_t kStationPort = kConfigPort;
constexpr std::int32_t kNegativeFullScale = -8388608;

FeedbackRecord encoderRecord() {
    FeedbackRecord record;
    record.ElementIP = "198.18.0.11";
    record.ElementMask = "255.254.0.0";
    record.ElementGW = "198.18.0.1";
    record.RemoteIP = "198.18.0.12";
    record.AudioInput = 1;
    record.ElementName = "STUDIO A TX";
    record.ElementRole = 1;
    record.SerialNumber = 12345;
    record.SfnOption = 1;
    record.BufferSize = 5;
    return record;
}

FeedbackRecord decoderRecord() {
    FeedbackRecord record;
    record.ElementIP = "198.18.0.12";
    record.ElementMask = "255.254.0.0";
    record.ElementGW = "198.18.0.1";
    record.RemoteIP = "198.18.0.11";
    record.AudioType = 1;
    record.TxType = 1;
    record.ElementName = "TX SITE NORTH";
    record.ElementRole = 2;
    record.SerialNumber = 32768;
    record.Attenuation = 240;
    record.BufferSize = 3;
    return record;
}

std::string encoderFeedback(std::size_t length) {
    return EncodeFeedback(encoderRecord(), length, 2, 1);
}

std::string decoderFeedback(std::size_t length) {
    return EncodeFeedback(decoderRecord(), length, 1, 12);
}

// The encoder's 44-byte answer with the name bytes given.
std::string encoderNamed(const std::string& name) {
    FeedbackRecord record = encoderRecord();
    record.ElementName = name;
    return EncodeFeedback(record, 44, 2, 1);
}

ConfigFields encoderConfiguration() {
    return {"198.18.0.11", "255.254.0.0", "198.18.0.1", "198.18.0.12", 1, 1, 0, "studio a tx"};
}

void appendSample(std::string& datagram, std::int32_t sample) {
    const auto bits = static_cast<std::uint32_t>(sample);
    for (int shift = 16; shift >= 0; shift -= 8)
        datagram += static_cast<char>((bits >> shift) & 0xFF);
}

// 480 samples whose largest positive one is the peak, at sample 241; the negative samples
// reach full scale, which the level ignores.
std::string levelDatagram(std::int32_t peak) {
    std::string datagram;
    for (std::int32_t k = 0; k < 480; ++k) {
        if (k == 241)
            appendSample(datagram, peak);
        else if (k % 2 == 0)
            appendSample(datagram, kNegativeFullScale);
        else
            appendSample(datagram, static_cast<std::int32_t>(std::int64_t{peak} * k / 480));
    }
    return datagram;
}

std::string negativeLevelDatagram() {
    std::string datagram;
    for (int k = 0; k < 480; ++k)
        appendSample(datagram, -1 - k);
    return datagram;
}

} // namespace

std::vector<SampleDatagram> SampleCapture() {
    const UdpEndpoint station{kStation, kStationPort};
    const UdpEndpoint broadcast{kBroadcast, kPagingPort};
    const UdpEndpoint encoderPaging{kEncoder, kPagingPort};
    const UdpEndpoint encoderConfig{kEncoder, kConfigPort};
    const UdpEndpoint encoderCommand{kEncoder, kCommandPort};
    const UdpEndpoint decoderPaging{kDecoder, kPagingPort};
    const UdpEndpoint decoderCommand{kDecoder, kCommandPort};
    const UdpEndpoint otherPaging{kOther, kPagingPort};

    FeedbackRecord unknownRole = encoderRecord();
    unknownRole.ElementIP = "198.18.0.13";
    unknownRole.ElementName = "SPARE";
    unknownRole.ElementRole = 0;
    unknownRole.SerialNumber = -2147483647; // bytes 80 00 00 01
    FeedbackRecord badCodes = unknownRole;
    badCodes.AudioInput = 2;
    badCodes.TxType = 5;
    badCodes.ElementRole = 3;
    badCodes.SerialNumber = 7;

    const std::string configuration = BuildConfigPacket(encoderConfiguration());
    const std::string paging = PagingRequest();

    return {
        // Discovery, and both elements' answers at every length a feedback packet has.
        {station, broadcast, paging},
        {encoderPaging, station, encoderFeedback(44)},
        {decoderPaging, station, decoderFeedback(45)},
        {encoderPaging, station, encoderFeedback(40)},
        {encoderPaging, station, encoderFeedback(41)},
        {encoderConfig, station, encoderFeedback(45)},
        {decoderPaging, station, decoderFeedback(40)},
        {decoderPaging, station, decoderFeedback(41)},
        {decoderPaging, station, decoderFeedback(44)},
        {otherPaging, station, EncodeFeedback(unknownRole, 44, 3, 0)},
        {otherPaging, station, EncodeFeedback(badCodes, 44, 2, 0)},
        // The station's commands.
        {station, encoderConfig, configuration},
        {station, decoderCommand, AttenuationCommand(14)},
        {station, decoderCommand, AttenuationCommand(255)},
        {station, decoderCommand, AttenuationCommand(254)},
        {station, encoderCommand, AudioLevelRequest()},
        // Level datagrams: half scale, a sixteenth, the smallest and largest peak, no peak.
        {encoderCommand, station, levelDatagram(4194304)},
        {encoderCommand, station, levelDatagram(524288)},
        {encoderCommand, station, levelDatagram(1)},
        {encoderCommand, station, levelDatagram(8388607)},
        {encoderCommand, station, negativeLevelDatagram()},
        // Lengths no packet has.
        {encoderPaging, station, encoderFeedback(45).substr(0, 42)},
        {station, encoderConfig, configuration + '\0'},
        {station, decoderCommand, AttenuationCommand(240).substr(0, 1)},
        {station, broadcast, paging.substr(0, 31)},
        {station, encoderCommand, "VOX"},
        {encoderPaging, station, encoderFeedback(45).substr(0, 39)},
        {encoderCommand, station, levelDatagram(4194304).substr(0, 1439)},
        {encoderPaging, station, AudioLevelRequest()},
        {station, encoderCommand, "VOLUP"},
        // An attenuation command off the scale, with a second byte that is not 0.
        {station, decoderCommand, std::string{'\x0D', '\x01'}},
        // Names as elements report them: Latin-1 letters, lower case ones, a NUL.
        {encoderPaging, station, encoderNamed("\334BERTRAGUNG S\334D")}, // Ü is 0xDC
        {encoderPaging, station, encoderNamed(std::string(16, '\xE9'))},
        {encoderPaging, station, encoderNamed(std::string("TX\0SITE\r1", 9))},
    };
}

} // namespace varnetix::sample

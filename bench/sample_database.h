// The database the benchmarks measure on: records as a discovery writes them, encoders and
// decoders in turn (13 and 14 keys), under sections 027679000000, 027679000001, ...
#pragma once

#include <string>

namespace varnetix::bench {

inline std::string sectionName(int i) {
    static const char digits[] = "0123456789ABCDEF";
    std::string name = "027679";
    for (int shift = 20; shift >= 0; shift -= 4)
        name += digits[(unsigned(i) >> shift) & 0xF];
    return name;
}

inline std::string generateDatabase(int records) {
    std::string text;
    text.reserve(std::size_t(records) * 240);
    for (int i = 0; i < records; ++i) {
        const bool encoder = i % 2 == 0;
        const std::string ip = "10." + std::to_string((i >> 16) & 255) + "." +
                               std::to_string((i >> 8) & 255) + "." + std::to_string(i & 255);
        std::string name = (encoder ? "ENC " : "DEC ") + std::to_string(i);
        name.resize(16, ' ');
        text += "[" + sectionName(i) + "]\r\nNAME=" + name + "\r\nIP=" + ip +
                "\r\nMASK=255.0.0.0\r\nGW=10.0.0.1\r\nREMOTE=" + ip +
                "\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nROLE=" + (encoder ? "1" : "2") +
                "\r\nSN=" + std::to_string(100000 + i) +
                "\r\nVER=2.1\r\nSFN=0\r\nBUF=" + (encoder ? "0" : "3") + "\r\n" +
                (encoder ? "" : "ATT=240\r\n");
    }
    return text;
}

} // namespace varnetix::bench

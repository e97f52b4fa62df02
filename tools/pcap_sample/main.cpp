// varnetix-pcap-sample: writes a capture file with every packet of the element link, for trying
// and testing the Wireshark dissector (tools/wireshark/varnetix.lua).
//   varnetix-pcap-sample <file.pcap>
#include "tools/pcap_sample/pcap_writer.h"
#include "tools/pcap_sample/sample_capture.h"

#include <fstream>
#include <iostream>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: varnetix-pcap-sample <file.pcap>\n";
        return 2;
    }
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    varnetix::sample::PcapWriter writer(file);
    const auto datagrams = varnetix::sample::SampleCapture();
    for (const auto& datagram : datagrams)
        writer.writeUdp(datagram.source, datagram.destination, datagram.payload);
    file.close();
    if (!file) {
        std::cerr << "varnetix-pcap-sample: cannot write " << argv[1] << '\n';
        return 1;
    }
    std::cout << "Wrote " << datagrams.size() << " frames to " << argv[1] << '\n';
    return 0;
}

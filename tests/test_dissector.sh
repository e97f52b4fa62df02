#!/usr/bin/env bash
# The Wireshark dissector read by tshark over the sample capture that varnetix-pcap-sample
# writes: every packet of the link named, every field shown as the station shows it, defaults
# of short feedback packets marked, and datagrams of lengths no packet has marked as malformed
# without a single Lua error. The expected values are worked out from the packet formats.
#   tests/test_dissector.sh <varnetix-pcap-sample> <varnetix.lua>
# Exits 77 (skipped) when tshark or editcap (installed with it) is missing.
set -euo pipefail

sampler=$1
dissector=$2

if ! command -v tshark >/dev/null || ! command -v editcap >/dev/null; then
    echo "SKIP: tshark is missing (apt-get install tshark; tools/ensure-deps.sh installs it)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own: no personal Wireshark profile or plugin takes part.
export HOME=$work/home
mkdir "$HOME"
capture=$work/sample.pcap
"$sampler" "$capture" >/dev/null

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# tshark over the capture with the dissector; stderr may only hold tshark's remark on root.
shark() {
    tshark -X lua_script:"$dissector" -r "$capture" "$@" 2>"$work/stderr"
    if grep -v '^Running as user "root" and group "root". This could be dangerous.$' \
        "$work/stderr" >"$work/unexpected"; then
        fail "tshark wrote to stderr: $(cat "$work/unexpected")"
    fi
}

# check <what> <display filter> <field>...: the frames the filter selects, one line each with
# the frame number and the fields joined by "|" (repeated fields by ";"), equal the lines on
# standard input.
check() {
    local what=$1 filter=$2
    shift 2
    local arguments=(-e frame.number) field
    for field in "$@"; do
        arguments+=(-e "$field")
    done
    cat >"$work/expected"
    shark -Y "$filter" -T fields -E separator='|' -E occurrence=a -E aggregator=';' \
        "${arguments[@]}" >"$work/actual"
    if ! diff -u "$work/expected" "$work/actual" >"$work/diff"; then
        cat "$work/diff"
        fail "$what"
    fi
}

check "every frame named" "frame" _ws.col.Protocol _ws.col.Info varnetix.packet <<'EOF'
1|VARNETIX|Paging request (32 bytes)|Paging request
2|VARNETIX|Feedback packet, ENCODER "STUDIO A TX" 198.18.0.11 (44 bytes)|Feedback packet
3|VARNETIX|Feedback packet, DECODER "TX SITE NORTH" 198.18.0.12 (45 bytes)|Feedback packet
4|VARNETIX|Feedback packet, ENCODER "STUDIO A TX" 198.18.0.11 (40 bytes)|Feedback packet
5|VARNETIX|Feedback packet, ENCODER "STUDIO A TX" 198.18.0.11 (41 bytes)|Feedback packet
6|VARNETIX|Feedback packet, ENCODER "STUDIO A TX" 198.18.0.11 (45 bytes)|Feedback packet
7|VARNETIX|Feedback packet, DECODER "TX SITE NORTH" 198.18.0.12 (40 bytes)|Feedback packet
8|VARNETIX|Feedback packet, DECODER "TX SITE NORTH" 198.18.0.12 (41 bytes)|Feedback packet
9|VARNETIX|Feedback packet, DECODER "TX SITE NORTH" 198.18.0.12 (44 bytes)|Feedback packet
10|VARNETIX|Feedback packet, UNKNOWN "SPARE" 198.18.0.13 (44 bytes)|Feedback packet
11|VARNETIX|Feedback packet, UNKNOWN "SPARE" 198.18.0.13 (44 bytes)|Feedback packet
12|VARNETIX|Configuration packet, "STUDIO A TX" 198.18.0.11 (35 bytes)|Configuration packet
13|VARNETIX|Attenuation command, Mute (2 bytes)|Attenuation command
14|VARNETIX|Attenuation command, 0 dB (2 bytes)|Attenuation command
15|VARNETIX|Attenuation command, -0.5 dB (2 bytes)|Attenuation command
16|VARNETIX|Audio-level request (3 bytes)|Audio-level request
17|VARNETIX|Audio-level datagram, -6dBFS (1440 bytes)|Audio-level datagram
18|VARNETIX|Audio-level datagram, -24.1dBFS (1440 bytes)|Audio-level datagram
19|VARNETIX|Audio-level datagram, -138.5dBFS (1440 bytes)|Audio-level datagram
20|VARNETIX|Audio-level datagram, 0dBFS (1440 bytes)|Audio-level datagram
21|VARNETIX|Audio-level datagram, -oodBFS (1440 bytes)|Audio-level datagram
22|VARNETIX|Feedback packet, malformed (42 bytes)|Feedback packet
23|VARNETIX|Configuration or feedback packet, malformed (36 bytes)|Configuration or feedback packet
24|VARNETIX|Attenuation command, -7.5 dB, malformed (1 byte)|Attenuation command
25|VARNETIX|Paging request, malformed (31 bytes)|Paging request
26|VARNETIX|Audio-level request, malformed (3 bytes)|Audio-level request
27|VARNETIX|Feedback packet, malformed (39 bytes)|Feedback packet
28|VARNETIX|Datagram the station drops, malformed (1439 bytes)|Datagram the station drops
29|VARNETIX|Datagram the station drops, malformed (3 bytes)|Datagram the station drops
30|VARNETIX|Command, malformed (5 bytes)|Command
31|VARNETIX|Attenuation command, Mute (2 bytes)|Attenuation command
32|VARNETIX|Feedback packet, ENCODER "ÜBERTRAGUNG SÜD" 198.18.0.11 (44 bytes)|Feedback packet
33|VARNETIX|Feedback packet, ENCODER "ÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉ" 198.18.0.11 (44 bytes)|Feedback packet
34|VARNETIX|Feedback packet, ENCODER "TX SITE 1" 198.18.0.11 (44 bytes)|Feedback packet
EOF

# Offsets 0 to 39 (0 to 34 in the configuration packet and in datagrams too short for more).
check "element settings, role and serial number" "varnetix.ip" \
    varnetix.ip varnetix.mask varnetix.gateway varnetix.remote varnetix.audio_input \
    varnetix.audio_type varnetix.tx_type varnetix.name varnetix.name.raw varnetix.role \
    varnetix.serial <<'EOF'
2|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|STUDIO A TX|STUDIO A TX     |1|12345
3|198.18.0.12|255.254.0.0|198.18.0.1|198.18.0.11|0|1|1|TX SITE NORTH|TX SITE NORTH   |2|32768
4|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|STUDIO A TX|STUDIO A TX     |1|12345
5|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|STUDIO A TX|STUDIO A TX     |1|12345
6|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|STUDIO A TX|STUDIO A TX     |1|12345
7|198.18.0.12|255.254.0.0|198.18.0.1|198.18.0.11|0|1|1|TX SITE NORTH|TX SITE NORTH   |2|32768
8|198.18.0.12|255.254.0.0|198.18.0.1|198.18.0.11|0|1|1|TX SITE NORTH|TX SITE NORTH   |2|32768
9|198.18.0.12|255.254.0.0|198.18.0.1|198.18.0.11|0|1|1|TX SITE NORTH|TX SITE NORTH   |2|32768
10|198.18.0.13|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|SPARE|SPARE           |0|-2147483647
11|198.18.0.13|255.254.0.0|198.18.0.1|198.18.0.12|2|0|5|SPARE|SPARE           |3|7
12|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|1|0|STUDIO A TX|STUDIO A TX     ||
22|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|STUDIO A TX|STUDIO A TX     |1|12345
23|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|1|0|STUDIO A TX|STUDIO A TX     ||
27|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|STUDIO A TX|STUDIO A TX     ||
32|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|ÜBERTRAGUNG SÜD|ÜBERTRAGUNG SÜD |1|12345
33|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|ÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉ|éééééééééééééééé|1|12345
34|198.18.0.11|255.254.0.0|198.18.0.1|198.18.0.12|1|0|0|TX SITE 1|TX\x00SITE\x0D1       |1|12345
EOF
# Names are Latin-1, one character a byte, and stored as the station stores them.
check "a display filter on a whole name" 'varnetix.name == "ÜBERTRAGUNG SÜD"' <<'EOF'
32
EOF

# The tail by role and length; an encoder's 41st and 45th bytes are not read.
check "feedback tails and their defaults" "varnetix.version" \
    varnetix.attenuation varnetix.attenuation.db varnetix.version varnetix.version.first \
    varnetix.version.second varnetix.sfn varnetix.buffer varnetix.buffer.latency \
    varnetix.unread varnetix.defaults <<'EOF'
2|||2.1|2|1|1|5|12.5mS||
3|240|-7.5 dB|11.2|1|12|0|3|7.5mS||
4|||2.0|||0|0|0mS||Version, SFN option, Buffer size
5|||2.0|||0|0|0mS|02|Version, SFN option, Buffer size
6|||2.1|2|1|1|5|12.5mS|00|
7|255|0 dB|2.0|||0|1|2.5mS||Attenuation, Version, SFN option, Buffer size
8|240|-7.5 dB|2.0|||0|1|2.5mS||Version, SFN option, Buffer size
9|240|-7.5 dB|11.2|1|12|0|1|2.5mS||Buffer size
10|||3.0|3|0|1|5|12.5mS||
11|||2.0|2|0|1|5|12.5mS||
32|||2.1|2|1|1|5|12.5mS||
33|||2.1|2|1|1|5|12.5mS||
34|||2.1|2|1|1|5|12.5mS||
EOF

check "paging request and commands" \
    "varnetix.paging or varnetix.attenuation.pad or varnetix.request or frame.number == 24" \
    varnetix.paging varnetix.attenuation varnetix.attenuation.db varnetix.attenuation.pad \
    varnetix.request <<'EOF'
1|IPMPXSTL HALVOREN PAGING REQUEST||||
13||14|Mute|0x00|
14||255|0 dB|0x00|
15||254|-0.5 dB|0x00|
16|||||VOL
24||240|-7.5 dB||
25|IPMPXSTL HALVOREN PAGING REQUES||||
26|||||VOX
31||13|Mute|0x01|
EOF

# The peak in dBFS is 20 log10(peak / 2^23) to one decimal, the bar peak / 2^23 * 2100.
check "audio level" "varnetix.level.peak" \
    varnetix.level.peak varnetix.level.dbfs varnetix.level.bar <<'EOF'
17|4194304|-6dBFS|1050
18|524288|-24.1dBFS|131
19|1|-138.5dBFS|0
20|8388607|0dBFS|2100
21|0|-oodBFS|0
EOF

# Every remark of every frame: the rejections the station would show, the malformed lengths,
# the values off the scale, and no Lua error anywhere.
check "expert remarks" "_ws.expert" _ws.expert.message <<'EOF'
10|The station rejects it: An error occured while retrieving 'Serial Number':
11|The station rejects it: An error occured while retrieving 'Audio Input':
22|42 bytes: a feedback packet has 40, 41, 44 or 45 bytes; the station ignores it
23|36 bytes: a configuration packet has 35 bytes, a feedback packet 40, 41, 44 or 45
24|1 byte: an attenuation command has 2 bytes
25|31 bytes: the paging request is the 32 bytes "IPMPXSTL HALVOREN PAGING REQUEST"
26|3 bytes to port 2977 that are not the audio-level request "VOL"
27|39 bytes: a feedback packet has 40, 41, 44 or 45 bytes; the station ignores it
28|1439 bytes: the station drops it (1440 bytes are audio level, fewer than 46 but 3 feedback)
29|3 bytes: the station drops it (1440 bytes are audio level, fewer than 46 but 3 feedback)
30|5 bytes to port 2977: the commands are the 2-byte attenuation and the 3 bytes "VOL"
31|Attenuation step below 14 (Mute);The second byte of the command is always 0
EOF

check "bytes beyond the formats" "varnetix.extra and len(varnetix.extra) < 100" \
    varnetix.extra <<'EOF'
22|0201
23|00
27|01000030
29|564f4c
30|564f4c5550
EOF
check "the dropped level datagram's bytes" "len(varnetix.extra) == 1439" <<'EOF'
28
EOF

# The tree as Wireshark shows it (trailing blanks of the raw name left out).
shark -Y "frame.number in {2, 7, 11, 13, 17}" -O varnetix -V |
    awk '/^Varnetix element link/ {shown = 1} /^$/ {shown = 0} shown' | sed 's/ *$//' \
    >"$work/actual"
cat >"$work/expected" <<'EOF'
Varnetix element link, Feedback packet
    [Packet: Feedback packet]
    Element IP: 198.18.0.11
    Element mask: 255.254.0.0
    Element GW: 198.18.0.1
    Remote IP: 198.18.0.12
    Audio input: Analog (1)
    Audio type: Left/Right (0)
    TX type: Unicast (0)
    Name: STUDIO A TX
    Name, 16 bytes: STUDIO A TX
    Role: ENCODER (1)
    Serial number: 12345
    Version: 2.1
        Version, first part: 2
        Version, second part: 1
    SFN option: 1
    Buffer size: 5 (latency 12.5mS)
        [Latency: 12.5mS]
Varnetix element link, Feedback packet
    [Packet: Feedback packet]
    Element IP: 198.18.0.12
    Element mask: 255.254.0.0
    Element GW: 198.18.0.1
    Remote IP: 198.18.0.11
    Audio input: Digital (0)
    Audio type: MPX (1)
    TX type: Multicast (1)
    Name: TX SITE NORTH
    Name, 16 bytes: TX SITE NORTH
    Role: DECODER (2)
    Serial number: 32768
    [Attenuation step: 255 (0 dB), default: a 40-byte packet does not hold it]
        [Attenuation: 0 dB]
    [Version: 2.0, default: a 40-byte packet does not hold it]
    [SFN option: 0, default: a 40-byte packet does not hold it]
    [Buffer size: 1 (latency 2.5mS), default: a 40-byte packet does not hold it]
        [Latency: 2.5mS]
    [Defaults, not in the packet: Attenuation, Version, SFN option, Buffer size]
Varnetix element link, Feedback packet
    [Packet: Feedback packet]
    Element IP: 198.18.0.13
    Element mask: 255.254.0.0
    Element GW: 198.18.0.1
    Remote IP: 198.18.0.12
    Audio input: Unknown (2)
    Audio type: Left/Right (0)
    TX type: Unknown (5)
    Name: SPARE
    Name, 16 bytes: SPARE
    Role: UNKNOWN (3)
    Serial number: 7
    Version: 2.0
        Version, first part: 2
        Version, second part: 0
    SFN option: 1
    Buffer size: 5 (latency 12.5mS)
        [Latency: 12.5mS]
    [Expert Info (Warning/Protocol): The station rejects it: An error occured while retrieving 'Audio Input':]
        [The station rejects it: An error occured while retrieving 'Audio Input':]
        [Severity level: Warning]
        [Group: Protocol]
Varnetix element link, Attenuation command
    [Packet: Attenuation command]
    Attenuation step: 14 (Mute)
        [Attenuation: Mute]
    Second byte: 0x00
Varnetix element link, Audio-level datagram
    [Packet: Audio-level datagram]
    Positive peak: 4194304
    [Peak level: -6dBFS]
    [Meter bar width: 1050 of 2100]
EOF
if ! diff -u "$work/expected" "$work/actual"; then
    fail "the packet tree"
fi

# Cut by a snapshot length to 30 bytes of each datagram: each is still the packet its length
# makes it, shown as far as it was captured, and malformed only when its length is.
editcap -s 72 "$capture" "$work/cut.pcap"
capture=$work/cut.pcap
check "datagrams cut by the capture" "frame.number in {1, 2, 12, 16, 17, 22}" _ws.col.Info \
    varnetix.captured varnetix.remote varnetix.tx_type varnetix.name <<'EOF'
1|Paging request, 30 bytes captured (32 bytes)|30|||
2|Feedback packet, 30 bytes captured (44 bytes)|30|198.18.0.12|0|
12|Configuration packet, 30 bytes captured (35 bytes)|30|198.18.0.12|0|
16|Audio-level request (3 bytes)||||
17|Audio-level datagram, 30 bytes captured (1440 bytes)|30|||
22|Feedback packet, 30 bytes captured, malformed (42 bytes)|30|198.18.0.12|0|
EOF

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PASS: every packet of the sample capture dissected as expected"

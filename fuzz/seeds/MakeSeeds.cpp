// Writes the seed corpus of every fuzz target from the project's own test inputs: the
// scenario documents of the tests, recordings laid out by the tests' writer, hives the
// registry store writes, the frames, blocks and packets the driver's tests use, and
// packets and replies sealed as the proxy's tests seal them.
//
//   fuzz_make_seeds <fuzz/corpus folder>
//
// Each seed is written in the form its target reads (see the targets' sources).
#include "AltirenClient/AltirenProxy.h"
#include "AltirenClient/DhPacket.h"
#include "AltirenClient/KeySets.h"
#include "AltirenClient/MessageCoder.h"
#include "ControlSocket/Frame.h"
#include "WstWriter.h"
#include "common/EngineHarness.h"
#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/IoControl.h"

#include <platform/Registry.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

fs::path g_root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(g_root / target);
    std::ofstream out(g_root / target / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes FromText(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Appends numbers in the order a fuzz::Input takes them.
struct Script {
    Bytes bytes;
    Script& u8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Script& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
    Script& u32(uint32_t v) {
        return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16));
    }
    Script& raw(const Bytes& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
};

// ----------------------------------------------------------------- documents

// Every element of that tag in the documents, as its own text.
std::vector<std::string> Elements(const std::vector<std::string>& docs, const std::string& tag) {
    std::vector<std::string> found;
    for (const std::string& doc : docs)
        for (size_t at = doc.find("<" + tag); at != std::string::npos;
             at = doc.find("<" + tag, at + 1)) {
            const size_t end = doc.find("</" + tag + ">", at);
            if (end != std::string::npos)
                found.push_back(doc.substr(at, end + tag.size() + 3 - at));
        }
    return found;
}

void Documents() {
    std::vector<std::string> docs;
    for (const char* folder : {FENDREL_TEST_DATA_DIR, SCENARIO_TEST_DATA_DIR})
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().stem().string();
            if (name.rfind("statistics", 0) == 0)
                continue;
            const std::string text = ReadFile(entry.path());
            docs.push_back(text);
            Write("topovel_document", name + ".xml", FromText(text));
            Write("topovel_document", name + ".validated", FromText("\x01" + text));
        }
    int n = 0;
    for (const std::string& block : Elements(docs, "DATA_BLOCK")) {
        Write("data_block", "block" + std::to_string(n) + ".xml", FromText(block));
        Write("data_block", "block" + std::to_string(n++) + ".validated", FromText("\x01" + block));
    }
    n = 0;
    for (const std::string& wan : Elements(docs, "WAN_NUVEX"))
        Write("wan_nuvex", "wan" + std::to_string(n++) + ".xml", FromText(wan));
}

// ----------------------------------------------------------------- registry

void Hives() {
    using namespace platform::registry;
    const fs::path folder = fs::temp_directory_path() / "altiren-seeds-registry";
    fs::remove_all(folder);
    Registry registry(folder.string());
    fs::remove_all(registry.systemFolder());
    const char* key = "SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters";
    registry.createKey(Hive::LocalMachine, key);
    registry.setValue(Hive::LocalMachine, key, "PacketPoolSize", Value::Dword(510));
    registry.setValue(Hive::LocalMachine, key, "Bindings", Value::MultiSz({"tap:ql0=eth0"}));
    registry.setValue(Hive::LocalMachine, key, "", Value::Sz("default"));
    registry.createKey(Hive::LocalMachine, "SOFTWARE\\Orvane\\Pramitone\\Settings");
    registry.setValue(Hive::LocalMachine, "SOFTWARE\\Orvane\\Pramitone\\Settings", "Quoted",
                      Value::Sz("a \"b\" \\c"));
    registry.setValue(Hive::LocalMachine, "SOFTWARE\\Orvane\\Pramitone\\Settings", "Control",
                      Value::Sz("tab\there\x01"));
    registry.setValue(Hive::LocalMachine, "SOFTWARE\\Orvane\\Pramitone\\Settings", "Blob",
                      Value::Binary({0, 1, 2, 0xFE, 0xFF}));
    Write("registry_hive", "machine.reg", FromText(ReadFile(folder / "HKEY_LOCAL_MACHINE.reg")));
    Write("registry_hive", "service.reg",
          FromText(ReadFile(fs::path(registry.systemFolder()) / "HKEY_LOCAL_MACHINE.reg")));
    registry.createKey(Hive::CurrentUser, "Software\\Orvane");
    registry.setValue(Hive::CurrentUser, "Software\\Orvane", "UserName", Value::Sz("ann"));
    Write("registry_hive", "user.reg",
          FromText("\x01" + ReadFile(folder / "HKEY_CURRENT_USER.reg")));
    fs::remove_all(folder);
    fs::remove_all(registry.systemFolder());
    // As a person may write one: parents after children, comments, a continued list.
    Write("registry_hive", "by-hand.reg",
          FromText("Windows Registry Editor Version 5.00\r\n\r\n; edited\r\n"
                   "[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"b\"=hex(7):61,00,\\\r\n  62,00,00\r\n"
                   "[HKEY_LOCAL_MACHINE\\A]\r\n@=dword:00000001\r\n"));
}

// ----------------------------------------------------------------- driver

Bytes Message(uint16_t command, const Bytes& data) {
    quellin::wire::ControlMessage m;
    m.command = command;
    m.dataLength = static_cast<uint32_t>(data.size());
    m.checksum = quellin::wire::internet_checksum(data.data(), data.size());
    const auto head = m.encode();
    Bytes out(head.begin(), head.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes BlockBytes(const quellin::wire::DriverPlayBlock& block) {
    return Bytes(block.data(), block.data() + block.size());
}

void Frames() {
    using namespace quellin;
    auto request = [](uint32_t id, uint32_t code, uint32_t capacity, const Bytes& input) {
        ctlsock::RequestFrame f;
        f.id = id;
        f.code = code;
        f.output_capacity = capacity;
        f.input = input;
        return ctlsock::encode_request(f);
    };
    Bytes stream = {0};
    for (const Bytes& b : {request(1, wire::kIoctlControl, 14, Message(1, {})),
                           request(2, wire::kIoctlStatus, 84, {}),
                           request(3, wire::kIoctlCapturedPackets, 380004, {})})
        stream.insert(stream.end(), b.begin(), b.end());
    Write("control_frames", "requests", stream);
    Bytes load = {0};
    const Bytes l = request(4, wire::kIoctlControl, 14, Message(3, BlockBytes(fuzz::OpenBlock())));
    load.insert(load.end(), l.begin(), l.end());
    Write("control_frames", "load", load);
    ctlsock::ReplyFrame r;
    r.id = 1;
    r.status = wire::kStatusSuccess;
    r.information = 14;
    r.output = Bytes(14, 0x42);
    Bytes replies = {1};
    const Bytes a = ctlsock::encode_reply(r);
    r.id = 2;
    r.system_buffer = {3, 0};
    r.output.clear();
    r.information = 2;
    const Bytes b = ctlsock::encode_reply(r);
    replies.insert(replies.end(), a.begin(), a.end());
    replies.insert(replies.end(), b.begin(), b.end());
    Write("control_frames", "replies", replies);
}

// The frames of the driver's tests in the shapes of fuzz::BuildFrame.
Script& Frame(Script& s, uint8_t shape, uint16_t ipLength, uint8_t fill = 0) {
    s.u8(shape).u16(ipLength);
    for (uint16_t i = 0; i < ipLength; ++i)
        s.u8(fill);
    return s;
}
// A UDP packet with a header of its own; `outbound` from the station.
Script& Udp(Script& s, bool outbound, uint16_t ipLength) {
    return Frame(s, static_cast<uint8_t>(0x7C | (outbound ? 0 : 1)), ipLength);
}
// An IPv6 packet behind Ethernet: the header's first bytes, then zeros.
Script& Ipv6(Script& s, bool outbound, uint16_t length, uint8_t next = 17) {
    s.u8(static_cast<uint8_t>(0x74 | (outbound ? 0 : 1))).u16(length);
    Bytes header(length, 0);
    header[0] = 0x60;
    header[6] = next;
    header[7] = 64;
    if (next == 44 && length > 48) // a fragment header, then UDP
        header[40] = 17;
    return s.raw(header);
}
// A fragment: the IPv4 header written by hand behind Ethernet, "more fragments" set.
Script& Fragment(Script& s, bool outbound) {
    s.u8(static_cast<uint8_t>(0x72 | (outbound ? 0 : 1))).u16(100);
    Bytes ip(100, 0);
    ip[0] = 0x46; // one option word
    ip[6] = 0x20;
    ip[8] = 64;
    ip[9] = 17;
    ip[20] = 0x01; // no-operation options
    ip[21] = 0x01;
    return s.raw(ip);
}

// (offset, value) writes of fuzz::WriteBlockFields for the block the tests play.
struct Field {
    size_t offset;
    uint16_t value;
};
Script& Fields(Script& s, const std::vector<Field>& fields) {
    namespace pb = quellin::wire::pb;
    s.u8(static_cast<uint8_t>(fields.size()));
    for (const Field& f : fields) {
        const size_t word =
            f.offset < pb::kFilterEntries
                ? f.offset / 2
                : pb::kFilterEntries / 2 + (f.offset - pb::kCongestionTimeChance) / 2;
        s.u16(static_cast<uint16_t>(word)).u16(f.value);
    }
    return s;
}

void Engine() {
    namespace pb = quellin::wire::pb;
    const std::vector<std::pair<std::string, std::vector<Field>>> blocks = {
        {"delay-loss", {{pb::kMinDelay, 20}, {pb::kLossType, 1}, {pb::kLossEvery, 2}}},
        {"duplicate",
         {{pb::kDuplicationChance, 99},
          {pb::kDuplicationMinBurst, 2},
          {pb::kDuplicationMaxBurst, 3}}},
        {"fragment", {{pb::kFragmentationChance, 50}, {pb::kMaxTransmitionUnit, 68}}},
        {"bit-errors",
         {{pb::kBitErrorChance, 5000}, {pb::kBitErrorMinBurst, 1}, {pb::kBitErrorMaxBurst, 4}}},
        {"reorder",
         {{pb::kOutOfOrderChance, 50}, {pb::kOutOfOrderMinRange, 1}, {pb::kOutOfOrderMaxRange, 3}}},
        {"bucket", {{pb::kEastBucketSize, 2}, {pb::kEastOut, 10000}, {pb::kEastOut + 2, 0}}},
        {"disconnect",
         {{pb::kDisconnectTimeChance, 99},
          {pb::kDisconnectMinTime, 10},
          {pb::kDisconnectMaxTime, 20}}},
    };
    for (const auto& [name, fields] : blocks) {
        Script s;
        s.u32(7).u8(0);
        Fields(s, fields);
        for (int round = 0; round < 3; ++round) {
            Udp(s.u8(0), true, 100);
            Udp(s.u8(1), false, 1400);
            Ipv6(s.u8(2), true, 120);
            Ipv6(s.u8(3), false, 120, 44);
            Fragment(s.u8(4), true);
            s.u8(5).u16(1500);
        }
        s.u8(7);
        Udp(s.u8(0), true, 576);
        Write("engine", name, s.bytes);
    }
    // A recorded delay series in the tail.
    Script rec;
    rec.u32(3).u8(4);
    Fields(rec, {{pb::kDelayType, 3}, {pb::kSampleInterval, 10}});
    for (uint16_t d : {10, 20, 30, 40})
        rec.u16(d).u16(0);
    Udp(rec.u8(0), true, 100);
    rec.u8(5).u16(50);
    Write("engine", "recorded", rec.bytes);
}

void PlayBlocks() {
    namespace pb = quellin::wire::pb;
    auto write = [](const std::string& name, const quellin::wire::DriverPlayBlock& block,
                    uint8_t mode) {
        Script s;
        s.u8(mode).u16(0).u32(5).raw(BlockBytes(block));
        Write("play_block", name, s.bytes);
    };
    auto open = fuzz::OpenBlock();
    write("open", open, 1);
    write("open-bad-checksum", open, 0);
    auto busy = fuzz::OpenBlock(4);
    busy.setMinDelay(5);
    busy.setMaxDelay(50);
    busy.setDelayType(2);
    busy.setLossType(2);
    busy.setLossRandomly(500);
    busy.setDuplicationChance(20);
    busy.setDuplicationMinBurst(1);
    busy.setDuplicationMaxBurst(2);
    busy.setFragmentationChance(30);
    busy.setMaxTransmitionUnit(576);
    write("busy", busy, 3);
}

void Commands() {
    using namespace quellin;
    namespace pb = wire::pb;
    // Code picks of control_commands: index into its table of codes.
    const uint8_t kControl = 2, kCaptured = 0, kList0 = 3, kCounters = 7, kStatus = 1,
                  kPlayBlock = 12;
    auto control = [](Script& s, uint8_t command, bool withBlock,
                      const std::vector<Field>& fields = {}) {
        // request, code, output "usual" 14, a message built by the target
        s.u8(0).u8(kControl).u8(1).u8(0).u8(1);
        const uint8_t shape = withBlock ? 1 : 0;
        s.u8(shape);
        if (withBlock) {
            s.u8(0);
            Fields(s, fields);
        } else {
            s.u16(0);
        }
        static const uint8_t kCommandIndex[] = {0, 0, 1, 2, 0, 3, 4};
        s.u8(kCommandIndex[command]);
    };
    auto pend = [](Script& s, uint8_t code, uint8_t usual) {
        s.u8(0).u8(code).u8(1).u8(usual).u16(0);
    };
    Script s;
    s.u32(11);
    control(s, 1, false);
    control(s, 3, true, {{pb::kMinDelay, 10}, {pb::kLossType, 1}, {pb::kLossEvery, 3}});
    control(s, 6, false);
    pend(s, kCaptured, 4);
    for (uint8_t list = 0; list < 4; ++list)
        pend(s, static_cast<uint8_t>(kList0 + list), 5);
    pend(s, kCounters, 3);
    Udp(s.u8(3), true, 100);
    Udp(s.u8(3), false, 200);
    s.u8(4).u16(1000);
    s.u8(4).u16(1000);
    pend(s, kStatus, 7);
    pend(s, kPlayBlock, 6);
    s.u8(5).u8(0);
    s.u8(6);
    control(s, 5, false);
    Write("control_commands", "session", s.bytes);
}

// ----------------------------------------------------------------- packets

Bytes Ipv4Packet(uint8_t protocol, const Bytes& upper, uint8_t ihl = 5, uint16_t fragment = 0) {
    Bytes p(68, 0);
    p[0] = static_cast<uint8_t>(0x40 | ihl);
    p[2] = 0x05;
    p[3] = 0xDC;
    p[6] = static_cast<uint8_t>(fragment >> 8);
    p[7] = static_cast<uint8_t>(fragment);
    p[8] = 64;
    p[9] = protocol;
    quellin::wire::put_be32(p.data(), 12, fuzz::kStation);
    quellin::wire::put_be32(p.data(), 16, fuzz::kPeer);
    quellin::models::ipv4_set_header_checksum(p, size_t{ihl} * 4);
    std::copy(upper.begin(), upper.end(), p.begin() + ihl * 4);
    return p;
}

Bytes Ipv6Packet(const Bytes& chain) {
    Bytes p(68, 0);
    p[0] = 0x60;
    p[5] = 100;
    p[6] = chain.empty() ? 59 : chain[0];
    p[7] = 64;
    std::copy(fuzz::kStation6.begin(), fuzz::kStation6.end(), p.begin() + 8);
    std::copy(fuzz::kPeer6.begin(), fuzz::kPeer6.end(), p.begin() + 24);
    if (chain.size() > 1)
        std::copy(chain.begin() + 1, chain.end(), p.begin() + 40);
    return p;
}

void Packets() {
    const Bytes tcp = {0x04, 0x00, 0x00, 0x50, 0, 0, 0, 1, 0, 0, 0, 0, 0x50, 0x12};
    const Bytes udp = {0x13, 0x88, 0x00, 0x35, 0, 8, 0, 0};
    Write("packet_text", "ipv4-tcp", Ipv4Packet(6, tcp));
    Write("packet_text", "ipv4-udp-options", Ipv4Packet(17, udp, 6));
    Write("packet_text", "ipv4-icmp", Ipv4Packet(1, {8, 0, 0, 0}));
    Write("packet_text", "ipv4-fragment", Ipv4Packet(17, udp, 5, 0x00B9));
    Write("packet_text", "ipv6-udp", Ipv6Packet({17, 0x13, 0x88, 0, 0x35}));
    // hop-by-hop, then a fragment header, then TCP
    Write("packet_text", "ipv6-chain",
          Ipv6Packet({0, 44, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0x04, 0, 0, 0x50}));
    Write("packet_text", "ipv6-icmp", Ipv6Packet({58, 128, 0, 0, 0}));
}

// ----------------------------------------------------------------- client

void Recordings() {
    Write("wst_reader", "settings", wst_test::WriteWst(CWSTScenario(), wst_test::kSettingsFile));
    Write("wst_reader", "recorded",
          wst_test::WriteWst(wst_test::RecordedScenario(16, 20, false), wst_test::kRecordedFile));
    auto gaps = wst_test::RecordedScenario(12, 30, true);
    gaps.m_delaySamples[3] = -1;
    gaps.m_delaySamples[4] = -1;
    Write("wst_reader", "recorded-loss-gaps", wst_test::WriteWst(gaps, wst_test::kRecordedFile));
    CWSTScenario uniform;
    uniform.m_latency.kindCode = wst::kLatencyUniform;
    uniform.m_latency.uniformMin = 20;
    uniform.m_latency.uniformMax = 60;
    uniform.m_loss.kindCode = wst::kLossRandom;
    uniform.m_loss.random = 250;
    Write("wst_reader", "uniform", wst_test::WriteWst(uniform, wst_test::kSettingsFile));
}

void Sealed() {
    using namespace altiren::crypto;
    MessageCoder coder;
    const auto& secret = GetKeySetSecrets(KeySetId::A).second;
    std::string error;
    std::string sealed;
    SealText("<ALTIREN_REPLY USER='ann' PASSWORD='Secret1' PERMISSION='OK'/>", 0x1234, secret,
             sealed, error);
    Write("message_coder", "reply-text", FromText(std::string(1, '\0') + sealed));
    Bytes packet(kPacketOverhead + 32);
    size_t length = 0;
    const std::string plain = "<ALTIREN_REPLY PERMISSION='OK'/>";
    BuildDhPacket(reinterpret_cast<const uint8_t*>(plain.c_str()), plain.size() + 1, 7, secret,
                  packet.data(), packet.size(), length, error);
    packet.resize(length);
    Bytes raw = {0};
    raw.insert(raw.end(), packet.begin(), packet.end());
    Write("message_coder", "reply-packet", raw);

    const std::pair<uint8_t, std::string> replies[] = {
        {CLIENT_LAUNCH, "<ALTIREN_REPLY USER='ann' PASSWORD='Secret1' PERMISSION='OK'/>"},
        {CLIENT_UPGRADE, "<ALTIREN_REPLY USER='ann' PASSWORD='SECRET1' UPGRADE_PREORITY='NOT' "
                         "ADDITIONAL_INFO='session=&apos;4&apos; &amp; &lt;more&gt;'/>"},
        {GET_PRESET_VALUES, "<ALTIREN_REPLY><PRESET_VALUES TYPE='LATENCY'><PV VALUE='7'/>"
                            "</PRESET_VALUES></ALTIREN_REPLY>"},
        {CREATE_USER, "<?xml version='1.0'?><!DOCTYPE R [<!ENTITY e 'OK'>]>"
                      "<R USER='ann' PASSWORD='Secret1' PERMISSION='&e;'/>"},
    };
    int n = 0;
    for (const auto& [event, text] : replies) {
        Bytes seed = {static_cast<uint8_t>(event - 1)};
        seed.insert(seed.end(), text.begin(), text.end());
        Write("proxy_reply", "reply" + std::to_string(n++), seed);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <fuzz/corpus folder>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    Documents();
    Hives();
    Frames();
    Engine();
    PlayBlocks();
    Commands();
    Packets();
    Recordings();
    Sealed();
    return 0;
}

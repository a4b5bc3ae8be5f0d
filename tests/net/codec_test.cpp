#include "Ber.h"
#include "net/NetIO.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

Bytes Encode(const char* text, int* result) {
    unsigned char out[kOidEncodingMax];
    memset(out, 0xEE, sizeof(out));
    *result = CNetIO::oidEncode(text, out);
    return *result > 0 ? Bytes(out, out + *result) : Bytes(out, out + 4);
}

Bytes Request(int count, const char* text, const char* community) {
    unsigned char out[kSnmpWorkSize];
    const int n = CNetIO::BuildGetRequestFor(count, text, community, out);
    return n > 0 ? Bytes(out, out + n) : Bytes();
}

struct Seen {
    Bytes name;
    unsigned char type = 0;
    Bytes value;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> g_seen;

bool Record(const unsigned char* name, int nameLength, unsigned char type,
            const unsigned char* value, int valueLength) {
    g_seen.push_back({Bytes(name, name + nameLength), type, Bytes(value, value + valueLength)});
    return true;
}

int Walk(const Bytes& d) {
    g_seen.clear();
    return CNetIO::parseGetResponse(d.data(), static_cast<int>(d.size()), nullptr, nullptr, nullptr,
                                    nullptr, nullptr, Record);
}

const Bytes kModel{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x01, 0x02};

int ForOid(const Bytes& d, const Bytes& model = kModel) {
    return CNetIO::parseForOID(d.data(), static_cast<int>(d.size()), model.data(),
                               static_cast<int>(model.size()));
}

template <typename... Size> int ForText(const Bytes& d, char* out, Size... size) {
    return CNetIO::parseForRecvBuf(d.data(), static_cast<int>(d.size()), out, size...);
}

// A response around the given binding list, whatever its bytes.
Bytes Message(const Bytes& list) {
    const Bytes pdu = Tlv(0xA2, Cat({Int(0), Int(0), Int(0), Tlv(0x30, list)}));
    return Tlv(0x30, Cat({Int(0), Tlv(0x04, Str("orchid")), pdu}));
}

} // namespace

TEST(OidEncode, EncodesArcsInBase128MostSignificantFirst) {
    int n = 0;
    EXPECT_EQ(Encode("1.3.6.1.2.1.1.5.0", &n), kSysNameName);
    EXPECT_EQ(Encode("1.3.127", &n), (Bytes{0x2B, 0x7F}));
    EXPECT_EQ(Encode("1.3.128", &n), (Bytes{0x2B, 0x81, 0x00}));
    EXPECT_EQ(Encode("1.3.300", &n), (Bytes{0x2B, 0x82, 0x2C}));
    EXPECT_EQ(Encode("1.3.40917", &n), (Bytes{0x2B, 0x82, 0xBF, 0x55}));
    EXPECT_EQ(Encode("1.3.4294967295", &n), (Bytes{0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(Encode("1.3.6.1.4.1.40917.886.300.369.8531.1.1.0", &n), kDeviceIdName);
    // The first subidentifier is a whole arc too: 2.100 is 180.
    EXPECT_EQ(Encode("2.100", &n), (Bytes{0x81, 0x34}));
}

TEST(OidEncode, RefusesUnusableTextsWithoutWriting) {
    std::string tooLong = "1.3";
    while (tooLong.size() < 128)
        tooLong += ".1";
    for (const char* text : {"1.3.6.x", "", "1", "1..3", ".1.3", "1.3.", "1.3.-4", "1.3.4294967296",
                             "3.1", "1.40", " 1.3", tooLong.c_str()}) {
        int n = -2;
        const Bytes out = Encode(text, &n);
        EXPECT_EQ(n, 0) << text;
        EXPECT_EQ(out, (Bytes{0xEE, 0xEE, 0xEE, 0xEE})) << text;
    }
    unsigned char out[kOidEncodingMax];
    EXPECT_EQ(CNetIO::oidEncode(nullptr, out), -1);
    EXPECT_EQ(CNetIO::oidEncode("1.3", nullptr), -1);
}

TEST(OidEncode, LongestAcceptedTextFitsTheOutputBuffer) {
    std::string text = "1.3";
    while (text.size() + 4 <= 127)
        text += ".128"; // two bytes for every four characters: the densest form
    int n = 0;
    Encode(text.c_str(), &n);
    EXPECT_GT(n, 0);
    EXPECT_LE(n, kOidEncodingMax);
}

TEST(FixedRequests, MatchTheWireBytes) {
    EXPECT_EQ(Request(1, "1.3.6.1.2.1.1.5.0", nullptr), kNameRequest);
    EXPECT_EQ(Request(1, "1.3.6.1.2.1.1.5.0", "orchid"), kNameRequest);
    EXPECT_EQ(Request(1, "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0", "orchid"), kVersionRequest);
    unsigned char out[kSnmpWorkSize];
    const int n = CNetIO::BuildDeviceIdRequest("orchid", out, sizeof(out));
    EXPECT_EQ(Bytes(out, out + (n > 0 ? n : 0)), kDeviceIdRequest);
}

TEST(GetRequest, RefusesBadArguments) {
    unsigned char out[kSnmpWorkSize];
    EXPECT_EQ(CNetIO::BuildGetRequestFor(0, "1.3.6.1", "orchid", out), -1);
    EXPECT_EQ(CNetIO::BuildGetRequestFor(-1, "1.3.6.1", "orchid", out), -1);
    EXPECT_EQ(CNetIO::BuildGetRequestFor(1, nullptr, "orchid", out), -1);
    EXPECT_EQ(CNetIO::BuildGetRequestFor(1, "1.3.6.1", "orchid", nullptr), -1);
    EXPECT_EQ(CNetIO::BuildGetRequestFor(1, "1.3.x", "orchid", out), -1);
    // 100 bindings of 14 bytes cannot fit in 1024 bytes.
    EXPECT_EQ(CNetIO::BuildGetRequestFor(100, "1.3.6.1.2.1.1.5.0", "orchid", out), -1);
    EXPECT_EQ(CNetIO::BuildGetRequestFor(1 << 30, "1.3.6.1.2.1.1.5.0", "orchid", out), -1);
}

TEST(GetRequest, SeveralBindingsGrowEveryEnclosingLength) {
    const Bytes one = Request(1, "1.3.6.1.2.1.1.5.0", "orchid");
    const Bytes three = Request(3, "1.3.6.1.2.1.1.5.0", "orchid");
    ASSERT_EQ(three.size(), one.size() + 2 * 14);
    EXPECT_EQ(three[1], one[1] + 28);   // message
    EXPECT_EQ(three[14], one[14] + 28); // PDU
    EXPECT_EQ(three[25], 3 * 14);       // binding list: n x (L + 6)
    // What we build, our own walk (which only accepts GetResponse) reads back
    // once the PDU tag is turned into a response.
    Bytes reply = three;
    reply[13] = 0xA2;
    EXPECT_EQ(Walk(reply), 1);
    EXPECT_EQ(g_seen.size(), 3u);
}

TEST(GetRequest, LongCommunitiesUseLongFormLengths) {
    // The message around the PDU the name request always carries, its
    // lengths written by the test's own BER writer (81 xx and 82 xx xx).
    const Bytes pdu(kNameRequest.begin() + 13, kNameRequest.end());
    for (size_t c : {95u, 96u, 200u, 255u}) {
        const std::string community(c, 'k');
        EXPECT_EQ(Request(1, "1.3.6.1.2.1.1.5.0", community.c_str()),
                  Tlv(0x30, Cat({Int(0), Tlv(0x04, Str(community)), pdu})))
            << c;
    }
}

namespace {

Bytes Discovery(const char* community, int size = kSnmpWorkSize) {
    unsigned char out[kSnmpWorkSize];
    const int n = CNetIO::BuildDiscoveryRequest(community, out, size);
    return n > 0 ? Bytes(out, out + n) : Bytes();
}

} // namespace

TEST(DiscoveryRequest, DiffersFromTheNameRequestOnlyInTheAskedObject) {
    Bytes expected = kNameRequest;
    expected[36] = 0x02;
    EXPECT_EQ(Discovery("orchid"), expected);
    EXPECT_EQ(Bytes(expected.begin() + 13, expected.end()),
              Bytes(request_oid_pf, request_oid_pf + 27));
    // Null and empty communities both go out as the default.
    EXPECT_EQ(Discovery(nullptr), expected);
    EXPECT_EQ(Discovery(""), expected);
    // Any community around the same PDU, its lengths written by the test's
    // own BER writer: 127 is the last short form (of the message at a
    // community of 95, of the community itself), 128 the first long one.
    const Bytes pdu(expected.begin() + 13, expected.end());
    for (size_t c : {6u, 95u, 96u, 127u, 128u}) {
        const std::string community(c, 'a');
        EXPECT_EQ(Discovery(community.c_str()),
                  Tlv(0x30, Cat({Int(0), Tlv(0x04, Str(community)), pdu})))
            << c;
    }
    // Refused, not truncated, when the caller's buffer is too small.
    EXPECT_EQ(Discovery("orchid", 39), Bytes());
}

TEST(DeviceIdRequest, KeepsTheCommunityAsGiven) {
    unsigned char out[kSnmpWorkSize];
    const int n = CNetIO::BuildDeviceIdRequest("", out, sizeof(out));
    ASSERT_EQ(n, 45);
    EXPECT_EQ(Bytes(out, out + 7), (Bytes{0x30, 43, 0x02, 0x01, 0x00, 0x04, 0x00}));
}

// ------------------------------------------------------------ response walk

TEST(ResponseWalk, HandsEveryBindingToTheCallbackAndFillsOutputs) {
    const Bytes d = Response(
        {Binding(kSysObjectIdName, 0x06, kModel), Binding(kSysNameName, 0x04, Str("PRN-A"))}, 0xA2,
        0, "tulip");
    int version = -1;
    char community[256];
    unsigned char requestId = 9, errorStatus = 9, errorIndex = 9;
    g_seen.clear();
    ASSERT_EQ(CNetIO::parseGetResponse(d.data(), static_cast<int>(d.size()), &version, community,
                                       &requestId, &errorStatus, &errorIndex, Record),
              1);
    EXPECT_EQ(version, 0);
    EXPECT_STREQ(community, "tulip");
    EXPECT_EQ(requestId, 0);
    EXPECT_EQ(errorStatus, 0);
    EXPECT_EQ(errorIndex, 0);
    EXPECT_TRUE(g_seen == (std::vector<Seen>{{kSysObjectIdName, 0x06, kModel},
                                             {kSysNameName, 0x04, Str("PRN-A")}}));
}

TEST(ResponseWalk, OnlyResponsePduTagsAreWalked) {
    const Bytes binding = Binding(kSysNameName, 0x04, Str("x"));
    EXPECT_EQ(Walk(Response({binding}, 0xA2)), 1);
    EXPECT_EQ(Walk(Response({binding}, 0xA3)), 1);
    EXPECT_EQ(Walk(Response({binding}, 0xA0)), 0);
    EXPECT_EQ(Walk(Response({binding}, 0xA4)), 0);
    EXPECT_TRUE(g_seen.empty());
}

TEST(ResponseWalk, MessageLengthMustMatchTheDatagramExactly) {
    const Bytes good = Response({Binding(kSysNameName, 0x04, Str("PRN"))});
    ASSERT_EQ(Walk(good), 1);
    Bytes shorter = good;
    --shorter[1];
    EXPECT_EQ(Walk(shorter), 0);
    Bytes longer = good;
    ++longer[1];
    EXPECT_EQ(Walk(longer), 0);
    EXPECT_EQ(Walk(Cat({good, Bytes{0x00}})), 0); // a stray byte after the message
}

TEST(ResponseWalk, ErrorRepliesAreWalkedAndGiveAnEmptyText) {
    const Bytes d = Response({Binding(kSysNameName, 0x05, {})}, 0xA2, 2);
    unsigned char errorStatus = 0;
    ASSERT_EQ(CNetIO::parseGetResponse(d.data(), static_cast<int>(d.size()), nullptr, nullptr,
                                       nullptr, &errorStatus, nullptr, nullptr),
              1);
    EXPECT_EQ(errorStatus, 2);
    char out[256];
    strcpy(out, "untouched");
    EXPECT_EQ(ForText(d, out), 1);
    EXPECT_STREQ(out, "");
}

TEST(ResponseWalk, NeverReadsPastTheDatagram) {
    const Bytes good = Response(
        {Binding(kSysObjectIdName, 0x06, kModel), Binding(kSysNameName, 0x04, Str("PRN-A"))});
    // Every truncation, passed as a buffer of exactly that size (ASan
    // catches a read beyond it).
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_EQ(Walk(cut), 0) << n;
    }
    // Every single-byte change either walks or is rejected; none crash.
    for (size_t i = 0; i < good.size(); ++i) {
        for (int delta : {1, -1, 0x40, 0x80}) {
            Bytes bad = good;
            bad[i] = static_cast<unsigned char>(bad[i] + delta);
            Walk(bad);
        }
    }
}

TEST(ResponseWalk, RejectsInnerLengthsThatLie) {
    const Bytes name = Tlv(0x06, kSysNameName);
    const Bytes value = Tlv(0x04, Str("PRN"));
    // Binding longer / shorter than its name and value.
    EXPECT_EQ(
        Walk(Message(Cat({Bytes{0x30, static_cast<unsigned char>(name.size() + value.size() + 1)},
                          name, value, Bytes{0x00}}))),
        0);
    EXPECT_EQ(
        Walk(Message(Cat({Bytes{0x30, static_cast<unsigned char>(name.size())}, name, value}))), 0);
    // Value length reaching past the end, in short and long form.
    Bytes lyingValue = Cat({Bytes{0x30, 0x0F}, name, Bytes{0x04, 0x7F, 'P', 'R', 'N'}});
    EXPECT_EQ(Walk(Message(lyingValue)), 0);
    lyingValue = Cat({Bytes{0x30, 0x12}, name, Bytes{0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xF0, 'P'}});
    EXPECT_EQ(Walk(Message(lyingValue)), 0);
    // Name length beyond the binding.
    EXPECT_EQ(Walk(Message(Cat({Bytes{0x30, 0x0F, 0x06, 0x40}, kSysNameName, value}))), 0);
    // Indefinite length (80) is not BER for SNMP.
    EXPECT_EQ(Walk(Message(Cat({Bytes{0x30, 0x80}, name, value, Bytes{0, 0}}))), 0);
    EXPECT_TRUE(g_seen.empty());
}

TEST(ResponseWalk, BindingsBeforeAFaultHaveReachedTheCallback) {
    EXPECT_EQ(Walk(Message(Cat({Binding(kSysNameName, 0x04, Str("first")), Bytes{0x31, 0x00}}))),
              0);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].value, Str("first"));
}

TEST(ParseForOid, MatchesOnlyTheSameIdentifierAsSysObjectIdValue) {
    const Bytes match = Response({Binding(kSysObjectIdName, 0x06, kModel)});
    // Another model, a prefix of the model and one that merely begins with
    // it; the same value under another name, the right name with a string
    // value, an error reply with NULL, and a name that only begins like
    // sysObjectID.0. Each comes after a match, which must not leak into it.
    const Bytes longer = Cat({kModel, Bytes{0x05}});
    const Bytes nameTooLong = Cat({kSysObjectIdName, Bytes{0x01}});
    for (const Bytes& d :
         {Response({Binding(kSysObjectIdName, 0x06, Bytes{0x2B, 0x06, 0x01, 0x09})}),
          Response({Binding(kSysObjectIdName, 0x06, Bytes(kModel.begin(), kModel.end() - 1))}),
          Response({Binding(kSysObjectIdName, 0x06, longer)}),
          Response({Binding(kSysNameName, 0x06, kModel)}),
          Response({Binding(kSysObjectIdName, 0x04, kModel)}),
          Response({Binding(kSysObjectIdName, 0x05, {})}, 0xA2, 2),
          Response({Binding(nameTooLong, 0x06, kModel)})}) {
        ASSERT_EQ(ForOid(match), 1);
        EXPECT_EQ(ForOid(d), 0);
    }
}

TEST(ValueBuffers, OversizedValuesAreRefusedOrCutNeverCopiedPastTheEnd) {
    // sysObjId holds 128 bytes.
    const Bytes big(129, 0x01);
    Bytes d = Response({Binding(kSysObjectIdName, 0x06, big)});
    EXPECT_EQ(ForOid(d, big), 0);
    const Bytes fits(128, 0x01);
    d = Response({Binding(kSysObjectIdName, 0x06, fits)});
    EXPECT_EQ(ForOid(d, fits), 1);

    // A text longer than the caller's buffer is cut to it, not dropped:
    // five characters in six bytes, four in five.
    char out[2048];
    d = Response({Binding(kSysNameName, 0x04, Str("abcde"))});
    EXPECT_EQ(ForText(d, out, 5), 1);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(ForText(d, out, 6), 1);
    EXPECT_STREQ(out, "abcde");
    // Longer than g_RecvBuf too: the text still comes from the datagram.
    d = Response({Binding(kSysNameName, 0x04, Bytes(1500, 'n'))});
    EXPECT_EQ(ForText(d, out, 256), 1);
    EXPECT_EQ(std::string(out), std::string(255, 'n'));
}

TEST(ParseForRecvBuf, LastBindingWinsAndRejectedWalksLeaveTheOutputAlone) {
    char out[256];
    const Bytes two = Response(
        {Binding(kSysNameName, 0x04, Str("first")), Binding(kSysNameName, 0x04, Str("second"))});
    EXPECT_EQ(ForText(two, out), 1);
    EXPECT_STREQ(out, "second");
    Bytes bad = two;
    bad[0] = 0x31;
    strcpy(out, "kept");
    EXPECT_EQ(ForText(bad, out), 0);
    EXPECT_STREQ(out, "kept");
}

TEST(ResponseWalk, ReadsValuesOf127And128Bytes) {
    // The walk reads both forms back: a 127-byte and a 128-byte value.
    for (size_t size : {127u, 128u}) {
        const Bytes d = Response({Binding(kSysNameName, 0x04, Bytes(size, 'v'))});
        ASSERT_EQ(Walk(d), 1) << size;
        ASSERT_EQ(g_seen.size(), 1u);
        EXPECT_EQ(g_seen[0].value.size(), size);
    }
}

TEST(ResponseWalk, AValueRunningIntoTheNextBindingIsRejected) {
    // Binding 1 claims 11 bytes: its name (8 + 2) and a value header that
    // says 0x10 bytes, which would take in binding 2. Everything fits in the
    // datagram, so only the inner length check can see it.
    const Bytes list{0x30, 0x0C, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01,
                     0x05, 0x00, 0x04, 0x10, 0x30, 0x0E, 0x06, 0x08, 0x2B, 0x06,
                     0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x04, 0x02, 'o',  'k'};
    const Bytes d = Message(list);
    EXPECT_EQ(Walk(d), 0);
    EXPECT_TRUE(g_seen.empty());
    char out[256];
    strcpy(out, "kept");
    EXPECT_EQ(ForText(d, out), 0);
    EXPECT_STREQ(out, "kept");
}

TEST(ReadReply, OurRequestIdTheAskedObjectAndAWholeWalk) {
    const SNMP_OBJECT asked[2] = {{kSysObjectIdName.data(), 8}, {kSysNameName.data(), 8}};
    const Bytes name = Binding(kSysNameName, 0x04, Str("x"));
    auto read = [&](const Bytes& d, SNMP_REPLY* reply = nullptr) {
        return CNetIO::ReadReply(d.data(), static_cast<int>(d.size()), asked, 2, reply);
    };
    SNMP_REPLY reply;
    const Bytes fromPublic = Response({name}, 0xA2, 0, "public");
    ASSERT_TRUE(read(fromPublic, &reply));
    EXPECT_EQ(reply.object, 1);
    EXPECT_TRUE(reply.CarriesCommunity("public"));
    EXPECT_FALSE(reply.CarriesCommunity("publi"));
    EXPECT_FALSE(reply.CarriesCommunity("orchid"));
    EXPECT_TRUE(reply.HasValue());
    EXPECT_TRUE(read(ResponseWithIdBytes({name}, {0x00, 0x00})));
    // The whole integer is compared, not its first or last byte.
    for (const Bytes& id : std::vector<Bytes>{
             {0x01}, {0xFF}, {0x7F, 0xFF, 0xFF, 0xFF}, {0x01, 0x00}, {0x00, 0x05}, {}})
        EXPECT_FALSE(read(ResponseWithIdBytes({name}, id))) << id.size();
    // The first binding names the object; one asked later on does not count.
    EXPECT_FALSE(read(Response({Binding(kDeviceIdName, 0x04, Str("x"))})));
    EXPECT_FALSE(read(Response({Binding(kDeviceIdName, 0x04, Str("x")), name})));
    EXPECT_FALSE(read(Response({})));
    // noSuchName is an answer, but no value.
    ASSERT_TRUE(read(Response({Binding(kSysNameName, 0x05, {})}, 0xA2, 2), &reply));
    EXPECT_FALSE(reply.HasValue());
    ASSERT_TRUE(read(Response({Binding(kSysNameName, 0x81, {})}), &reply));
    EXPECT_FALSE(reply.HasValue());
    // Not a response, or not one that walks to its end.
    EXPECT_FALSE(read(Cat({Response({name}), Bytes{0x00}})));
    EXPECT_FALSE(read(Response({name}, 0xA0)));
    EXPECT_FALSE(read(Request(1, "1.3.6.1.2.1.1.5.0", "orchid")));
    Bytes broken = Response({name});
    broken[broken.size() - 2] = 0x7F; // the value claims more than the binding holds
    EXPECT_FALSE(read(broken));
}

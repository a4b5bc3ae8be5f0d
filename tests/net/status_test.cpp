#include "Ber.h"
#include "StatusText.h"
#include "net/NetIO.h"
#include "status/DisplayText.h"
#include "status/PrinterStatus.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

int Decode(const std::string& deviceId, PRINTER_STATUS& status) {
    return DecodeStatusFromDeviceID(deviceId.c_str(), &status);
}

// The record's bytes as a decode left them.
Bytes Raw(const PRINTER_STATUS& s) {
    const auto* raw = reinterpret_cast<const unsigned char*>(&s);
    return Bytes(raw, raw + sizeof(s));
}

} // namespace

TEST(StatusDecode, TheStsFieldDecodesWhereverItStandsAndFailsWhenNotWhole) {
    const Bytes record = StatusRecord(8);
    const std::string text = Base64(record);
    ASSERT_EQ(text.size(), 144u);
    std::string spaced = text;
    for (size_t i = 140; i > 0; i -= 20)
        spaced.insert(i, (i % 40 == 0) ? "\r\n" : " \t");
    const Bytes shortRecord(100, 0x42); // 100 % 3 == 1: ends in "=="
    ASSERT_EQ(Base64(shortRecord).substr(134), "==");
    struct Case {
        std::string id;
        int result;
        Bytes decoded; // the rest of the record stays as it was
    };
    const Case cases[] = {
        {"MFG:X;MDL:Y;STS:" + text + ";", 0, record},
        {"STS:" + text, 0, record},                    // no terminating ';'
        {"STS:" + spaced + ";", 0, record},            // white space and line breaks
        {"MFG:X;CMT:abcSTS:" + text + ";", 0, record}, // the key anywhere
        // A later field runs into the decode: what fitted stays.
        {"MFG:X;STS:" + text + ";DES:Printer;", -1, record},
        {"STS:" + Base64(shortRecord) + ";", -1, shortRecord},
        {"MFG:X;sts:" + text + ";", -1, {}}, // the key in upper case only
        {"", -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        PRINTER_STATUS s = Filled(0xEE);
        EXPECT_EQ(Decode(c.id, s), c.result);
        Bytes expected = c.decoded;
        expected.resize(sizeof(s), 0xEE);
        EXPECT_EQ(Raw(s), expected);
    }
    PRINTER_STATUS s = Filled(0xEE);
    EXPECT_EQ(DecodeStatusFromDeviceID(nullptr, &s), -1);
    EXPECT_EQ(DecodeStatusFromDeviceID("STS:AAAA", nullptr), -1);
}

TEST(Base64, GroupRulesForPaddingAndStrayCharacters) {
    // '=' with data after it in the same group, or any other stray byte,
    // spoils the group; spare low bits of the last data character are
    // ignored ("TR==" is "M").
    for (const auto& [group, bytes] : {std::pair{"TWFu", "Man"},
                                       {"TWE=", "Ma"},
                                       {"TQ==", "M"},
                                       {"T===", ""},
                                       {"====", ""},
                                       {"T=Wu", ""},
                                       {"=TWu", ""},
                                       {"TW;u", ""},
                                       {"TR==", "M"}}) {
        unsigned char out[3] = {0, 0, 0};
        const int n = _base64_decode_triple(group, out);
        EXPECT_EQ(Bytes(out, out + std::max(n, 0)), Str(bytes)) << group << " gave " << n;
    }
}

TEST(Base64, StopsAtTheFirstShortGroupAndRespectsTheRoom) {
    unsigned char out[16];
    memset(out, 0xEE, sizeof(out));
    // '=' inside the second group ends the decode after the first.
    EXPECT_EQ(base64_decode("TWFu T=Fu TWFu", out, sizeof(out)), 3);
    EXPECT_EQ(out[3], 0xEE);
    // Separators and bytes above 0x7F are skipped.
    EXPECT_EQ(base64_decode("TW:F\xC3u;TW\nFu", out, sizeof(out)), 6);
    EXPECT_EQ(Bytes(out, out + 6), Str("ManMan"));
    // Room for exactly the bytes: fine; one less: -1 with what fitted.
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(base64_decode("TWFuTWFu", out, 6), 6);
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(base64_decode("TWFuTWFu", out, 5), -1);
    EXPECT_EQ(Bytes(out, out + 3), Str("Man"));
    EXPECT_EQ(out[3], 0xEE);
    EXPECT_EQ(base64_decode("", out, sizeof(out)), 0);
    EXPECT_EQ(base64_decode(nullptr, out, sizeof(out)), -1);
    EXPECT_EQ(base64_decode("TWFu", nullptr, 3), -1);
}

TEST(StatusNames, CodesFromNineOnShowReady) {
    EXPECT_STREQ(StatusNameForCode(0), "Ready");
    EXPECT_STREQ(StatusNameForCode(8), "Busy");
    EXPECT_STREQ(StatusNameForCode(9), "Ready");
    EXPECT_STREQ(StatusNameForCode(200), "Ready");
    PRINTER_STATUS s = Filled(0);
    s.PrinterStatus = 200;
    EXPECT_STREQ(ShownStatusName(&s), "Ready");
    EXPECT_EQ(s.PrinterStatus, 0);
    s.PrinterStatus = 2;
    EXPECT_STREQ(ShownStatusName(&s), "Power Saving");
    EXPECT_EQ(s.PrinterStatus, 2);
}

TEST(DeviceIdReply, DecodesTheStatusOfAnOctetStringValue) {
    const auto record = StatusRecord(7);
    const Bytes d =
        Response({Binding(kDeviceIdName, 0x04, Str("MFG:X;STS:" + Base64(record) + ";"))});
    PRINTER_STATUS s = Filled(0);
    EXPECT_EQ(CNetIO::parseForDeviceId(d.data(), static_cast<int>(d.size()), &s), 1);
    EXPECT_EQ(s.PrinterStatus, 7);
    EXPECT_STREQ(g_deviceid, ("MFG:X;STS:" + Base64(record) + ";").c_str());
}

TEST(DeviceIdReply, OtherValuesLeaveTheRecordAsTheCallerFilledIt) {
    PRINTER_STATUS s = Filled(0x11);
    // noSuchName with a NULL value: walked, decoder sees an empty text.
    Bytes d = Response({Binding(kDeviceIdName, 0x05, {})}, 0xA2, 2);
    EXPECT_EQ(CNetIO::parseForDeviceId(d.data(), static_cast<int>(d.size()), &s), 1);
    EXPECT_STREQ(g_deviceid, "");
    EXPECT_EQ(s.PrinterStatus, 0x11);
    // A rejected reply.
    d[0] = 0x04;
    EXPECT_EQ(CNetIO::parseForDeviceId(d.data(), static_cast<int>(d.size()), &s), 0);
    EXPECT_EQ(s.PrinterStatus, 0x11);
}

TEST(DisplayText, DecodesUtf8OrLatin1AndDropsControls) {
    auto shown = [](const std::string& bytes, size_t size = 256) {
        char out[256];
        memset(out, 'X', sizeof(out));
        MakeDisplayText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out,
                        size);
        return std::string(out);
    };
    EXPECT_EQ(shown("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(shown("caf\xE9"), "caf\xC3\xA9");
    // Overlong forms and encoded surrogates are no UTF-8: read as Latin-1.
    EXPECT_EQ(shown("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(shown("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0");
    EXPECT_EQ(shown(std::string("a\0b\x1F\x7F", 5) + "c"), "abc");
    // Bidirectional marks, embeddings and isolates (UTF-8 in the literal).
    EXPECT_EQ(shown("\u061Ca\u200Fb\u202Ac\u2068"), "abc");
    // Cut before a character that does not fit whole; size 1 is just the end.
    EXPECT_EQ(shown("ab\xC3\xA9", 4), "ab");
    EXPECT_EQ(shown("ab\xC3\xA9", 5), "ab\xC3\xA9");
    EXPECT_EQ(shown("abc", 1), "");
    char untouched[2] = {'K', 0};
    EXPECT_EQ(MakeDisplayText(nullptr, 5, untouched, 0), 0u);
    EXPECT_EQ(untouched[0], 'K');
}

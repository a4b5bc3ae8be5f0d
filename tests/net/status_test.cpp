#include "Ber.h"
#include "StatusText.h"
#include "net/NetIO.h"
#include "status/DisplayText.h"
#include "status/PrinterStatus.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

int Decode(const std::string& deviceId, PRINTER_STATUS& status) {
    return DecodeStatusFromDeviceID(deviceId.c_str(), &status);
}

PRINTER_STATUS Filled(unsigned char fill) {
    PRINTER_STATUS s;
    memset(&s, fill, sizeof(s));
    return s;
}

bool SameBytes(const PRINTER_STATUS& s, const std::vector<unsigned char>& record, size_t n) {
    return memcmp(&s, record.data(), n) == 0;
}

} // namespace

TEST(StatusDecode, StatusFieldAtTheEndDecodesAllBytes) {
    const auto record = StatusRecord(8);
    const std::string text = Base64(record);
    ASSERT_EQ(text.size(), 144u);
    PRINTER_STATUS s = Filled(0);
    EXPECT_EQ(Decode("MFG:X;MDL:Y;STS:" + text + ";", s), 0);
    EXPECT_TRUE(SameBytes(s, record, 108));
    EXPECT_EQ(s.PrinterStatus, 8);
    // No terminating ';' is fine too.
    s = Filled(0);
    EXPECT_EQ(Decode("STS:" + text, s), 0);
    EXPECT_TRUE(SameBytes(s, record, 108));
}

TEST(StatusDecode, ALaterFieldRunsIntoTheDecodeAndFails) {
    const auto record = StatusRecord(1);
    PRINTER_STATUS s = Filled(0);
    EXPECT_EQ(Decode("MFG:X;STS:" + Base64(record) + ";DES:Printer;", s), -1);
    // What fitted before the overflow stays in the record.
    EXPECT_TRUE(SameBytes(s, record, 108));
}

TEST(StatusDecode, PaddedOrShortTextsFailWithWhatWasDecoded) {
    const std::vector<unsigned char> shortRecord(100, 0x42); // 100 % 3 == 1: ends in "=="
    const std::string text = Base64(shortRecord);
    ASSERT_EQ(text.substr(text.size() - 2), "==");
    PRINTER_STATUS s = Filled(0xEE);
    EXPECT_EQ(Decode("STS:" + text + ";", s), -1);
    EXPECT_TRUE(SameBytes(s, shortRecord, 100));
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&s);
    EXPECT_EQ(raw[100], 0xEE);
}

TEST(StatusDecode, WhitespaceAndLineBreaksInsideTheTextAreIgnored) {
    const auto record = StatusRecord(3);
    std::string text = Base64(record);
    for (size_t i = 140; i > 0; i -= 20)
        text.insert(i, (i % 40 == 0) ? "\r\n" : " \t");
    PRINTER_STATUS s = Filled(0);
    EXPECT_EQ(Decode("STS:" + text + ";", s), 0);
    EXPECT_TRUE(SameBytes(s, record, 108));
}

TEST(StatusDecode, KeyIsFoundAnywhereButOnlyInUpperCase) {
    const auto record = StatusRecord(5);
    PRINTER_STATUS s = Filled(0);
    EXPECT_EQ(Decode("MFG:X;CMT:abcSTS:" + Base64(record) + ";", s), 0);
    EXPECT_EQ(s.PrinterStatus, 5);
    s = Filled(0x77);
    EXPECT_EQ(Decode("MFG:X;sts:" + Base64(record) + ";", s), -1);
    EXPECT_EQ(s.PrinterStatus, 0x77); // untouched
    EXPECT_EQ(Decode("", s), -1);
    EXPECT_EQ(DecodeStatusFromDeviceID(nullptr, &s), -1);
    EXPECT_EQ(DecodeStatusFromDeviceID("STS:AAAA", nullptr), -1);
}

TEST(Base64, GroupRulesForPaddingAndStrayCharacters) {
    unsigned char out[3] = {0, 0, 0};
    EXPECT_EQ(_base64_decode_triple("TWFu", out), 3);
    EXPECT_EQ(Bytes(out, out + 3), Str("Man"));
    EXPECT_EQ(_base64_decode_triple("TWE=", out), 2);
    EXPECT_EQ(Bytes(out, out + 2), Str("Ma"));
    EXPECT_EQ(_base64_decode_triple("TQ==", out), 1);
    EXPECT_EQ(out[0], 'M');
    EXPECT_EQ(_base64_decode_triple("T===", out), 0);
    EXPECT_EQ(_base64_decode_triple("====", out), 0);
    // '=' with data after it in the same group, or any other stray byte.
    EXPECT_EQ(_base64_decode_triple("T=Wu", out), 0);
    EXPECT_EQ(_base64_decode_triple("=TWu", out), 0);
    EXPECT_EQ(_base64_decode_triple("TW;u", out), 0);
    // Spare low bits of the last data character are ignored: "TR==" is "M".
    EXPECT_EQ(_base64_decode_triple("TR==", out), 1);
    EXPECT_EQ(out[0], 'M');
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
    EXPECT_STREQ(g_szStatus[12], "Unknown");
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
    EXPECT_EQ(shown(std::string("a\0b\x1F\x7F"
                                "c",
                                6)),
              "abc");
    EXPECT_EQ(shown("\xD8\x9C"
                    "a\xE2\x80\x8F"
                    "b\xE2\x80\xAA"
                    "c\xE2\x81\xA8"),
              "abc");
    // Cut before a character that does not fit whole; size 1 is just the end.
    EXPECT_EQ(shown("ab\xC3\xA9", 4), "ab");
    EXPECT_EQ(shown("ab\xC3\xA9", 5), "ab\xC3\xA9");
    EXPECT_EQ(shown("abc", 1), "");
    char untouched[2] = {'K', 0};
    EXPECT_EQ(MakeDisplayText(nullptr, 5, untouched, 0), 0u);
    EXPECT_EQ(untouched[0], 'K');
}

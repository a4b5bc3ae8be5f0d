// Device IDs: key lookup, the fields kept from an ID, and whole enumeration
// passes over emulated printers (completion from descriptors, the kernel
// printer driver given back, several printers, none).
#include "UsbTestSupport.h"

#include <optional>

namespace {

std::optional<std::string> Id(const char* s) {
    return std::string(s);
}

} // namespace

// --- copy_value_for_key ----------------------------------------------------

TEST(CopyValueForKey, FindsKeysAtTheStartOfAPairIgnoringCaseAndSpaces) {
    EXPECT_EQ(copy_value_for_key(Id("MFG:Acme;MDL:X"), kManufacturerKeys), "Acme");
    EXPECT_EQ(copy_value_for_key(Id("MFG:Acme;MDL:X"), kModelKeys), "X");
    EXPECT_EQ(copy_value_for_key(Id(" mfg:Acme ;"), kManufacturerKeys), "Acme");
    EXPECT_EQ(copy_value_for_key(Id("MDL:  Laser 9  ;"), kModelKeys), "Laser 9");
    EXPECT_EQ(copy_value_for_key(Id("\tManufacturer:Acme"), kManufacturerKeys), "Acme");
    EXPECT_EQ(copy_value_for_key(Id("MODEL:Z"), kModelKeys), "Z");
}

TEST(CopyValueForKey, SerialNumberAnswersToBothKeys) {
    EXPECT_EQ(copy_value_for_key(Id("SN:123;"), kSerialNumberKeys), "123");
    EXPECT_EQ(copy_value_for_key(Id("SERN:456;"), kSerialNumberKeys), "456");
    // "SERN:" holds no "SN:" at its start, so only the second key finds it.
    EXPECT_EQ(copy_value_for_key(Id("XSN:1;SERN:2"), kSerialNumberKeys), "2");
}

TEST(CopyValueForKey, KeyInsideAPairOrMissingIsNotFound) {
    EXPECT_EQ(copy_value_for_key(Id("DES:the MFG:Acme part"), kManufacturerKeys), std::nullopt);
    EXPECT_EQ(copy_value_for_key(Id("CMD:PCL;CLS:PRINTER"), kModelKeys), std::nullopt);
    EXPECT_EQ(copy_value_for_key(Id(""), kModelKeys), std::nullopt);
    EXPECT_EQ(copy_value_for_key(std::nullopt, kModelKeys), std::nullopt);
}

TEST(CopyValueForKey, EmptyValueCountsAsFoundAndLastPairNeedsNoSemicolon) {
    EXPECT_EQ(copy_value_for_key(Id("MFG:;MDL:X"), kManufacturerKeys), "");
    EXPECT_EQ(copy_value_for_key(Id("MFG:A;MDL:Last one"), kModelKeys), "Last one");
}

// --- the fields kept from one ID ----------------------------------------

class KeptFields : public testing::Test {
protected:
    void SetUp() override {
        std::strcpy(szSERN, "old serial");
        std::strcpy(szDES, "old description");
        std::strcpy(pDeviceIdText, "old id");
    }
    std::string Keep(const std::string& id) {
        return CapturedStdout([&] { KeepDeviceIdFields(id); });
    }
};

TEST_F(KeptFields, SerialDescriptionAndWholeIdAreTaken) {
    std::string log = Keep("MFG:A;SERN:S-1;DES:Desk jet;STS:x;");
    EXPECT_EQ(log, "idstr=MFG:A;SERN:S-1;DES:Desk jet;STS:x;\n");
    EXPECT_STREQ(szSERN, "S-1");
    EXPECT_STREQ(szDES, "Desk jet");
    EXPECT_STREQ(pDeviceIdText, "MFG:A;SERN:S-1;DES:Desk jet;STS:x;");
}

TEST_F(KeptFields, TheLogLineCarriesNoControlCharacters) {
    std::string log = Keep("MFG:A\x1B[2J;SERN:S\r\n-4;DES:D\xE2\x80\xAE;");
    EXPECT_EQ(log, "idstr=MFG:A[2J;SERN:S-4;DES:D;\n");
    // The kept fields are the printer's bytes; the list cleans them for show.
    EXPECT_STREQ(szSERN, "S\r\n-4");
}

TEST_F(KeptFields, DescriptionBeforeTheSerialNumberIsNotTaken) {
    Keep("DES:first;MFG:A;SERN:S-2;");
    EXPECT_STREQ(szSERN, "S-2");
    EXPECT_STREQ(szDES, "old description");
    EXPECT_STREQ(pDeviceIdText, "old id");
}

TEST_F(KeptFields, ValuesAtTheVeryEndAreTakenWhole) {
    Keep("SERN:S-3;DES:ends here");
    EXPECT_STREQ(szDES, "ends here");
    EXPECT_STREQ(pDeviceIdText, "SERN:S-3;DES:ends here");
}

TEST_F(KeptFields, IdEndingRightAfterTheDescriptionKeyKeepsOnlyTheSerial) {
    Keep("SERN:S-4;DES:");
    EXPECT_STREQ(szSERN, "S-4");
    EXPECT_STREQ(szDES, "old description");
    EXPECT_STREQ(pDeviceIdText, "old id");
}

TEST_F(KeptFields, IdWithoutSerialNumberChangesNothing) {
    Keep("MFG:A;MDL:B;SN:123;DES:x;");
    EXPECT_STREQ(szSERN, "old serial");
    EXPECT_STREQ(szDES, "old description");
    EXPECT_STREQ(pDeviceIdText, "old id");
}

TEST_F(KeptFields, EmptyValuesLeaveTheOldTexts) {
    Keep("SERN:;DES:;x");
    EXPECT_STREQ(szSERN, "old serial");
    EXPECT_STREQ(szDES, "old description");
    EXPECT_STREQ(pDeviceIdText, "SERN:;DES:;x");
}

TEST_F(KeptFields, OverlongValuesAreCutToTheirBuffers) {
    std::string serial(300, 'S');
    std::string des = std::string(254, 'd') + "\xC3\xA9" + "tail"; // é straddles the limit
    Keep("SERN:" + serial + ";DES:" + des + ";");
    EXPECT_EQ(std::string(szSERN), std::string(255, 'S'));
    EXPECT_EQ(std::string(szDES), std::string(254, 'd')) << "cut before, not inside, a character";
}

TEST_F(KeptFields, OverlongIdIsCutAtACharacterBoundary) {
    std::string id = "SERN:S;DES:D;" + std::string(1009, 'x') + "\xE2\x82\xAC" + "more";
    ASSERT_EQ(id.size(), 1022u + 3 + 4); // the euro sign spans bytes 1022 to 1024
    Keep(id);
    EXPECT_EQ(std::string(pDeviceIdText), id.substr(0, 1022));
    EXPECT_EQ(pDeviceIdText[kDeviceIdTextSize - 1], '\0');
}

TEST(Utf8Prefix, NeverSplitsACharacter) {
    const char s[] = "ab\xC3\xA9"
                     "c";
    EXPECT_EQ(Utf8PrefixLength(s, 5, 10), 5u);
    EXPECT_EQ(Utf8PrefixLength(s, 5, 4), 4u);
    EXPECT_EQ(Utf8PrefixLength(s, 5, 3), 2u);
    EXPECT_EQ(Utf8PrefixLength(s, 5, 0), 0u);
}

// --- whole passes over emulated printers ------------------------------------

TEST_F(UsbTest, CompleteIdIsTakenAsItCame) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.deviceId = "MFG:Acme;MDL:L9;SN:123;DES:Office;";
    int id = emu->AddPrinter(setup);
    std::string log = CapturedStdout([] { list_devices(); });
    EXPECT_TRUE(Contains(log, "idstr=MFG:Acme;MDL:L9;SN:123;DES:Office;\n"));
    EXPECT_EQ(emu->DeviceIdRequests(id), 1);
    // No "SERN:" key: nothing is kept.
    EXPECT_STREQ(szSERN, "");
    EXPECT_STREQ(pDeviceIdText, "");
}

TEST_F(UsbTest, DeviceIdRequestNamesTheInterfaceInTheHighByteOfItsIndex) {
    // A printer whose printing interface is number 2: the request must say
    // 0x0200, or the printer does not answer (and the sysfs copy is absent
    // once usblp has been detached for the request).
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.printingInterface = 2;
    setup.deviceId = "MFG:A;MDL:B;SERN:IF2;DES:Third;";
    const int id = emu->AddPrinter(setup);
    std::string log = CapturedStdout([] { list_devices(); });
    EXPECT_TRUE(Contains(log, "idstr=MFG:A;MDL:B;SERN:IF2;DES:Third;\n")) << log;
    EXPECT_EQ(emu->DeviceIdRequests(id), 1);
    EXPECT_STREQ(szSERN, "IF2");
    EXPECT_TRUE(emu->KernelDriverBound(id)) << "usblp must be given interface 2 back";
}

TEST_F(UsbTest, MissingSerialNumberIsCompletedFromTheStringDescriptor) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.serial = "ABC987";
    setup.deviceId = "MFG:Acme;MDL:L9;DES:Office;";
    emu->AddPrinter(setup);
    list_devices();
    EXPECT_STREQ(szSERN, "ABC987");
    EXPECT_STREQ(szDES, "Office");
    EXPECT_STREQ(pDeviceIdText, "SERN:ABC987;MFG:Acme;MDL:L9;DES:Office;");
}

TEST_F(UsbTest, EveryMissingKeyIsCompletedInOrder) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.manufacturer = "Maker";
    setup.product = "Model 5";
    setup.serial = "Z1";
    setup.deviceId = " cmd:PCL;DES:Hall;";
    emu->AddPrinter(setup);
    list_devices();
    EXPECT_STREQ(pDeviceIdText, "MFG:Maker;MDL:Model 5;SERN:Z1; cmd:PCL;DES:Hall;");
}

TEST_F(UsbTest, PrinterWithoutSerialStringGetsNoSerialNumber) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.serial.clear(); // serial-number string index 0
    setup.deviceId = "MFG:Acme;MDL:L9;DES:Office;";
    emu->AddPrinter(setup);
    std::string log = CapturedStdout([] { list_devices(); });
    EXPECT_TRUE(Contains(log, "idstr=MFG:Acme;MDL:L9;DES:Office;\n"));
    EXPECT_STREQ(szSERN, "");
}

TEST_F(UsbTest, KernelPrinterDriverIsDetachedOnlyForTheExchange) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.deviceId = "MFG:A;MDL:B;SERN:1;DES:D;";
    int id = emu->AddPrinter(setup);
    list_devices();
    list_devices();
    EXPECT_EQ(emu->DeviceIdRequests(id), 2) << "the request needs the interface free";
    EXPECT_EQ(emu->KernelDriverDetaches(id), 2);
    EXPECT_TRUE(emu->KernelDriverBound(id)) << "usblp must be given the interface back";
}

TEST_F(UsbTest, WhenTheKernelDriverCannotBeDetachedItsCopyOfTheIdServes) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.detachRefused = true;
    setup.deviceId = "MFG:A;MDL:B;SERN:from-sysfs;DES:D;";
    int id = emu->AddPrinter(setup);
    list_devices();
    EXPECT_STREQ(szSERN, "from-sysfs");
    EXPECT_EQ(emu->DeviceIdRequests(id), 0);
    EXPECT_TRUE(emu->KernelDriverBound(id));
}

TEST_F(UsbTest, PrinterWithoutKernelDriverIsAskedAllTheSame) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    setup.usblpBound = false;
    setup.deviceId = "MFG:A;MDL:B;SERN:7;DES:D;";
    int id = emu->AddPrinter(setup);
    list_devices();
    EXPECT_STREQ(szSERN, "7");
    EXPECT_EQ(emu->KernelDriverDetaches(id), 0);
}

TEST_F(UsbTest, WithSeveralPrintersTheLastQualifyingOneWins) {
    usbemu::PrinterSetup a = DefaultPrinter();
    a.deviceId = "MFG:A;MDL:B;SERN:first;DES:one;";
    usbemu::PrinterSetup b = DefaultPrinter();
    b.productId = 0x9999; // any printer counts, not only the package's
    b.deviceId = "MFG:A;MDL:B;SERN:second;DES:two;";
    usbemu::PrinterSetup c = DefaultPrinter();
    c.deviceId = "MFG:A;MDL:B;SN:third;"; // yields nothing
    int ia = emu->AddPrinter(a);
    int ib = emu->AddPrinter(b);
    emu->AddPrinter(c);
    bool aLast = InListedOrder(ia, ib).second == ia;
    list_devices();
    EXPECT_STREQ(szSERN, aLast ? "first" : "second");
    EXPECT_STREQ(szDES, aLast ? "one" : "two");
}

TEST_F(UsbTest, NoPrinterAttachedKeepsTheEarlierTexts) {
    std::strcpy(szSERN, "earlier");
    std::strcpy(pDeviceIdText, "SERN:earlier;DES:x");
    list_devices();
    EXPECT_STREQ(szSERN, "earlier");
    EXPECT_STREQ(pDeviceIdText, "SERN:earlier;DES:x");
}

TEST_F(UsbTest, HostileDeviceIdsAreContained) {
    usbemu::PrinterSetup setup = DefaultPrinter();
    // Not UTF-8, and a NUL with thousands of bytes after it: what is kept
    // is valid text that ends at the NUL.
    setup.deviceId = std::string("SERN:\xFF\xFE;DES:d;") + std::string(3000, 'y');
    setup.deviceId[40] = '\0';
    emu->AddPrinter(setup);
    list_devices();
    EXPECT_STREQ(szSERN, "\xC3\xBF\xC3\xBE"); // read as Latin-1
    EXPECT_STREQ(szDES, "d");
    EXPECT_LT(std::strlen(pDeviceIdText), kDeviceIdTextSize);
}

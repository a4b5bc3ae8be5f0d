// Device IDs: key lookup, the fields kept from an ID, and whole enumeration
// passes over emulated printers (completion from descriptors, the kernel
// printer driver given back, several printers, none).
#include "UsbTestSupport.h"

#include <optional>
#include <vector>

// --- copy_value_for_key ----------------------------------------------------

// A key counts at the start of a pair only, whatever its case and the blanks
// around it; "SN:" and "SERN:" both name the serial number.
TEST(CopyValueForKey, FindsKeysAtTheStartOfAPairIgnoringCaseAndSpaces) {
    const struct {
        const char* id;
        const char* const* keys;
        std::optional<std::string> value;
    } cases[] = {
        {"MFG:Acme;MDL:X", kManufacturerKeys, "Acme"},
        {"MFG:Acme;MDL:X", kModelKeys, "X"},
        {" mfg:Acme ;", kManufacturerKeys, "Acme"},
        {"MDL:  Laser 9  ;", kModelKeys, "Laser 9"},
        {"\tManufacturer:Acme", kManufacturerKeys, "Acme"},
        {"MODEL:Z", kModelKeys, "Z"},
        {"SN:123;", kSerialNumberKeys, "123"},
        {"SERN:456;", kSerialNumberKeys, "456"},
        {"XSN:1;SERN:2", kSerialNumberKeys, "2"},
        {"DES:the MFG:Acme part", kManufacturerKeys, std::nullopt},
        {"CMD:PCL;CLS:PRINTER", kModelKeys, std::nullopt},
        {"", kModelKeys, std::nullopt},
        {"MFG:;MDL:X", kManufacturerKeys, ""},
        {"MFG:A;MDL:Last one", kModelKeys, "Last one"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(copy_value_for_key(std::string(c.id), c.keys), c.value) << c.id;
    EXPECT_EQ(copy_value_for_key(std::nullopt, kModelKeys), std::nullopt);
}

// --- the fields kept from one ID ----------------------------------------

// Serial number, description and the whole ID are kept from an ID that has a
// serial number, the description only after it; what is not found, or empty,
// leaves the earlier text.
TEST(KeptFields, SerialDescriptionAndWholeIdAreTaken) {
    const char* const old = "old";
    const struct {
        std::string id;
        const char* serial;
        const char* description;
        const char* whole; // old: left alone; null: the ID itself
    } cases[] = {
        {"MFG:A;SERN:S-1;DES:Desk jet;STS:x;", "S-1", "Desk jet", nullptr},
        {"DES:first;MFG:A;SERN:S-2;", "S-2", old, old},
        {"SERN:S-3;DES:ends here", "S-3", "ends here", nullptr},
        {"SERN:S-4;DES:", "S-4", old, old},
        {"MFG:A;MDL:B;SN:123;DES:x;", old, old, old},
        {"SERN:;DES:;x", old, old, nullptr},
        // The kept fields are the printer's bytes; the list cleans them for show.
        {"MFG:A\x1B[2J;SERN:S\r\n-4;DES:D\xE2\x80\xAE;", "S\r\n-4", "D\xE2\x80\xAE", nullptr},
    };
    for (const auto& c : cases) {
        std::strcpy(szSERN, old);
        std::strcpy(szDES, old);
        std::strcpy(pDeviceIdText, old);
        const std::string log = CapturedStdout([&] { KeepDeviceIdFields(c.id); });
        EXPECT_STREQ(szSERN, c.serial) << c.id;
        EXPECT_STREQ(szDES, c.description) << c.id;
        EXPECT_STREQ(pDeviceIdText, c.whole ? c.whole : c.id.c_str()) << c.id;
        if (c.id == cases[0].id) {
            EXPECT_EQ(log, "idstr=" + c.id + "\n");
        }
    }
    // The log line carries no control characters.
    EXPECT_EQ(
        CapturedStdout([] { KeepDeviceIdFields("MFG:A\x1B[2J;SERN:S\r\n-4;DES:D\xE2\x80\xAE;"); }),
        "idstr=MFG:A[2J;SERN:S-4;DES:D;\n");
}

TEST(KeptFields, OverlongValuesAreCutToTheirBuffersAtACharacterBoundary) {
    std::string serial(300, 'S');
    std::string des = std::string(254, 'd') + "\xC3\xA9" + "tail"; // é straddles the limit
    CapturedStdout([&] { KeepDeviceIdFields("SERN:" + serial + ";DES:" + des + ";"); });
    EXPECT_EQ(std::string(szSERN), std::string(255, 'S'));
    EXPECT_EQ(std::string(szDES), std::string(254, 'd')) << "cut before, not inside, a character";

    std::string id = "SERN:S;DES:D;" + std::string(1009, 'x') + "\xE2\x82\xAC" + "more";
    ASSERT_EQ(id.size(), 1022u + 3 + 4); // the euro sign spans bytes 1022 to 1024
    CapturedStdout([&] { KeepDeviceIdFields(id); });
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
    const int id = AddPrinter([](auto& s) { s.deviceId = "MFG:Acme;MDL:L9;SN:123;DES:Office;"; });
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
    const int id = AddPrinter([](auto& s) {
        s.printingInterface = 2;
        s.deviceId = "MFG:A;MDL:B;SERN:IF2;DES:Third;";
    });
    std::string log = CapturedStdout([] { list_devices(); });
    EXPECT_TRUE(Contains(log, "idstr=MFG:A;MDL:B;SERN:IF2;DES:Third;\n")) << log;
    EXPECT_EQ(emu->DeviceIdRequests(id), 1);
    EXPECT_STREQ(szSERN, "IF2");
    EXPECT_TRUE(emu->KernelDriverBound(id)) << "usblp must be given interface 2 back";
}

TEST_F(UsbTest, MissingSerialNumberIsCompletedFromTheStringDescriptor) {
    AddPrinter([](auto& s) {
        s.serial = "ABC987";
        s.deviceId = "MFG:Acme;MDL:L9;DES:Office;";
    });
    list_devices();
    EXPECT_STREQ(szSERN, "ABC987");
    EXPECT_STREQ(szDES, "Office");
    EXPECT_STREQ(pDeviceIdText, "SERN:ABC987;MFG:Acme;MDL:L9;DES:Office;");
}

TEST_F(UsbTest, EveryMissingKeyIsCompletedInOrder) {
    AddPrinter([](auto& s) {
        s.manufacturer = "Maker";
        s.product = "Model 5";
        s.serial = "Z1";
        s.deviceId = " cmd:PCL;DES:Hall;";
    });
    list_devices();
    EXPECT_STREQ(pDeviceIdText, "MFG:Maker;MDL:Model 5;SERN:Z1; cmd:PCL;DES:Hall;");
}

TEST_F(UsbTest, PrinterWithoutSerialStringGetsNoSerialNumber) {
    AddPrinter([](auto& s) {
        s.serial.clear(); // serial-number string index 0
        s.deviceId = "MFG:Acme;MDL:L9;DES:Office;";
    });
    std::string log = CapturedStdout([] { list_devices(); });
    EXPECT_TRUE(Contains(log, "idstr=MFG:Acme;MDL:L9;DES:Office;\n"));
    EXPECT_STREQ(szSERN, "");
}

TEST_F(UsbTest, KernelPrinterDriverIsDetachedOnlyForTheExchange) {
    const int id = AddPrinter([](auto& s) { s.deviceId = "MFG:A;MDL:B;SERN:1;DES:D;"; });
    list_devices();
    list_devices();
    EXPECT_EQ(emu->DeviceIdRequests(id), 2) << "the request needs the interface free";
    EXPECT_EQ(emu->KernelDriverDetaches(id), 2);
    EXPECT_TRUE(emu->KernelDriverBound(id)) << "usblp must be given the interface back";
}

TEST_F(UsbTest, WhenTheKernelDriverCannotBeDetachedItsCopyOfTheIdServes) {
    const int id = AddPrinter([](auto& s) {
        s.detachRefused = true;
        s.deviceId = "MFG:A;MDL:B;SERN:from-sysfs;DES:D;";
    });
    list_devices();
    EXPECT_STREQ(szSERN, "from-sysfs");
    EXPECT_EQ(emu->DeviceIdRequests(id), 0);
    EXPECT_TRUE(emu->KernelDriverBound(id));
}

TEST_F(UsbTest, PrinterWithoutKernelDriverIsAskedAllTheSame) {
    const int id = AddPrinter([](auto& s) {
        s.usblpBound = false;
        s.deviceId = "MFG:A;MDL:B;SERN:7;DES:D;";
    });
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

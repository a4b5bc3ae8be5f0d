// Device IDs: key lookup, the fields kept from an ID, and whole enumeration
// passes over emulated printers (completion from descriptors, the kernel
// printer driver given back, several printers, none).
#include "UsbTestSupport.h"

#include <optional>
#include <string>
#include <tuple>
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

// One printer, enumerated twice: what each pass logs, keeps and asks of it.
// An ID is completed from the string descriptors key by key, in order, and
// logged as kept (as it came when it has no serial number to keep); usblp is
// detached only for each exchange and given the interface back, and where it
// cannot be detached its sysfs copy serves.
TEST_F(UsbTest, EachPassKeepsThePrintersIdCompletedAndGivesTheInterfaceBack) {
    using Setup = usbemu::PrinterSetup;
    const struct {
        const char* name;
        std::string deviceId;
        void (*change)(Setup&);
        const char* serial;
        const char* description;
        const char* kept; // null: the ID as it came
        int requests;
        int detaches;
    } cases[] = {
        {"no SERN: nothing kept", "MFG:Acme;MDL:L9;SN:123;DES:Office;", nullptr, "", "", "", 2, 2},
        // The request must say 0x0200, or the printer does not answer (and
        // the sysfs copy is absent once usblp has been detached for it).
        {"printing interface 2", "MFG:A;MDL:B;SERN:IF2;DES:Third;",
         [](Setup& s) { s.printingInterface = 2; }, "IF2", "Third", nullptr, 2, 2},
        {"serial from its string", "MFG:Acme;MDL:L9;DES:Office;",
         [](Setup& s) { s.serial = "ABC987"; }, "ABC987", "Office",
         "SERN:ABC987;MFG:Acme;MDL:L9;DES:Office;", 2, 2},
        {"every key completed", " cmd:PCL;DES:Hall;",
         [](Setup& s) {
             std::tie(s.manufacturer, s.product, s.serial) = std::tuple("Maker", "Model 5", "Z1");
         },
         "Z1", "Hall", "MFG:Maker;MDL:Model 5;SERN:Z1; cmd:PCL;DES:Hall;", 2, 2},
        // Serial-number string index 0.
        {"no serial string", "MFG:Acme;MDL:L9;DES:Office;", [](Setup& s) { s.serial.clear(); }, "",
         "", "", 2, 2},
        {"detached for each exchange", "MFG:A;MDL:B;SERN:1;DES:D;", nullptr, "1", "D", nullptr, 2,
         2},
        {"detach refused: the sysfs copy", "MFG:A;MDL:B;SERN:from-sysfs;DES:D;",
         [](Setup& s) { s.detachRefused = true; }, "from-sysfs", "D", nullptr, 0, 0},
        {"no kernel driver: asked all the same", "MFG:A;MDL:B;SERN:7;DES:D;",
         [](Setup& s) { s.usblpBound = false; }, "7", "D", nullptr, 2, 0},
        // Not UTF-8 (read as Latin-1), and a NUL with thousands of bytes after
        // it: what is kept is valid text that ends at the NUL.
        {"hostile",
         std::string("SERN:\xFF\xFE;DES:d;") + std::string(25, 'y') + '\0' + std::string(2974, 'y'),
         nullptr, "\xC3\xBF\xC3\xBE", "d",
         "MFG:Emulated Printers;MDL:Emulated Printer;"
         "SERN:\xC3\xBF\xC3\xBE;DES:d;yyyyyyyyyyyyyyyyyyyyyyyyy",
         2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Setup setup = DefaultPrinter();
        setup.deviceId = c.deviceId;
        if (c.change)
            c.change(setup);
        const int id = emu->AddPrinter(setup);
        const std::string log = CapturedStdout([] { list_devices(); });
        list_devices();
        const std::string kept = c.kept ? c.kept : c.deviceId;
        EXPECT_TRUE(Contains(log, "idstr=" + (kept.empty() ? c.deviceId : kept) + "\n")) << log;
        EXPECT_STREQ(szSERN, c.serial);
        EXPECT_STREQ(szDES, c.description);
        EXPECT_EQ(pDeviceIdText, kept);
        EXPECT_EQ(emu->DeviceIdRequests(id), c.requests);
        EXPECT_EQ(emu->KernelDriverDetaches(id), c.detaches);
        EXPECT_EQ(emu->KernelDriverBound(id), setup.usblpBound) << "usblp gets the interface back";
    }
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

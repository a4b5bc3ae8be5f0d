// The one rule of both programs for which addresses are one printer.
#include "net/SamePrinter.h"

#include <gtest/gtest.h>

namespace {

TEST(SamePrinter, DeviceIdFieldsAreFoundInAnyCaseAndPosition) {
    const std::string id = "MFG:Maker;MDL:QX-310; sern : QX31-0042 ;STS:AAAA";
    EXPECT_EQ(DeviceIdField(id, "SERN"), "QX31-0042");
    EXPECT_EQ(DeviceIdField(id, "MDL"), "QX-310");
    EXPECT_EQ(DeviceIdField(id, "CMD"), "");
    EXPECT_EQ(DeviceIdField("", "SERN"), "");
    EXPECT_EQ(DeviceIdField(":x;SERN", "SERN"), "") << "a key without its colon holds nothing";
}

TEST(SamePrinter, SerialOrLinkLocalBuiltFromTheIPv4HardwareAddress) {
    const NeighbourTable neighbours = ParseNeighbourTable(
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "10.0.1.5         0x1         0x2         02:16:3E:aa:bb:cc     *        veth0\n"
        "10.0.1.6         0x1         0x0         00:00:00:00:00:00     *        veth0\n"
        "10.0.1.7         0x1         0x2         52:54:00:12:34:56     *        veth0\n");
    ASSERT_EQ(neighbours.size(), 2u) << "incomplete entries are none";
    EXPECT_EQ(neighbours.at("10.0.1.5"), "02:16:3e:aa:bb:cc");

    // 02:16:3e:aa:bb:cc -> interface identifier 0016:3eff:feaa:bbcc.
    EXPECT_TRUE(IsLinkLocalOfMac("fe80::16:3eff:feaa:bbcc%veth0", "02:16:3e:aa:bb:cc"));
    EXPECT_FALSE(IsLinkLocalOfMac("fe80::216:3eff:feaa:bbcc", "02:16:3e:aa:bb:cc"))
        << "the universal bit is flipped";
    EXPECT_FALSE(IsLinkLocalOfMac("2001:db8::16:3eff:feaa:bbcc", "02:16:3e:aa:bb:cc"));
    EXPECT_FALSE(IsLinkLocalOfMac("not an address", "x"));

    const PrinterIdentity lab4{"", {"10.0.1.5"}};
    const PrinterIdentity lab6{"", {"fe80::16:3eff:feaa:bbcc%veth0"}};
    const PrinterIdentity other6{"", {"fe80::5054:ff:fe12:3457%veth0"}};
    EXPECT_TRUE(SamePrinter(lab4, lab6, neighbours));
    EXPECT_TRUE(SamePrinter(lab6, lab4, neighbours));
    EXPECT_FALSE(SamePrinter(lab4, other6, neighbours));
    EXPECT_FALSE(SamePrinter(lab4, lab6, {})) << "without the neighbour entry nothing is known";
    EXPECT_TRUE(SamePrinter({"S-7", {"10.0.1.7"}}, {"S-7", {"10.0.1.9"}}, neighbours));
    EXPECT_FALSE(SamePrinter({"", {"10.0.1.7"}}, {"", {"10.0.1.9"}}, neighbours))
        << "two unknown serials are not one";
}

// Each printer gets its package once, over its IPv4 address when it has one,
// whatever order its rows were found in.
TEST(SamePrinter, GroupsSendOnceOverTheFirstIPv4Row) {
    const NeighbourTable neighbours = {{"10.0.1.5", "02:16:3e:aa:bb:cc"}};
    const std::vector<PrinterIdentity> rows = {
        {"", {"fe80::16:3eff:feaa:bbcc%veth0"}}, // 0: Lab over IPv6, found first
        {"S-7", {"10.0.1.7"}},                   // 1: Office
        {"", {"10.0.1.5"}},                      // 2: Lab over IPv4
        {"S-7", {"10.0.1.9"}},                   // 3: Office again, by its serial
        {"", {"10.0.1.8"}},                      // 4: Hall
    };
    EXPECT_EQ(GroupSamePrinters(rows, neighbours),
              (std::vector<std::vector<std::size_t>>{{2, 0}, {1, 3}, {4}}));
    EXPECT_EQ(GroupSamePrinters({rows[0]}, neighbours),
              (std::vector<std::vector<std::size_t>>{{0}}));
    EXPECT_TRUE(GroupSamePrinters({}, neighbours).empty());
}

} // namespace

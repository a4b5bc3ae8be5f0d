// Refresh on roads no real network should have: forged agents, repeats,
// trickles, junk on the first IPv6 link, names that are no plain ASCII.
// Each network is made by tools/netns/run-in-netns.sh from a roads_*.sh
// file; CTest runs the matching test inside it.
#include "WizardFixture.h"

#include "PrinterNetwork.h"
#include "net/NetIO.h"

#include <net/if.h>

#include <chrono>
#include <map>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

class RoadTest : public WizardTest {
protected:
    // Opens the test package and goes to the network page, which runs the
    // Refresh; returns its seconds.
    double Refresh() {
        Open(NetworkPackage());
        Next();
        const auto start = Clock::now();
        Next();
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(g_pMainWindow->CurrentPage(), 3);
        return took;
    }
    // Address -> how many rows show it.
    std::map<std::string, int> RowsByAddress() const {
        std::map<std::string, int> rows;
        for (int i = 0; i < m_Settings.nNetworkCount; ++i)
            ++rows[m_Settings.NetworkListdata[i].szIPv4Address.toStdString()];
        return rows;
    }
    QString Cell(const std::string& address, uint32_t property) const {
        const int row = RowOf(address);
        EXPECT_GE(row, 0) << address;
        return WizardTest::Cell(row, property);
    }
    const privnet::Agent& A(const char* name) const {
        for (const privnet::Agent& a : Net().agents)
            if (a.name == name)
                return a;
        std::fprintf(stderr, "agent %s missing from the manifest\n", name);
        std::abort();
    }
};

TEST_F(RoadTest, ForgedAgentsRepeatsAndOddNames) {
    const double took = Refresh();
    // Two quiet seconds and one for the queries, however many are silent.
    EXPECT_LT(took, 4.5);
    const auto rows = RowsByAddress();
    EXPECT_EQ(rows.count(A("STRANGER").ipv4[0]), 0u) << "not a neighbour: no row";
    ASSERT_EQ(rows.size(), 45u);
    for (const auto& [address, count] : rows)
        EXPECT_EQ(count, 1) << address << ": one address, one row";
    for (const std::string& forged : A("FORGED").ipv4) {
        EXPECT_EQ(Cell(forged, kColumnName), QStringLiteral("Demo MFP 100")) << forged;
        EXPECT_EQ(Cell(forged, kColumnFirmware), QString()) << forged;
        EXPECT_EQ(Cell(forged, kColumnStatus), QStringLiteral("Ready")) << forged;
    }
    const std::string repeat = A("REPEAT").ipv4[0];
    EXPECT_EQ(Cell(repeat, kColumnName), QStringLiteral("Büro-Drucker"));
    EXPECT_EQ(Cell(repeat, kColumnFirmware), QStringLiteral("V3.00"));
    EXPECT_EQ(Cell(repeat, kColumnStatus), QStringLiteral("Power Saving"));
    EXPECT_EQ(Cell(A("CONTROL").ipv4[0], kColumnName), QStringLiteral("Lab[2JPrinter1"));
    EXPECT_EQ(Cell(A("LONG").ipv4[0], kColumnName), QString(250, QLatin1Char('L')));
    EXPECT_EQ(Cell(A("LATIN").ipv4[0], kColumnName), QStringLiteral("Büro"));
    const privnet::Printer* real = Net().Find("PRN-A");
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(Cell(real->ipv4, kColumnName), QStringLiteral("Büro-Drucker"));

    // Ticking the repeated printer ticks one row.
    Tick(RowOf(repeat));
    int ticked = 0;
    for (int i = 0; i < m_Settings.nNetworkCount; ++i)
        ticked += m_Settings.bNetworkChecked[i];
    EXPECT_EQ(ticked, 1);
}

TEST_F(RoadTest, ATrickleOfRepliesDoesNotHoldThePass) {
    const double took = Refresh();
    // Both passes are held to their five-second limit, at the same time: one
    // after the other would take eight seconds and more.
    EXPECT_GT(took, 4.9) << "both passes were held to their limits";
    EXPECT_LT(took, 7.0) << "the passes ran one after the other";
    const privnet::Printer* real = Net().Find("PRN-A");
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(RowsByAddress(), (std::map<std::string, int>{{real->ipv4, 1}}));
    EXPECT_EQ(Cell(real->ipv4, kColumnName), QStringLiteral("PRN-A"));
}

TEST_F(RoadTest, JunkOnTheFirstIpv6LinkHidesNoPrinterOnTheSecond) {
    ASSERT_EQ(scope_id, 0);
    ASSERT_GE(Net().clientLinks.size(), 2u);
    const double took = Refresh();
    EXPECT_LT(took, 4.5);
    const privnet::Printer* p6 = Net().Find("PRN-6");
    ASSERT_NE(p6, nullptr);
    // IPv4 broadcast reaches link 1 only; IPv6 finds the printer on link 2.
    EXPECT_EQ(RowsByAddress(), (std::map<std::string, int>{{p6->linkLocal, 1}}));
    EXPECT_EQ(Cell(p6->linkLocal, kColumnName), QStringLiteral("PRN-6"));
    EXPECT_EQ(scope_id, static_cast<int>(if_nametoindex(Net().clientLinks[1].c_str())));
}

// Each row is asked at its own address: the IPv6 side of every agent
// answers other texts, and its rows show them.
TEST_F(RoadTest, EveryDualStackRowShowsItsOwnAnswers) {
    const double took = Refresh();
    EXPECT_LT(took, 4.5);
    ASSERT_EQ(m_Settings.nNetworkCount, 24);
    for (int i = 0; i < m_Settings.nNetworkCount; ++i)
        EXPECT_EQ(m_Settings.NetworkListdata[i].szIPv4Address.contains(QLatin1Char(':')), i >= 12)
            << "IPv4 rows first, row " << i;
    for (int i = 1; i <= 10; ++i) {
        const privnet::Agent& a = A(("DUAL" + std::to_string(i)).c_str());
        const QString n = QString::number(i);
        EXPECT_EQ(Cell(a.ipv4[0], kColumnName), QString::fromStdString(a.ipv4[0]));
        EXPECT_EQ(Cell(a.ipv4[0], kColumnFirmware), QStringLiteral("V4.") + n);
        EXPECT_EQ(Cell(a.linkLocal, kColumnName), QStringLiteral("six-") + n) << a.linkLocal;
        EXPECT_EQ(Cell(a.linkLocal, kColumnFirmware), QStringLiteral("V6.") + n);
        EXPECT_EQ(Cell(a.linkLocal, kColumnStatus), QStringLiteral("Power Saving"));
    }
    for (const char* name : {"PRN-A", "PRN-B"}) {
        const privnet::Printer* p = Net().Find(name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Cell(p->ipv4, kColumnName), QString::fromLatin1(name));
        EXPECT_EQ(Cell(p->linkLocal, kColumnName), QString::fromLatin1(name));
    }
}

} // namespace

// quenlo-cli's list and update, run in this process against a scripted agent
// on the loopback (an unprivileged port): the sweep of --address and
// --subnet, the probe of update's addresses and the name and version
// queries, with no root and nothing sent beyond the loopback.
#include "Responder.h"
#include "cli/FleetCommands.h"
#include "cli/Sweep.h"
#include "settings/SettingsData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char kModel[] = "1.3.6.1.4.1.40917.886.300.369.8531.310";
const Bytes kModelEncoded{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBF, 0x55, 0x86,
                          0x76, 0x82, 0x2C, 0x82, 0x71, 0xC2, 0x53, 0x82, 0x36};

// The package's model, as the loaded settings would give it.
void UseModel() {
    m_Settings.Clear();
    m_Settings.szSysOID = QString::fromLatin1(kModel);
    m_Settings.szModelName = QStringLiteral("QX-310 MFP");
    m_Settings.nFWCount = 1;
    m_Settings.BinfileListdata[0].szFileName = QStringLiteral("controller.bin");
}

// A printer of the model that answers only the given community.
Script Printer(const std::string& community) {
    return Agent([=](const std::string& asked) {
        if (asked != community)
            return Holdings{};
        return Holdings{kModelEncoded, Str("Own name"), Str("V7.7"),
                        Str("MFG:Maker;MDL:QX-310;SERN:S-1;")};
    });
}

// A host that never answers, and a forger that sends, from its address,
// everything that could pass for the model's answer.
std::vector<Answer> Forger(const Bytes& request) {
    if (!Holds(request, kSysObjectIdName))
        return {};
    return Forgeries(request, kSysObjectIdName, 0x06, kModelEncoded);
}

// Runs a command with its results in a file; the exit status and what it
// printed.
std::pair<int, QByteArray> RunCommand(int (*command)(const QStringList&, FILE*),
                                      const QStringList& arguments) {
    char* buffer = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&buffer, &length);
    if (out == nullptr)
        return {-1, {}};
    const int status = command(arguments, out);
    std::fclose(out);
    const QByteArray text(buffer, qsizetype(length));
    std::free(buffer);
    return {status, text};
}

// The commands as the program runs them: options first, then the work.
int List(const QStringList& arguments, FILE* out) {
    ListOptions options;
    const int parsed = ParseListOptions(arguments, &options, out);
    return parsed >= 0 ? parsed : ListCommand(options, out);
}

int Update(const QStringList& arguments, FILE* out) {
    UpdateOptions options;
    const int parsed = ParseUpdateOptions(arguments, &options, out);
    return parsed >= 0 ? parsed : UpdateCommand(options, out);
}

// The printers of a JSON list or report.
QJsonArray Printers(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object().value(QStringLiteral("printers")).toArray();
}

QJsonArray ListedPrinters(const QStringList& arguments, int* status) {
    const auto [exit, text] = RunCommand(List, QStringList{"--no-broadcast", "--json"} + arguments);
    *status = exit;
    return Printers(text);
}

struct Where {
    const char* address;
    int family;
};

void PrintTo(const Where& where, std::ostream* out) {
    *out << where.address;
}

class TypedAddress : public ::testing::TestWithParam<Where> {
protected:
    void SetUp() override { UseModel(); }
    const Where where = GetParam();
};

} // namespace

TEST_P(TypedAddress, AForgedReplyListsNothingAndTheUpdateCallsItUnreachable) {
    Responder forger(where.family, Forger);
    ASSERT_TRUE(forger.Ok());
    int status = -1;
    EXPECT_EQ(ListedPrinters({"--address", where.address}, &status), QJsonArray());
    EXPECT_EQ(status, 0);

    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report.json"));
    EXPECT_EQ(RunCommand(Update, {where.address, "--dry-run", "--report", report}).first, 1);
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray outcomes = Printers(file.readAll());
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes[0]["outcome"].toString(), QStringLiteral("unreachable"));
}

TEST_P(TypedAddress, APrinterThatAnswersOnlyItsOwnCommunityShowsItsOwnNameAndVersion) {
    Responder printer(where.family, Printer("public"));
    ASSERT_TRUE(printer.Ok());
    int status = -1;
    const QJsonArray listed =
        ListedPrinters({"--community", "public", "--address", where.address}, &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(listed.size(), 1);
    const QJsonObject row = listed[0].toObject();
    EXPECT_EQ((QStringList{row["address"].toString(), row["name"].toString(),
                           row["firmware"].toString(), row["serial"].toString()}),
              (QStringList{where.address, "Own name", "V7.7", "S-1"}));

    const auto [exit, text] =
        RunCommand(Update, {"--community", "public", where.address, "--dry-run"});
    EXPECT_EQ(exit, 0) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, TypedAddress,
                         ::testing::Values(Where{"127.0.0.1", AF_INET}, Where{"::1", AF_INET6}),
                         [](const ::testing::TestParamInfo<Where>& info) {
                             return std::string(info.param.family == AF_INET ? "V4" : "V6");
                         });

TEST(Sweep, CountsOnlyTheAskedHostsOwnAnswers) {
    // The forger's answers come from 127.0.0.1 itself (wrong ids, another
    // object), from another port, and from 127.0.0.2, which was not asked.
    Responder forger(AF_INET, Forger);
    ASSERT_TRUE(forger.Ok());
    SweepOptions quick;
    quick.quietMs = 300;
    EXPECT_TRUE(SweepAgents({"127.0.0.1", "127.0.0.3"}, "orchid", kModel, quick).empty());

    Responder printer(AF_INET, [](const Bytes& request) {
        std::vector<Answer> answers = Forger(request);
        for (const Answer& a : Printer("orchid")(request))
            answers.push_back(a);
        return answers;
    });
    ASSERT_TRUE(printer.Ok());
    EXPECT_EQ(SweepAgents({"127.0.0.1", "127.0.0.3"}, "orchid", kModel, quick),
              std::vector<std::string>{"127.0.0.1"});
}

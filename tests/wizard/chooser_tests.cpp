// The installed wizard (no settings file beside the program) asks for the
// package folder, or takes it from --package, and then opens it as a copy
// inside it would; a copy beside its settings file asks nothing.
#include "WizardFixture.h"
#include "wizard/PackageChooser.h"

#include <QApplication>
#include <QFileDialog>
#include <QSettings>

namespace {

// What the chooser showed, and how the test answered it.
struct ChooserTurn {
    QString title;
    QString startFolder;
};

class ChooserTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        // The fixture's folder holds the program alone: the installed layout.
        m_installed.executablePath = m_package->Path(QStringLiteral("Quenlo"));
        m_installed.identifier = QStringLiteral("Quenlo");
        SetMainBundleOverride(&m_installed);
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "quenlo", "Quenlo").clear();
        m_chosen = MakePackage(m_folder.path(), "Chosen Model");
    }

    void TearDown() override {
        m_poll.stop();
        WizardTest::TearDown();
    }

    // A package folder with a settings file of the given name and the two
    // firmware files.
    static bool MakePackage(const QString& folder, const char* model,
                            const QString& settingsName = QStringLiteral("Quenlo.plist")) {
        auto settings = NetworkPackage();
        settings["General"]["ModelName"] = model;
        return Write(folder + "/" + settingsName, TestPackage::SettingsBytes(settings)) &&
               Write(folder + "/a.bin", QByteArray(3000, 'a')) &&
               Write(folder + "/b.bin", QByteArray(1234, 'b'));
    }

    static bool Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // Answers each chooser shown with the next folder (a null one cancels).
    void Answer(std::vector<QString> folders) {
        m_answers = std::move(folders);
        QObject::disconnect(&m_poll, nullptr, nullptr, nullptr);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (chooser == nullptr || !chooser->isVisible())
                return;
            m_turns.push_back({chooser->windowTitle(), chooser->directory().absolutePath()});
            if (m_turns.size() > m_answers.size() || m_answers[m_turns.size() - 1].isNull()) {
                chooser->reject();
                return;
            }
            chooser->setDirectory(m_answers[m_turns.size() - 1]);
            static_cast<QDialog*>(chooser)->accept();
        });
        m_poll.start(10);
    }

    void ExpectPageOneOf(const char* model) {
        MainWindow::Create();
        ASSERT_NE(g_pMainWindow, nullptr);
        EXPECT_EQ(Text(controlStaticModelName), QString::fromLatin1(model));
        EXPECT_EQ(tb::GetListItemCount(C(controlBinFileListView)), 2u);
        // Firmware files are found in the package folder, not the program's.
        EXPECT_EQ(tb::GetListCellText(C(controlBinFileListView), 1, kColumnSize),
                  QStringLiteral("3000"));
        EXPECT_EQ(ShownPane(), 1);
        EXPECT_TRUE(Explanations().empty());
    }

    CBundle m_installed;
    QTemporaryDir m_folder;
    bool m_chosen = false;
    QTimer m_poll;
    std::vector<QString> m_answers;
    std::vector<ChooserTurn> m_turns;
};

TEST_F(ChooserTest, InstalledLayoutAsksThenOpensTheChosenPackageAndRemembersIt) {
    ASSERT_TRUE(m_chosen);
    Answer({m_folder.path()});
    EXPECT_EQ(OpenPackage(QString(), true), PackageOpening::Opened);
    ASSERT_EQ(m_turns.size(), 1u);
    EXPECT_EQ(m_turns[0].title, QStringLiteral("Choose an update package"));
    ExpectPageOneOf("Chosen Model");
    delete g_pMainWindow;
    FlushDeletes();

    // The next start of the installed program begins where this one chose.
    SetMainBundleOverride(&m_installed);
    EXPECT_EQ(LastPackageFolder(), QFileInfo(m_folder.path()).canonicalFilePath());
    // Cancel opens nothing and says nothing.
    Answer({QString()});
    EXPECT_EQ(OpenPackage(QString(), true), PackageOpening::Cancelled);
    ASSERT_EQ(m_turns.size(), 2u);
    EXPECT_EQ(m_turns[1].startFolder, QFileInfo(m_folder.path()).canonicalFilePath());
    EXPECT_TRUE(Explanations().empty());
}

TEST_F(ChooserTest, AFolderWithoutAPackageIsRefusedAndAskedAgain) {
    ASSERT_TRUE(m_chosen);
    QTemporaryDir empty;
    QTemporaryDir several;
    ASSERT_TRUE(MakePackage(several.path(), "One", "One.plist"));
    ASSERT_TRUE(MakePackage(several.path(), "Two", "Two.plist"));
    Answer({empty.path(), several.path(), m_folder.path()});
    EXPECT_EQ(OpenPackage(QString(), true), PackageOpening::Opened);
    EXPECT_EQ(m_turns.size(), 3u);
    const auto alerts = Explanations();
    ASSERT_EQ(alerts.size(), 2u);
    const QString emptyFolder = QFileInfo(empty.path()).canonicalFilePath();
    EXPECT_EQ(alerts[0], QStringLiteral("The settings file cannot be used:\n") + emptyFolder +
                             QStringLiteral("/Quenlo.plist\nThe file does not exist."));
    EXPECT_TRUE(alerts[1].contains(QFileInfo(several.path()).canonicalFilePath()));
    EXPECT_TRUE(alerts[1].endsWith(QString::fromLatin1(stringSettingsAmbiguous)));
    // A refused folder is not the one remembered.
    EXPECT_EQ(LastPackageFolder(), QFileInfo(m_folder.path()).canonicalFilePath());
    ExpectPageOneOf("Chosen Model");
}

TEST_F(ChooserTest, PackageOptionOpensWithoutAsking) {
    ASSERT_TRUE(m_chosen);
    Answer({});
    // A folder, or its settings file, even one not named after the program.
    ASSERT_TRUE(
        QFile::rename(m_folder.filePath("Quenlo.plist"), m_folder.filePath("Vendor.plist")));
    for (const QString& given : {m_folder.path(), m_folder.filePath("Vendor.plist")}) {
        SetMainBundleOverride(&m_installed);
        EXPECT_EQ(OpenPackage(given, true), PackageOpening::Opened) << given.toStdString();
        ExpectPageOneOf("Chosen Model");
        delete g_pMainWindow;
        FlushDeletes();
    }
    EXPECT_TRUE(m_turns.empty());
}

TEST_F(ChooserTest, PackageOptionRefusesAFolderWithoutAPackage) {
    Answer({});
    QTemporaryDir empty;
    for (const QString& given : {empty.path(), empty.filePath("missing")}) {
        SetMainBundleOverride(&m_installed);
        EXPECT_EQ(OpenPackage(given, true), PackageOpening::Refused) << given.toStdString();
        const auto alerts = Explanations();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_TRUE(alerts[0].endsWith(QString::fromLatin1(stringSettingsMissing)));
    }
    EXPECT_TRUE(m_turns.empty());
}

TEST_F(ChooserTest, ACopyBesideItsSettingsAsksNothing) {
    Answer({});
    m_package->WriteSettings(NetworkPackage());
    EXPECT_EQ(OpenPackage(QString(), true), PackageOpening::Beside);
    m_package->WriteFile("Quenlo.plist", "<plist><dict>");
    // Even a settings file that cannot be used is the copy's own: it is
    // reported once the window is open, as always.
    EXPECT_EQ(OpenPackage(QString(), true), PackageOpening::Beside);
    EXPECT_TRUE(m_turns.empty());
}

TEST_F(ChooserTest, NobodyToAskOpensEmpty) {
    Answer({});
    EXPECT_EQ(OpenPackage(QString(), false), PackageOpening::Empty);
    EXPECT_TRUE(m_turns.empty());
}

} // namespace

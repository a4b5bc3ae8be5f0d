// Every text the wizard shows comes from the string table, in every language
// shipped: each page, the finished state, every message, both dialogs, the
// menus, a field's editing menu and the package chooser are walked, and each
// visible text must be a translation of the language's table (plus the
// suffixes the program appends) or a value of the package or its printers.
#include "WizardFixture.h"
#include "status/PrinterStatus.h"
#include "wizard/AddIPAddress.h"
#include "wizard/PackageChooser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStyle>
#include <QTreeView>
#include <QXmlStreamReader>

#include <map>
#include <set>

namespace {

struct TableEntry {
    QString translation;
    bool finished = true;
};

// A shipped table as its translator wrote it: source -> translation.
std::map<QString, TableEntry> ReadTable(const QString& language) {
    std::map<QString, TableEntry> table;
    QFile file(QStringLiteral(QUENLO_RESOURCES_DIR "/StringTable_%1.ts").arg(language));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    QXmlStreamReader xml(&file);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            TableEntry entry;
            entry.finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            entry.translation = xml.readElementText();
            table[source] = entry;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return table;
}

QString WithoutMnemonic(QString text) {
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

const char* const kShippedLanguages[] = {"de", "fr"};

// Words a language writes as English does.
const std::map<QString, QStringList> kSameAsEnglish = {
    {QStringLiteral("de"),
     {QStringLiteral("USB"), QStringLiteral("Status"), QStringLiteral("OK"), QStringLiteral("Port"),
      QStringLiteral("Offline")}},
    {QStringLiteral("fr"), {QStringLiteral("USB"), QStringLiteral("OK"), QStringLiteral("Port")}},
};

class StringTableTest : public ::testing::TestWithParam<const char*> {};

TEST_P(StringTableTest, CompleteFinishedAndTranslated) {
    const QString language = QString::fromLatin1(GetParam());
    const auto table = ReadTable(language);
    // The German table's sources are the keys.
    const auto keys = ReadTable(QStringLiteral("de"));
    // The status names are keys too, shown by both printer lists.
    for (const auto& name : g_szStatus)
        EXPECT_TRUE(keys.count(QString::fromLatin1(name)))
            << "status name not in the table: " << name;
    for (const auto& [key, unused] : keys)
        EXPECT_TRUE(table.count(key)) << language.toStdString() << " lacks: " << key.toStdString();
    const QStringList same = kSameAsEnglish.at(language);
    for (const auto& [source, entry] : table) {
        EXPECT_TRUE(keys.count(source))
            << "only in " << language.toStdString() << ": " << source.toStdString();
        EXPECT_TRUE(entry.finished && !entry.translation.isEmpty()) << source.toStdString();
        if (!same.contains(source)) {
            EXPECT_NE(entry.translation, source)
                << language.toStdString() << " leaves it English: " << source.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, StringTableTest, ::testing::ValuesIn(kShippedLanguages));

// ---- the walk -------------------------------------------------------------

class ShownTextsTest : public WizardTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        m_language = QString::fromLatin1(GetParam());
        if (m_language != QLatin1String("en")) {
            ASSERT_TRUE(tb::InstallStringTable(m_language));
            for (const auto& [source, entry] : ReadTable(m_language))
                m_texts.insert(WithoutMnemonic(entry.translation));
        } else {
            for (const auto& [source, entry] : ReadTable(QStringLiteral("de")))
                m_texts.insert(WithoutMnemonic(source));
        }
    }

    // Collected texts, with where they were seen.
    void Add(const QString& text, const QString& where) {
        if (!text.isEmpty())
            m_shown.push_back({WithoutMnemonic(text), where});
    }

    void AddWidgetTexts(QWidget* top, const QString& where) {
        ASSERT_NE(top, nullptr);
        // Laid out as the user sees it, at the window's own size.
        tb::DispatchPendingEvents();
        Add(top->windowTitle(), where + QStringLiteral(" title"));
        for (QWidget* widget : top->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(top))
                continue;
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                Add(label->text(), where);
                const bool fits = label->wordWrap()
                                      ? label->heightForWidth(label->width()) <= label->height()
                                      : label->sizeHint().width() <= label->width();
                ExpectFits(fits, label->text(), where);
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                Add(button->text(), where);
                ExpectFits(button->sizeHint().width() <= button->width(), button->text(), where);
            } else if (auto* group = qobject_cast<QGroupBox*>(widget))
                Add(group->title(), where);
            else if (auto* edit = qobject_cast<QLineEdit*>(widget))
                Add(edit->text(), where);
            else if (auto* view = qobject_cast<QTreeView*>(widget))
                AddListTexts(view, where);
        }
        for (QMenuBar* bar : top->findChildren<QMenuBar*>())
            AddMenuTexts(bar->actions(), where + QStringLiteral(" menu"));
    }

    void AddListTexts(QTreeView* view, const QString& where) {
        QAbstractItemModel* model = view->model();
        QHeaderView* header = view->header();
        // A cell's text has the style's margins on both sides.
        const int margins =
            2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        const int headerMargins =
            2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int column = 0; column < model->columnCount(); ++column) {
            const QString heading = model->headerData(column, Qt::Horizontal).toString();
            Add(heading, where + " heading");
            if (!heading.isEmpty())
                ExpectFits(header->fontMetrics().horizontalAdvance(heading) + headerMargins <=
                               header->sectionSize(column),
                           heading, where + " heading");
            for (int row = 0; row < model->rowCount(); ++row) {
                const QString text = model->index(row, column).data().toString();
                Add(text, where + " cell");
                ExpectFits(view->fontMetrics().horizontalAdvance(text) + margins <=
                               view->columnWidth(column),
                           text, where + " cell");
            }
        }
    }

    // Only the package's and the printers' own values may be too long.
    void ExpectFits(bool fits, const QString& text, const QString& where) {
        EXPECT_TRUE(fits || m_data.count(text))
            << m_language.toStdString() << ", " << where.toStdString() << ": \""
            << text.toStdString() << "\" is cut";
    }

    void AddMenuTexts(const QList<QAction*>& actions, const QString& where) {
        for (QAction* action : actions) {
            Add(action->text(), where);
            if (action->menu() != nullptr)
                AddMenuTexts(action->menu()->actions(), where);
        }
    }

    void AddAlerts(const QString& where) {
        for (const auto& alert : tb::test::TakeAlerts()) {
            Add(alert.title, where + QStringLiteral(" alert"));
            for (const QString& line : alert.explanation.split(QLatin1Char('\n')))
                Add(line, where + QStringLiteral(" alert"));
            for (const QString& button : alert.buttonTexts)
                Add(button, where + QStringLiteral(" alert button"));
        }
    }

    // A text is the table's (with a suffix the program appends, or a value
    // appended to it), or a value of the package or its printers.
    bool FromTable(const QString& text) const {
        if (m_data.count(text))
            return true;
        for (const QString& t : m_texts) {
            if (!text.startsWith(t))
                continue;
            const QString rest = text.mid(t.size());
            if (rest.isEmpty() || rest == QLatin1String(":") || rest == QLatin1String("...") ||
                m_data.count(rest) ||
                QRegularExpression(QStringLiteral("^  \\d+%$")).match(rest).hasMatch())
                return true;
        }
        return false;
    }

    void ExpectAllFromTable() {
        EXPECT_GT(m_shown.size(), 50u);
        for (const auto& [text, where] : m_shown)
            EXPECT_TRUE(FromTable(text))
                << m_language.toStdString() << ", " << where.toStdString() << ": \""
                << text.toStdString() << "\" is not in the table";
    }

    QString m_language;
    std::set<QString> m_texts;
    std::set<QString> m_data;
    std::vector<std::pair<QString, QString>> m_shown;
};

TEST_P(ShownTextsTest, EveryShownTextIsTheTables) {
    // The package's values, the printers', the language pop-up's, the paths.
    m_data = {"Demo MFP 100", "DMFP100", "orchid", "Demo MFP 100 Update", "a.bin",
              "b.bin",        "3000",    "1234",   "2026-11-02",          "2026-11-20"};
    m_data.insert({"198.18.0.10", "PRN-A", "V1.02", "U0001", "."});
    m_data.insert({"English", "Deutsch", "Français", "Español", "Italiano"});
    m_data.insert({m_package->Path("Quenlo.plist"), m_package->Dir()});
    CarbonApp app; // the menu bar
    Open(NetworkPackage());

    // One network printer per status a list can show, and a USB printer.
    m_Settings.nNetworkCount = int(kFirstHiddenStatus);
    for (unsigned code = 0; code < kFirstHiddenStatus; ++code) {
        NETWORK_LIST_DATA& row = m_Settings.NetworkListdata[code];
        row.szIPv4Address = QStringLiteral("198.18.0.10");
        row.szPrinterName = QStringLiteral("PRN-A");
        row.szPrinterFW = QStringLiteral("V1.02");
        row.szStatus = QString::fromLatin1(StatusNameForCode(code));
        const tb::ItemID item = code + 1;
        tb::AddListItems(C(controlNetworkListView), 1, &item);
    }
    g_pMainWindow->AddUSBSerialNumber("U0001", "PRN-A", "V1.02", StatusNameForCode(2));

    for (int page = 1; page <= kPageCount; ++page) {
        g_pMainWindow->ShowPage(page);
        AddWidgetTexts(tb::NativeWidget(Window()), QStringLiteral("page %1").arg(page));
    }

    // A field's editing menu.
    QWidget* community = tb::NativeWidget(C(controlNetworkEditCommunity));
    g_pMainWindow->ShowPage(3);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2),
                                community->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(community, &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    AddMenuTexts(menu->actions(), QStringLiteral("editing menu"));
    menu->close();

    // Every message, and the settings alerts.
    for (int code = 0; code <= 7; ++code)
        g_pMainWindow->ShowMessage(code, QStringLiteral("198.18.0.10"));
    for (SettingsProblem problem :
         {SettingsProblem::Missing, SettingsProblem::Unreadable, SettingsProblem::Corrupt,
          SettingsProblem::TooLarge, SettingsProblem::TooDeep, SettingsProblem::TooManyValues,
          SettingsProblem::Ambiguous}) {
        QString title;
        QString text;
        ASSERT_TRUE(MainWindow::SettingsProblemAlert(problem, m_package->Dir(), &title, &text));
        g_pMainWindow->StandardCautionAlert(title, text);
    }
    AddAlerts(QStringLiteral("messages"));

    // The two dialogs.
    tb::SendCommand(Window(), kCommandAddAddress);
    ASSERT_NE(g_pMainWindow->AddIPDialog(), nullptr);
    AddWidgetTexts(tb::NativeWidget(g_pMainWindow->AddIPDialog()->GetWindowRef()),
                   QStringLiteral("Add IP Address"));
    {
        CProgressDlg progress(g_pMainWindow);
        progress.ShowDialog(Window(), QStringLiteral("PRN-A"));
        progress.SetProgressValue(37);
        AddWidgetTexts(tb::NativeWidget(progress.GetWindowRef()), QStringLiteral("progress"));
        progress.DestroyWindow();
    }

    // The finished state of both printer pages.
    g_pMainWindow->FinishedContorl();
    for (int page : {3, 4}) {
        g_pMainWindow->ShowPage(page);
        AddWidgetTexts(tb::NativeWidget(Window()), QStringLiteral("finished page %1").arg(page));
    }
    delete g_pMainWindow;
    FlushDeletes();

    // The package chooser of a program with no settings beside it.
    ASSERT_TRUE(QFile::remove(m_package->Path("Quenlo.plist")));
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (chooser == nullptr && ++tries < 500)
            return;
        poll.stop();
        ASSERT_NE(chooser, nullptr);
        Add(chooser->windowTitle(), QStringLiteral("chooser title"));
        for (auto label : {QFileDialog::LookIn, QFileDialog::FileName, QFileDialog::FileType,
                           QFileDialog::Accept, QFileDialog::Reject})
            Add(chooser->labelText(label), QStringLiteral("chooser"));
        chooser->reject();
    });
    poll.start(10);
    EXPECT_EQ(OpenPackage(QString(), true), PackageOpening::Cancelled);

    ExpectAllFromTable();
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, ShownTextsTest, ::testing::Values("en", "de", "fr"));

} // namespace

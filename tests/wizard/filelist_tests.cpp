// The firmware file list on page 1 and its one-selection rule.
#include "WizardFixture.h"

#include <QAbstractItemView>

namespace {

std::map<std::string, TestPackage::Section> ThreeFiles() {
    auto settings = NetworkPackage();
    settings["General"]["FwCount"] = "3";
    settings["Fw2"] = {{"FileName", "c.bin"}}; // no release date
    return settings;
}

class FileListTest : public WizardTest {
protected:
    QAbstractItemView* View() {
        return qobject_cast<QAbstractItemView*>(tb::NativeWidget(C(controlBinFileListView)));
    }
    QString Cell(tb::ItemID item, uint32_t property) {
        return tb::GetListCellText(C(controlBinFileListView), item, property);
    }
    // Every row's file name, size and date.
    std::vector<std::vector<QString>> Rows() {
        std::vector<std::vector<QString>> rows;
        for (tb::ItemID item = 1; item <= tb::GetListItemCount(C(controlBinFileListView)); ++item)
            rows.push_back(
                {Cell(item, kColumnFile), Cell(item, kColumnSize), Cell(item, kColumnDate)});
        return rows;
    }
    void ClickRow(int row) {
        QAbstractItemView* view = View();
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        ASSERT_TRUE(rect.isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void ClickBelowTheRows() {
        QAbstractItemView* view = View();
        const QPoint below(10, view->viewport()->height() - 3);
        ASSERT_FALSE(view->indexAt(below).isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, below);
    }
    tb::ItemID Selected() {
        tb::ItemID first = 0, last = 0;
        tb::GetListSelectionAnchor(C(controlBinFileListView), &first, &last);
        EXPECT_EQ(first, last) << "exactly one file stays selected";
        return first;
    }
};

TEST_F(FileListTest, RowsInSectionOrderWithSizesAndDates) {
    m_package->WriteFile("c.bin", QByteArray(7, 'c'));
    Open(ThreeFiles());
    EXPECT_EQ(Rows(), (std::vector<std::vector<QString>>{{"a.bin", "3000", "2026-11-02"},
                                                         {"b.bin", "1234", "2026-11-20"},
                                                         {"c.bin", "7", ""}}));
    // What the view itself shows.
    QAbstractItemModel* model = View()->model();
    EXPECT_EQ(model->data(model->index(1, 1)).toString(), QStringLiteral("1234"));
    EXPECT_EQ(Selected(), 1u);
    EXPECT_EQ(m_Settings.nBinfileIndex, 0);
}

TEST_F(FileListTest, ClickSelectsAndAnEmptyClickKeepsTheFile) {
    Open(ThreeFiles());
    ClickRow(2);
    EXPECT_EQ(m_Settings.nBinfileIndex, 2);
    EXPECT_EQ(Selected(), 3u);
    ClickBelowTheRows();
    EXPECT_EQ(m_Settings.nBinfileIndex, 2);
    EXPECT_EQ(Selected(), 3u);
    ClickRow(0);
    EXPECT_EQ(m_Settings.nBinfileIndex, 0);
}

TEST_F(FileListTest, SeveralOrNoSelectedFilesFallBackToTheRecordedOne) {
    Open(ThreeFiles());
    ClickRow(1);
    tb::Control* list = C(controlBinFileListView);
    const tb::ItemID two[] = {1, 3};
    tb::SetListSelectedItems(list, 2, two);
    tb::SendCommand(Window(), kCommandBinFileList);
    EXPECT_EQ(m_Settings.nBinfileIndex, 1);
    EXPECT_EQ(Selected(), 2u);
    tb::SetListSelectedItems(list, 0, nullptr);
    tb::SendCommand(Window(), kCommandBinFileList);
    EXPECT_EQ(Selected(), 2u);
}

// A negative count is no files too.
TEST_F(FileListTest, NoFilesNoRowsAndClicksChangeNothing) {
    for (const char* count : {"0", "-3"}) {
        SCOPED_TRACE(count);
        auto settings = NetworkPackage();
        settings["General"]["FwCount"] = count;
        Open(settings);
        EXPECT_EQ(tb::GetListItemCount(C(controlBinFileListView)), 0u);
        ClickBelowTheRows();
        tb::SendCommand(Window(), kCommandBinFileList);
        EXPECT_EQ(m_Settings.nBinfileIndex, 0);
        EXPECT_EQ(Selected(), 0u);
        EXPECT_EQ(MainWindow::BinFileListDataBrowserItemDataCallback(nullptr, 1, kColumnFile,
                                                                     nullptr, false),
                  tb::kNoErr);
        delete g_pMainWindow;
        FlushDeletes();
    }
}

TEST_F(FileListTest, MissingSectionAndMissingFile) {
    auto settings = NetworkPackage();
    settings.erase("Fw1");
    settings["Fw0"]["FileName"] = "not-there.bin";
    Open(settings);
    EXPECT_EQ(Rows(), (std::vector<std::vector<QString>>{{"not-there.bin", "0", "2026-11-02"},
                                                         {"", "", ""}}));
}

TEST_F(FileListTest, CallbackRefusesEditsAndUnknownColumnsAndClampsItems) {
    Open(ThreeFiles());
    tb::Control* list = C(controlBinFileListView);
    EXPECT_EQ(
        MainWindow::BinFileListDataBrowserItemDataCallback(list, 1, kColumnFile, nullptr, true),
        tb::kPropertyNotSupported);
    EXPECT_EQ(Cell(1, kColumnStatus), QString());
    EXPECT_EQ(
        MainWindow::BinFileListDataBrowserItemDataCallback(list, 1, kColumnStatus, nullptr, false),
        tb::kPropertyNotSupported);
    EXPECT_EQ(Cell(0, kColumnFile), QStringLiteral("a.bin"));
    EXPECT_EQ(Cell(4000000000u, kColumnFile), QStringLiteral("c.bin"));
}

} // namespace

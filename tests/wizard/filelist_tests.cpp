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
    tb::Control* list = C(controlBinFileListView);
    ASSERT_EQ(tb::GetListItemCount(list), 3u);
    EXPECT_EQ(Cell(1, kColumnFile), QStringLiteral("a.bin"));
    EXPECT_EQ(Cell(1, kColumnSize), QStringLiteral("3000"));
    EXPECT_EQ(Cell(1, kColumnDate), QStringLiteral("2026-11-02"));
    EXPECT_EQ(Cell(2, kColumnFile), QStringLiteral("b.bin"));
    EXPECT_EQ(Cell(2, kColumnSize), QStringLiteral("1234"));
    EXPECT_EQ(Cell(3, kColumnFile), QStringLiteral("c.bin"));
    EXPECT_EQ(Cell(3, kColumnSize), QStringLiteral("7"));
    EXPECT_TRUE(Cell(3, kColumnDate).isEmpty());
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

TEST_F(FileListTest, NoFilesNoRowsAndClicksChangeNothing) {
    auto settings = NetworkPackage();
    settings["General"]["FwCount"] = "0";
    Open(settings);
    EXPECT_EQ(tb::GetListItemCount(C(controlBinFileListView)), 0u);
    ClickBelowTheRows();
    tb::SendCommand(Window(), kCommandBinFileList);
    EXPECT_EQ(m_Settings.nBinfileIndex, 0);
    EXPECT_EQ(Selected(), 0u);
}

TEST_F(FileListTest, NegativeCountIsNoFiles) {
    auto settings = NetworkPackage();
    settings["General"]["FwCount"] = "-3";
    Open(settings);
    EXPECT_EQ(tb::GetListItemCount(C(controlBinFileListView)), 0u);
    EXPECT_EQ(
        MainWindow::BinFileListDataBrowserItemDataCallback(nullptr, 1, kColumnFile, nullptr, false),
        tb::kNoErr);
}

TEST_F(FileListTest, MissingSectionAndMissingFile) {
    auto settings = NetworkPackage();
    settings.erase("Fw1");
    settings["Fw0"]["FileName"] = "not-there.bin";
    Open(settings);
    ASSERT_EQ(tb::GetListItemCount(C(controlBinFileListView)), 2u);
    EXPECT_EQ(Cell(1, kColumnFile), QStringLiteral("not-there.bin"));
    EXPECT_EQ(Cell(1, kColumnSize), QStringLiteral("0"));
    EXPECT_TRUE(Cell(2, kColumnFile).isEmpty());
    EXPECT_TRUE(Cell(2, kColumnSize).isEmpty());
    EXPECT_TRUE(Cell(2, kColumnDate).isEmpty());
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

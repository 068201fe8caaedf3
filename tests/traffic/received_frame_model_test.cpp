#include "traffic/received_frame_model.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <algorithm>
#include <set>

#include "tests/support/qt_application.h"

VELQOR_QT_TEST_APPLICATION(QApplication);

namespace velqor {
namespace {

using Model = ReceivedFrameModel;

CanFrame Frame(std::uint32_t id, std::uint8_t dlc, std::initializer_list<std::uint8_t> data = {},
               std::uint8_t ide = 0) {
  CanFrame f;
  f.id = id;
  f.ide = ide;
  f.dlc = dlc;
  std::copy(data.begin(), data.end(), f.data.begin());
  return f;
}

class ReceivedFrameModelTest : public ::testing::Test {
 protected:
  QTime now{14, 3, 9, 47};
  Model model{[this] { return now; }};

  QStringList column(int c) const {
    QStringList texts;
    for (int r = 0; r < model.heldRowCount(); ++r) texts << model.text(r, c);
    return texts;
  }
};

TEST_F(ReceivedFrameModelTest, OneRowPerIdentifierTextShowingTheLatestFrame) {
  model.ShowReceivedFrame(Frame(0x100, 1, {1}, 0), Model::kHex);
  model.ShowReceivedFrame(Frame(0x200, 1, {2}), Model::kHex);
  now = QTime(14, 3, 10, 990);
  model.ShowReceivedFrame(Frame(0x100, 2, {3, 4}, 1), Model::kHex);
  ASSERT_EQ(model.heldRowCount(), 2);
  EXPECT_EQ(column(Model::kId), (QStringList{"100", "200"}));
  EXPECT_EQ(model.text(0, Model::kIde), "1");  // ide is not part of the key
  EXPECT_EQ(model.text(0, Model::kDlc), "2");
  EXPECT_EQ(model.text(0, Model::kData), "03  04");
  EXPECT_EQ(model.text(0, Model::kTime), "14:03:10.99");
  EXPECT_EQ(model.text(1, Model::kTime), "14:03:09.04");
}

struct TextCase {
  const char* name;
  CanFrame frame;
  int format;
  const char* id;
  const char* dlc;
  const char* data;
};

class RowTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(RowTextTest, FormatsTheRow) {
  Model model([] { return QTime(9, 5, 3, 70); });
  model.ShowReceivedFrame(GetParam().frame, GetParam().format);
  ASSERT_EQ(model.heldRowCount(), 1);
  EXPECT_EQ(model.text(0, Model::kTime), "09:05:03.07");
  EXPECT_EQ(model.text(0, Model::kId), QString::fromLatin1(GetParam().id));
  EXPECT_EQ(model.text(0, Model::kDlc), QString::fromLatin1(GetParam().dlc));
  EXPECT_EQ(model.text(0, Model::kData), QString::fromLatin1(GetParam().data));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RowTextTest,
    ::testing::Values(
        TextCase{"Hex3", Frame(0x1A5, 3, {10, 255, 1}), Model::kHex, "1a5", "3", "0A  FF  01"},
        TextCase{"Dec3", Frame(0x1A5, 3, {10, 255, 1}), Model::kDec, "1a5", "3", " 10  255    1"},
        TextCase{"Dec1EndsInTwoBlanks", Frame(1, 1, {7}), Model::kDec, "1", "1", "  7  "},
        TextCase{"Hex1", Frame(1, 1, {7}), Model::kHex, "1", "1", "07"},
        TextCase{"AnyOtherFormatIndexIsDecimal", Frame(1, 2, {5, 200}), -1, "1", "2", "  5  200"},
        TextCase{"Dlc0", Frame(0, 0, {1, 2}), Model::kHex, "0", "0", ""},
        TextCase{"DlcAbove8ShowsAs0", Frame(0x7FF, 12, {1, 2, 3}), Model::kHex, "7ff", "0", ""},
        TextCase{"Dlc9ShowsAs0", Frame(0x7FF, 9, {1}), Model::kDec, "7ff", "0", ""},
        TextCase{"Extended8", Frame(0x18DA10F1, 8, {0, 1, 0x10, 0xAB, 0xCD, 0xEF, 0x7F, 0x80}),
                 Model::kHex, "18da10f1", "8", "00  01  10  AB  CD  EF  7F  80"},
        TextCase{"AllIdBits", Frame(0xFFFFFFFF, 0), Model::kHex, "ffffffff", "0", ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ReceivedFrameModelTest, AChangeOfFormatShowsOnlyWithTheIdentifiersNextFrame) {
  model.ShowReceivedFrame(Frame(1, 1, {10}), Model::kHex);
  model.ShowReceivedFrame(Frame(2, 1, {10}), Model::kHex);
  model.ShowReceivedFrame(Frame(2, 1, {10}), Model::kDec);
  EXPECT_EQ(model.text(0, Model::kData), "0A");
  EXPECT_EQ(model.text(1, Model::kData), " 10  ");
}

TEST_F(ReceivedFrameModelTest, ClearEmptiesTheListAndTheNextFrameIsTheFirstRow) {
  model.ShowReceivedFrame(Frame(1, 0), Model::kHex);
  model.ShowReceivedFrame(Frame(2, 0), Model::kHex);
  model.ListViewColumnClick(Model::kId);
  model.Clear();
  EXPECT_EQ(model.heldRowCount(), 0);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.SortColumn(), Model::kId);  // Clear keeps the sort column
  model.ShowReceivedFrame(Frame(2, 0), Model::kHex);
  model.flush();
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.text(0, Model::kId), "2");
}

struct CompareCase {
  const char* a;
  const char* b;
  int result;
};

class CompareAsNumbersTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareAsNumbersTest, ComparesDecimalReadings) {
  EXPECT_EQ(
      Model::CompareAsNumbers(QString::fromLatin1(GetParam().a), QString::fromLatin1(GetParam().b)),
      GetParam().result)
      << GetParam().a << " vs " << GetParam().b;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CompareAsNumbersTest,
    ::testing::Values(CompareCase{"20", "100", -1}, CompareCase{"100", "20", 1},
                      CompareCase{"120", "99", 1}, CompareCase{"1e3", "999", 1},
                      CompareCase{"1e3", "1000", 0}, CompareCase{"010", "10", 0},
                      CompareCase{"-1", "1", -1}, CompareCase{"+2", "1.5", 1},
                      CompareCase{"1.", "2", -1}, CompareCase{"2E+1", "19", 1},
                      // not decimal numbers: equal to everything
                      CompareCase{"7ff", "1", 0}, CompareCase{"1", "1a5", 0},
                      CompareCase{"", "1", 0}, CompareCase{" 1", "2", 0}, CompareCase{"1 ", "2", 0},
                      CompareCase{"0x10", "1", 0}, CompareCase{"0x1p3", "1", 0},
                      CompareCase{"inf", "1", 0}, CompareCase{"nan", "1", 0},
                      CompareCase{"1e", "5", 0}, CompareCase{".5", "1", 0},
                      CompareCase{"1e999999", "1", 0}, CompareCase{"1,5", "1", 0}));

TEST_F(ReceivedFrameModelTest, SortByIdentifierOrdersTheValuesNotTheTextsReadAsDecimal) {
  for (std::uint32_t id : {0x100u, 0xC0u, 0x99u, 0x18DA10F1u, 0x7FFu, 0x1A5u, 0x20u, 0xCF00400u})
    model.ShowReceivedFrame(Frame(id, 0, {}, id > 0x7FF ? 1 : 0), Model::kHex);
  model.ListViewColumnClick(Model::kId);
  EXPECT_EQ(column(Model::kId),
            (QStringList{"20", "99", "c0", "100", "1a5", "7ff", "cf00400", "18da10f1"}));
}

TEST_F(ReceivedFrameModelTest, SortByIdentifierAscendsAtEveryClickAndLaterRowsAreAppended) {
  model.ShowReceivedFrame(Frame(0x100, 0), Model::kHex);
  model.ShowReceivedFrame(Frame(0x20, 0), Model::kHex);
  model.ShowReceivedFrame(Frame(0x1000, 0), Model::kHex);
  model.ListViewColumnClick(Model::kId);
  EXPECT_EQ(model.SortColumn(), Model::kId);
  EXPECT_EQ(column(Model::kId), (QStringList{"20", "100", "1000"}));
  // A second click sorts ascending again; no toggle.
  model.ListViewColumnClick(Model::kId);
  EXPECT_EQ(column(Model::kId), (QStringList{"20", "100", "1000"}));
  // Rows after the sort are appended, and the index still finds the moved rows.
  model.ShowReceivedFrame(Frame(0x10, 0), Model::kHex);
  model.ShowReceivedFrame(Frame(0x100, 3, {1, 2, 3}), Model::kHex);
  EXPECT_EQ(column(Model::kId), (QStringList{"20", "100", "1000", "10"}));
  EXPECT_EQ(model.text(1, Model::kData), "01  02  03");
}

TEST_F(ReceivedFrameModelTest, SortWithTextsThatAreNotNumbersKeepsEveryRow) {
  model.ShowReceivedFrame(Frame(0x100, 0), Model::kHex);
  model.ShowReceivedFrame(Frame(0x7FF, 0), Model::kHex);
  model.ShowReceivedFrame(Frame(0x20, 0), Model::kHex);
  model.ListViewColumnClick(Model::kId);
  QStringList ids = column(Model::kId);
  EXPECT_EQ(std::set<QString>(ids.begin(), ids.end()), (std::set<QString>{"100", "7ff", "20"}));

  // Many identifiers, most of them not decimal numbers: the comparison is no ordering, the
  // sort still ends with every row once and the index in step.
  Model big([] { return QTime(1, 2, 3); });
  for (std::uint32_t i = 0; i < 3000; ++i)
    big.ShowReceivedFrame(Frame(i * 7919u % 4096u, 0), Model::kHex);
  const int rows = big.heldRowCount();
  big.ListViewColumnClick(Model::kId);
  ASSERT_EQ(big.heldRowCount(), rows);
  std::set<QString> seen;
  for (int r = 0; r < rows; ++r) seen.insert(big.text(r, Model::kId));
  EXPECT_EQ(static_cast<int>(seen.size()), rows);
  big.ShowReceivedFrame(Frame(0xabc, 1, {9}), Model::kHex);
  EXPECT_EQ(big.heldRowCount(), rows);
}

TEST_F(ReceivedFrameModelTest, SortByTimeIsTextOrderAndByDlcOrDataChangesNothing) {
  now = QTime(10, 0, 0, 500);
  model.ShowReceivedFrame(Frame(1, 8, {9}), Model::kHex);
  now = QTime(9, 0, 0);
  model.ShowReceivedFrame(Frame(2, 1, {1}), Model::kHex);
  now = QTime(11, 0, 0);
  model.ShowReceivedFrame(Frame(3, 4, {5}), Model::kHex);
  model.ListViewColumnClick(Model::kDlc);
  EXPECT_EQ(column(Model::kId), (QStringList{"1", "2", "3"}));
  model.ListViewColumnClick(Model::kData);
  EXPECT_EQ(column(Model::kId), (QStringList{"1", "2", "3"}));
  model.ListViewColumnClick(Model::kTime);
  EXPECT_EQ(column(Model::kId), (QStringList{"2", "1", "3"}));
}

TEST_F(ReceivedFrameModelTest, SortByIdeOrdersTheFlags) {
  model.ShowReceivedFrame(Frame(1, 0, {}, 1), Model::kHex);
  model.ShowReceivedFrame(Frame(2, 0, {}, 0), Model::kHex);
  model.ListViewColumnClick(Model::kIde);
  EXPECT_EQ(column(Model::kId), (QStringList{"2", "1"}));
}

TEST_F(ReceivedFrameModelTest, ViewLearnsOfChangesInBatchesNotPerFrame) {
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  for (std::uint32_t i = 0; i < 100; ++i) model.ShowReceivedFrame(Frame(i, 0), Model::kHex);
  EXPECT_EQ(model.rowCount(), 0);  // nothing shown before the repaint
  EXPECT_TRUE(model.hasPendingChanges());
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !model.hasPendingChanges(); }));
  EXPECT_EQ(model.rowCount(), 100);
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted.at(0).at(1).toInt(), 0);
  EXPECT_EQ(inserted.at(0).at(2).toInt(), 99);

  // Updates of rows 10 and 40 and a new row: one dataChanged over 10..40, one insert.
  for (int k = 0; k < 50; ++k) {
    model.ShowReceivedFrame(Frame(40, 1, {static_cast<std::uint8_t>(k)}), Model::kHex);
    model.ShowReceivedFrame(Frame(10, 0), Model::kHex);
  }
  model.ShowReceivedFrame(Frame(1000, 0), Model::kHex);
  model.flush();
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 10);
  EXPECT_EQ(changed.at(0).at(1).toModelIndex().row(), 40);
  EXPECT_EQ(inserted.count(), 2);
  EXPECT_EQ(model.data(model.index(40, Model::kData)).toString(), "31");
  EXPECT_EQ(reset.count(), 0);
  model.flush();  // nothing pending: no further signal
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(inserted.count(), 2);
}

TEST_F(ReceivedFrameModelTest, HeaderCaptionsAndWidths) {
  const struct {
    const char* caption;
    int width;
  } columns[] = {{"Time", 90}, {"ide", 40}, {"ID(hex)", 70}, {"DLC", 50}, {"Data", 300}};
  ASSERT_EQ(model.columnCount(), 5);
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), columns[c].caption);
    EXPECT_EQ(Model::columnWidth(c), columns[c].width);
  }
}

}  // namespace
}  // namespace velqor

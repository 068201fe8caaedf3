// The conversion window from the "&Tools" menu: an old data log of the program written again
// as a candump log, and a log that does not read said with its file and line.

#include "traffic/convert_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "canlog/log_reader.h"
#include "tests/app/simulated_window.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

class ConvertWindowTest : public test::SimulatedWindowTest {
 protected:
  void SetUp() override {
    startAdapter(true);
    openWindow();
    window->findChild<QAction*>(QStringLiteral("Convert1"))->trigger();
    convert = window->convertWindow();
    ASSERT_NE(convert, nullptr);
    ASSERT_TRUE(convert->isVisible());
    // Shown again without being painted: Qt draws on threads of its own that ThreadSanitizer
    // cannot follow (see tests/terminal).
    convert->hide();
    convert->setAttribute(Qt::WA_DontShowOnScreen);
    convert->setUpdatesEnabled(false);
    convert->show();
  }
  std::string path(const char* name) {
    return folder.filePath(QString::fromLatin1(name)).toStdString();
  }
  void run(const std::string& in, const std::string& out) {
    convert->findChild<QLineEdit*>(QStringLiteral("EditConvertIn"))
        ->setText(QString::fromStdString(in));
    convert->findChild<QLineEdit*>(QStringLiteral("EditConvertOut"))
        ->setText(QString::fromStdString(out));
    convert->findChild<QPushButton*>(QStringLiteral("BtnConvertStart"))->click();
    ASSERT_TRUE(convert->Running());
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !convert->Running(); }));
  }
  QString status() {
    return convert->findChild<QLabel*>(QStringLiteral("LabConvertStatus"))->text();
  }

  ConvertWindow* convert = nullptr;
};

TEST_F(ConvertWindowTest, AnOldDataLogBecomesACandumpLogAndABadLogSaysWhere) {
  const std::string head =
      "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7], \n";
  testing::writeFile(path("261207CAN001.txt"),
                     head +
                         " 65000\t,0\t,123\t,2\t,11\t, 22\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n"
                         " 100\t,1\t,18ff1234\t,1\t,01\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, "
                         "00\t \n");
  run(path("261207CAN001.txt"), path("old.log"));
  EXPECT_TRUE(status().startsWith(QStringLiteral("Done: 2 frames written")))
      << status().toStdString();
  EXPECT_TRUE(status().contains(QStringLiteral("carries no date"))) << "the reader's note is shown";
  auto reader = OpenLogReader(path("old.log"), LogFormat::Candump);
  CanFrame a, b, end;
  ASSERT_TRUE(reader->Next(a) && reader->Next(b));
  EXPECT_FALSE(reader->Next(end));
  EXPECT_EQ(a.id, 0x123u);
  EXPECT_EQ(b.id, 0x18FF1234u);
  EXPECT_EQ(b.time.wallUs - a.time.wallUs, 636000) << "the counter went round once";

  testing::writeFile(path("bad.log"), "(1.000000) can0 123#01\nhello\n");
  run(path("bad.log"), path("bad.asc"));
  EXPECT_TRUE(status().startsWith(QString::fromStdString(path("bad.log") + ":2: ")))
      << status().toStdString();
  EXPECT_FALSE(std::filesystem::exists(path("bad.asc")));
}

}  // namespace
}  // namespace velqor

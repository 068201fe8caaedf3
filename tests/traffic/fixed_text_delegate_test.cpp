// The received-frame list painted by FixedTextDelegate looks exactly as QStyledItemDelegate
// paints it: the same pixels for HEX and DEC rows, a selected row, the focused cell and a
// column too narrow for its texts.

#include "traffic/fixed_text_delegate.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QItemSelectionModel>
#include <QTableView>

#include "traffic/receive_page.h"
#include "widgets/radio_group.h"

namespace velqor {
namespace {

QImage Paint(bool fixedText) {
  ReceivePage page([] { return QTime(14, 3, 9, 47); });
  if (!fixedText) page.ListView()->setItemDelegate(new QStyledItemDelegate(page.ListView()));
  page.resize(595, 420);
  for (std::uint32_t i = 0; i < 24; ++i) {
    CanFrame f;
    f.ide = i % 3 == 0;
    f.id = i * 0x11 + (f.ide ? 0x18DA0000u : 0);
    f.dlc = static_cast<std::uint8_t>(i % 10);
    for (std::size_t k = 0; k < 8; ++k) f.data[k] = static_cast<std::uint8_t>(i * 37 + k * 11);
    if (i == 12) page.RxDispFormat()->setItemIndex(1);
    page.ShowReceivedFrame(f);
  }
  page.model()->flush();
  page.ListView()->setColumnWidth(2, 30);  // "18da0000" no longer fits: elided
  page.ListView()->selectRow(5);
  page.ListView()->selectionModel()->setCurrentIndex(page.model()->index(7, 4),
                                                     QItemSelectionModel::NoUpdate);
  page.show();
  page.activateWindow();
  page.ListView()->setFocus();  // the current cell shows its focus frame
  QApplication::processEvents();
  return page.ListView()->grab().toImage();
}

TEST(FixedTextDelegate, PaintsTheListAsTheStyledDelegateDoes) {
  const QImage styled = Paint(false);
  const QImage fixed = Paint(true);
  ASSERT_FALSE(styled.isNull());
  EXPECT_EQ(fixed, styled);
}

}  // namespace
}  // namespace velqor

#pragma once
// The "Receive" page: the received-frame list `ListView`, the data format choice
// `RxDispFormat` ("HEX"/"DEC") and `BtnClear`. The page is a frame consumer: every received
// frame handed to it goes into the list (ShowReceivedFrame) in the format RxDispFormat
// selects at that moment.
//
// It also counts, per identifier, the frames received and sent and the intervals between the
// received ones (IdStatistics), shown in the list's optional columns Count, Cycle, Mean and
// Tx: hidden at first, so that the list shows its five columns as it always did, and shown or
// hidden from the context menu of the list's header. "Clear" clears the counts with the rows.
// To count the frames this program sent, register the page for ReceivedAndSent: sent frames
// only count, they never become rows of the list.

#include <QWidget>
#include <span>

#include "link/frame_consumer.h"
#include "trace/id_statistics.h"
#include "trace/trace_settings.h"
#include "traffic/received_frame_model.h"

class QMenu;
class QPushButton;
class QTableView;

namespace velqor {

class RadioGroup;

class ReceivePage : public QWidget, public FrameConsumer {
  Q_OBJECT

 public:
  explicit ReceivePage(ReceivedFrameModel::Clock clock = {}, QWidget* parent = nullptr);

  // FrameConsumer: every received frame into the list, in order; every frame into the counts.
  void OnFrames(std::span<const CanFrame> frames) override;
  // One frame into the list in the format RxDispFormat selects.
  void ShowReceivedFrame(const CanFrame& frame) { OnFrames({&frame, 1}); }

  ReceivedFrameModel* model() const { return m_model; }
  QTableView* ListView() const { return m_listView; }
  RadioGroup* RxDispFormat() const { return m_rxDispFormat; }
  QPushButton* BtnClear() const { return m_btnClear; }

  const IdStatistics& statistics() const { return m_stats; }
  // Which optional columns show (the settings file keeps the choice).
  ReceiveColumnSettings statisticsColumns() const;
  void setStatisticsColumns(const ReceiveColumnSettings& columns);
  // The header's context menu, built as it is shown; for tests.
  QMenu* columnMenu() const { return m_columnMenu; }

 private:
  IdStatistics m_stats;
  ReceivedFrameModel* m_model;
  QMenu* m_columnMenu;
  QTableView* m_listView;
  RadioGroup* m_rxDispFormat;
  QPushButton* m_btnClear;
};

}  // namespace velqor

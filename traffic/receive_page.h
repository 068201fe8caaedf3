#pragma once
// The "Receive" page: the received-frame list `ListView`, the data format choice
// `RxDispFormat` ("HEX"/"DEC") and `BtnClear`. The page is a frame consumer: every received
// frame handed to it goes into the list (ShowReceivedFrame) in the format RxDispFormat
// selects at that moment.

#include <QWidget>
#include <span>

#include "link/frame_consumer.h"
#include "traffic/received_frame_model.h"

class QPushButton;
class QTableView;

namespace velqor {

class RadioGroup;

class ReceivePage : public QWidget, public FrameConsumer {
  Q_OBJECT

 public:
  explicit ReceivePage(ReceivedFrameModel::Clock clock = {}, QWidget* parent = nullptr);

  // FrameConsumer: every frame into the list, in order.
  void OnFrames(std::span<const CanFrame> frames) override;
  // One frame into the list in the format RxDispFormat selects.
  void ShowReceivedFrame(const CanFrame& frame) { OnFrames({&frame, 1}); }

  ReceivedFrameModel* model() const { return m_model; }
  QTableView* ListView() const { return m_listView; }
  RadioGroup* RxDispFormat() const { return m_rxDispFormat; }
  QPushButton* BtnClear() const { return m_btnClear; }

 private:
  ReceivedFrameModel* m_model;
  QTableView* m_listView;
  RadioGroup* m_rxDispFormat;
  QPushButton* m_btnClear;
};

}  // namespace velqor

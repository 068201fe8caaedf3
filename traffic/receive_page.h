#pragma once
// The "Receive" page: the received-frame list `ListView`, the data format choice
// `RxDispFormat` ("HEX"/"DEC") and `BtnClear`.

#include <QWidget>

#include "traffic/received_frame_model.h"
#include "traffic/rx_frame.h"

class QPushButton;
class QTableView;

namespace velqor {

class RadioGroup;

class ReceivePage : public QWidget {
  Q_OBJECT

 public:
  explicit ReceivePage(ReceivedFrameModel::Clock clock = {}, QWidget* parent = nullptr);

  // Shows `frame` (LastRxFrame) in the list in the format RxDispFormat selects.
  void ShowReceivedFrame(const RxFrame& frame);

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

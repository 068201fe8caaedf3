#pragma once
// "Mailbox from signals": fills a transmit mailbox row of the "TxSet" page from the signal
// values of a DBC message. The user picks the mailbox and the message and enters the values
// (a number, or one of the signal's value-table texts, which the value boxes offer); the
// encoded bytes show as they would go out, and "Fill mailbox" writes the row's identifier,
// ide, DLC and data text. A signal left empty takes its start value. For a multiplexed message
// only the signals the multiplexor's value selects can be given.
//
// Opened on a row that holds a message of the loaded files, the dialog starts from that
// message and the values its data bytes hold.

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "sigmon/mailbox_signals.h"
#include "signals/frame_decoder.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velqor {

class MailboxSignalsDialog : public QDialog {
  Q_OBJECT

 public:
  // `rowText` reads mailbox row n (1..8) as it stands; `row` is the row to start with.
  MailboxSignalsDialog(std::shared_ptr<const dbc::FrameDecoder> decoder,
                       std::function<TxRowText(int row)> rowText, int row,
                       QWidget* parent = nullptr);

  // The mailbox (1..8) and what goes into it, when accepted.
  int row() const;
  const MailboxEncoding& encoding() const { return m_encoding; }

  // The message shown (its number in the decoder) and the value box of a signal, by name.
  void setMessage(std::uint32_t message);
  std::uint32_t message() const;
  void setValue(const QString& signal, const QString& text);

  QLabel* preview() const { return m_preview; }
  QTableWidget* table() const { return m_table; }
  QPushButton* fillButton() const { return m_fill; }

 private:
  void showMessage(std::uint32_t message, const SignalValueTexts& values);
  QComboBox* valueBox(int tableRow) const;
  // The values entered, re-encoded; the preview and the rows a multiplexor leaves out follow.
  void update();

  std::shared_ptr<const dbc::FrameDecoder> m_decoder;
  std::function<TxRowText(int)> m_rowText;
  MailboxEncoding m_encoding;
  QComboBox* m_mailbox;
  QComboBox* m_message;
  QTableWidget* m_table;
  QLabel* m_preview;
  QPushButton* m_fill;
};

}  // namespace velqor

#include "traffic/mailbox_signals_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <charconv>

namespace velqor {

namespace {

enum Column { kSignal, kValue, kUnit, kRange, kColumnCount };

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Number(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
}

QString HexId(const dbc::Message& m) {
  return QStringLiteral("%1").arg(m.id, m.extended ? 8 : 3, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

MailboxSignalsDialog::MailboxSignalsDialog(std::shared_ptr<const dbc::FrameDecoder> decoder,
                                           std::function<TxRowText(int row)> rowText, int row,
                                           QWidget* parent)
    : QDialog(parent),
      m_decoder(std::move(decoder)),
      m_rowText(std::move(rowText)),
      m_mailbox(new QComboBox(this)),
      m_message(new QComboBox(this)),
      m_table(new QTableWidget(this)),
      m_preview(new QLabel(this)) {
  setObjectName(QStringLiteral("MailboxSignals"));
  setWindowTitle(QStringLiteral("Mailbox from signals"));

  m_mailbox->setObjectName(QStringLiteral("CmbMailbox"));
  for (int n = 1; n <= 8; ++n) m_mailbox->addItem(QString::number(n));
  m_mailbox->setCurrentIndex(row >= 1 && row <= 8 ? row - 1 : 0);
  m_message->setObjectName(QStringLiteral("CmbMessage"));
  m_message->setMaxVisibleItems(25);
  for (std::uint32_t m = 0; m < m_decoder->messageCount(); ++m) {
    const dbc::Message& message = *m_decoder->message(m).message;
    m_message->addItem(Utf8(message.name) + QStringLiteral("  (") + HexId(message) +
                       (message.extended ? QStringLiteral(" ext, ") : QStringLiteral(", ")) +
                       QString::number(message.size) + QStringLiteral(" bytes)"));
  }

  m_table->setObjectName(QStringLiteral("SignalValues"));
  m_table->setColumnCount(kColumnCount);
  m_table->setHorizontalHeaderLabels({QStringLiteral("Signal"), QStringLiteral("Value"),
                                      QStringLiteral("Unit"), QStringLiteral("Range")});
  m_table->verticalHeader()->hide();
  m_table->setSelectionMode(QAbstractItemView::NoSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->setColumnWidth(kSignal, 170);
  m_table->setColumnWidth(kValue, 150);
  m_table->setColumnWidth(kUnit, 60);

  m_preview->setObjectName(QStringLiteral("MailboxPreview"));
  m_preview->setWordWrap(true);
  m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont fixed = m_preview->font();
  fixed.setFamily(QStringLiteral("monospace"));
  fixed.setStyleHint(QFont::TypeWriter);
  m_preview->setFont(fixed);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  m_fill = buttons->addButton(QStringLiteral("Fill mailbox"), QDialogButtonBox::AcceptRole);
  m_fill->setObjectName(QStringLiteral("BtnFillMailbox"));
  m_fill->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    update();
    if (m_encoding.ok()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Mailbox"), m_mailbox);
  form->addRow(QStringLiteral("Message"), m_message);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(m_table, 1);
  layout->addWidget(m_preview);
  layout->addWidget(buttons);
  resize(620, 440);

  // The row's own message and values, if it holds one.
  std::uint32_t start = 0;
  SignalValueTexts values;
  if (m_rowText && m_decoder->messageCount() != 0) {
    const TxRowText current = m_rowText(row);
    if (const std::optional<std::uint32_t> m = mailboxMessage(*m_decoder, current)) {
      start = *m;
      values = mailboxSignalValues(*m_decoder, *m, current);
    }
  }
  if (m_decoder->messageCount() != 0) {
    m_message->setCurrentIndex(static_cast<int>(start));
    showMessage(start, values);
  } else {
    update();
  }
  connect(m_message, &QComboBox::currentIndexChanged, this,
          [this](int index) { showMessage(static_cast<std::uint32_t>(index), {}); });
}

int MailboxSignalsDialog::row() const { return m_mailbox->currentIndex() + 1; }

std::uint32_t MailboxSignalsDialog::message() const {
  return static_cast<std::uint32_t>(m_message->currentIndex());
}

void MailboxSignalsDialog::setMessage(std::uint32_t message) {
  m_message->setCurrentIndex(static_cast<int>(message));  // showMessage
}

void MailboxSignalsDialog::setValue(const QString& signal, const QString& text) {
  for (int r = 0; r < m_table->rowCount(); ++r) {
    if (m_table->item(r, kSignal)->text() == signal) valueBox(r)->setEditText(text);
  }
}

QComboBox* MailboxSignalsDialog::valueBox(int tableRow) const {
  return static_cast<QComboBox*>(m_table->cellWidget(tableRow, kValue));
}

void MailboxSignalsDialog::showMessage(std::uint32_t message, const SignalValueTexts& values) {
  if (message >= m_decoder->messageCount()) return;
  const dbc::Message& m = *m_decoder->message(message).message;
  m_table->setRowCount(0);
  m_table->setRowCount(static_cast<int>(m.signalList.size()));
  for (int r = 0; r < m_table->rowCount(); ++r) {
    const dbc::Signal& s = m.signalList[static_cast<std::size_t>(r)];
    QString name = Utf8(s.name);
    auto* nameItem = new QTableWidgetItem(name);
    if (!s.comment.empty()) nameItem->setToolTip(Utf8(s.comment));
    m_table->setItem(r, kSignal, nameItem);
    auto* box = new QComboBox(m_table);
    box->setObjectName(QStringLiteral("Value_") + name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (const dbc::ValueText& v : s.values) box->addItem(Utf8(v.text));
    box->lineEdit()->setPlaceholderText(QStringLiteral("start value"));
    QString text;
    for (const auto& [signal, value] : values) {
      if (signal == s.name) text = Utf8(value);
    }
    box->setEditText(text);
    connect(box, &QComboBox::editTextChanged, this, &MailboxSignalsDialog::update);
    m_table->setCellWidget(r, kValue, box);
    m_table->setItem(r, kUnit, new QTableWidgetItem(Utf8(s.unit)));
    const bool noRange = s.minimum == 0 && s.maximum == 0;
    m_table->setItem(
        r, kRange,
        new QTableWidgetItem(
            noRange ? QString() : Number(s.minimum) + QStringLiteral(" .. ") + Number(s.maximum)));
  }
  update();
}

void MailboxSignalsDialog::update() {
  if (m_decoder->messageCount() == 0) {
    m_encoding = {};
    m_encoding.errors.push_back("No DBC file is loaded.");
    m_preview->setText(QStringLiteral("No DBC file is loaded: Signals > Load DBC file..."));
    m_fill->setEnabled(false);
    return;
  }
  const dbc::Message& m = *m_decoder->message(message()).message;
  if (m_table->rowCount() != static_cast<int>(m.signalList.size())) return;  // being filled
  // The multiplexor's value decides which rows count.
  QString multiplexor;
  for (int r = 0; r < m_table->rowCount(); ++r) {
    if (m.signalList[static_cast<std::size_t>(r)].mux == dbc::MuxRole::Multiplexor)
      multiplexor = valueBox(r)->currentText();
  }
  const std::vector<bool> sent = signalsSent(m, multiplexor.toStdString());
  SignalValueTexts values;
  for (int r = 0; r < m_table->rowCount(); ++r) {
    const bool on = sent[static_cast<std::size_t>(r)];
    valueBox(r)->setEnabled(on);
    const QString text = valueBox(r)->currentText().trimmed();
    if (on && !text.isEmpty()) {
      values.emplace_back(m.signalList[static_cast<std::size_t>(r)].name, text.toStdString());
    }
  }
  m_encoding = encodeMailboxRow(m, values);
  if (m_encoding.ok()) {
    m_preview->setStyleSheet(QString());
    m_preview->setText(QStringLiteral("ID %1%2   DLC %3   DATA %4")
                           .arg(QString::fromStdString(m_encoding.row.id),
                                m_encoding.row.ide ? QStringLiteral(" (ext)") : QString())
                           .arg(m_encoding.row.dlc)
                           .arg(QString::fromStdString(m_encoding.row.data)));
  } else {
    QStringList lines;
    for (const std::string& e : m_encoding.errors) lines << Utf8(e);
    m_preview->setStyleSheet(QStringLiteral("color: #b00000"));
    m_preview->setText(lines.join(QLatin1Char('\n')));
  }
  m_fill->setEnabled(m_encoding.ok());
}

}  // namespace velqor

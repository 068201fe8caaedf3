#include "traffic/cyclic_tx_panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

#include "traffic/txset_page.h"
#include "widgets/masked_edit.h"

namespace velqor {

namespace {

// Page coordinates. The group "Transmit Mail Box" stands at (8, 6) and is 497 wide; its rows
// are TxSetPage::kRowStep apart from TxSetPage::kEditTop inside it.
constexpr int kGroupLeft = 8, kGroupTop = 6, kGroupWidth = 497, kGroupHeight = 250;
constexpr int kStripLeft = kGroupLeft + kGroupWidth + 5;  // 510
constexpr int kCycleWidth = 44, kToggleWidth = 40, kStripGap = 2;
constexpr int kStripWidth = kCycleWidth + kStripGap + kToggleWidth;
constexpr int kEditHeight = 21;
// "ALL SEND" sits 10 below the last row inside the group, 25 high.
constexpr int kStopAllTop = kGroupTop + TxSetPage::kEditTop + TxSetPage::kRowStep * 8 + 10;

// The group below: two blocks of four rows.
constexpr int kLowerTop = kGroupTop + kGroupHeight + 6;  // 262
constexpr int kLowerWidth = kStripLeft + kStripWidth - kGroupLeft;
constexpr int kBlockWidth = 292;
constexpr int kLowerHeaderTop = 18, kLowerRowTop = 36;
constexpr int kChLeft = 12, kCountLeft = 40, kCountWidth = 80;
constexpr int kSentLeft = 124, kSentWidth = 70, kFailedLeft = 200, kFailedWidth = 64;
constexpr int kLabelHeight = 17;
constexpr int kStatusTop = kLowerRowTop + 4 * TxSetPage::kRowStep + 4;
constexpr int kLowerHeight = kStatusTop + kLabelHeight + 6;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* Label(const QString& text, QWidget* parent, const QRect& geometry,
              Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  label->setAlignment(alignment);
  return label;
}

}  // namespace

CyclicTxPanel::CyclicTxPanel(TxSetPage& page, TransmitScheduler& scheduler, MessageBoxes& boxes,
                             std::function<void(std::string_view)> resultText)
    : QObject(&page),
      m_page(page),
      m_resultText(std::move(resultText)),
      m_logic(std::make_unique<CyclicTxRows>(scheduler, boxes, static_cast<CyclicTxView&>(*this))) {
  setObjectName(QStringLiteral("CyclicTxPanel"));
  // Made after the specified controls, so that they follow them in the focus chain.
  buildStrip();
  buildGroup();
  bindRows();
  m_display.setInterval(kDisplayIntervalMs);
  connect(&m_display, &QTimer::timeout, this, [this] {
    if (!m_logic->Poll()) m_display.stop();
  });
}

CyclicTxPanel::~CyclicTxPanel() = default;

void CyclicTxPanel::buildStrip() {
  auto* header = Label(tr("cycle ms"), &m_page, QRect(kStripLeft, kGroupTop + 18, kStripWidth, 16));
  header->setObjectName(QStringLiteral("LabCycleTx"));
  header->setToolTip(
      tr("Milliseconds between the frames of a row sent on its own (1 to 60000); empty: the row "
         "is sent by SEND only"));
  const auto cycleText = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), this);
  for (int i = 0; i < kRows; ++i) {
    const QString n = QString::number(i + 1);
    const int top = kGroupTop + TxSetPage::kEditTop + TxSetPage::kRowStep * i;
    EditCycleTx[i] = new QLineEdit(&m_page);
    EditCycleTx[i]->setObjectName(QStringLiteral("EditCycleTx") + n);
    EditCycleTx[i]->setGeometry(kStripLeft, top, kCycleWidth, kEditHeight);
    EditCycleTx[i]->setValidator(cycleText);
    EditCycleTx[i]->setAlignment(Qt::AlignRight);
    EditCycleTx[i]->setToolTip(header->toolTip());

    BtnCycleTx[i] = new QPushButton(tr("Start"), &m_page);
    BtnCycleTx[i]->setObjectName(QStringLiteral("BtnCycleTx") + n);
    BtnCycleTx[i]->setGeometry(kStripLeft + kCycleWidth + kStripGap, top, kToggleWidth,
                               kEditHeight);
    BtnCycleTx[i]->setCheckable(true);
    BtnCycleTx[i]->setEnabled(false);
    BtnCycleTx[i]->setToolTip(tr("Row %1: send on its own every cycle").arg(n));
  }
  BtnStopAllTx = new QPushButton(tr("Stop all"), &m_page);
  BtnStopAllTx->setObjectName(QStringLiteral("BtnStopAllTx"));
  BtnStopAllTx->setGeometry(kStripLeft, kStopAllTop, kStripWidth, 25);
  BtnStopAllTx->setToolTip(tr("Stop every row sending on its own"));
}

void CyclicTxPanel::buildGroup() {
  GroupCyclicTx = new QGroupBox(tr("Cyclic transmit (count 0: until stopped)"), &m_page);
  GroupCyclicTx->setObjectName(QStringLiteral("GroupCyclicTx"));
  GroupCyclicTx->setGeometry(kGroupLeft, kLowerTop, kLowerWidth, kLowerHeight);
  const auto countText = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), this);
  for (int block = 0; block < 2; ++block) {
    const int x = block * kBlockWidth;
    Label(tr("CH"), GroupCyclicTx, QRect(x + kChLeft, kLowerHeaderTop, 24, 16));
    Label(tr("count"), GroupCyclicTx, QRect(x + kCountLeft, kLowerHeaderTop, kCountWidth, 16));
    Label(tr("sent"), GroupCyclicTx, QRect(x + kSentLeft, kLowerHeaderTop, kSentWidth, 16),
          Qt::AlignRight | Qt::AlignVCenter);
    Label(tr("failed"), GroupCyclicTx, QRect(x + kFailedLeft, kLowerHeaderTop, kFailedWidth, 16),
          Qt::AlignRight | Qt::AlignVCenter);
  }
  for (int i = 0; i < kRows; ++i) {
    const QString n = QString::number(i + 1);
    const int x = (i / 4) * kBlockWidth;
    const int top = kLowerRowTop + TxSetPage::kRowStep * (i % 4);
    Label(n, GroupCyclicTx, QRect(x + kChLeft, top + 2, 24, kLabelHeight));
    EditCountTx[i] = new QLineEdit(QStringLiteral("0"), GroupCyclicTx);
    EditCountTx[i]->setObjectName(QStringLiteral("EditCountTx") + n);
    EditCountTx[i]->setGeometry(x + kCountLeft, top, kCountWidth, kEditHeight);
    EditCountTx[i]->setValidator(countText);
    EditCountTx[i]->setAlignment(Qt::AlignRight);
    EditCountTx[i]->setToolTip(
        tr("Row %1: frames to send, then the row stops; 0: until stopped").arg(n));
    LabSentTx[i] =
        Label(QString(), GroupCyclicTx, QRect(x + kSentLeft, top + 2, kSentWidth, kLabelHeight),
              Qt::AlignRight | Qt::AlignVCenter);
    LabSentTx[i]->setObjectName(QStringLiteral("LabSentTx") + n);
    LabFailedTx[i] =
        Label(QString(), GroupCyclicTx, QRect(x + kFailedLeft, top + 2, kFailedWidth, kLabelHeight),
              Qt::AlignRight | Qt::AlignVCenter);
    LabFailedTx[i]->setObjectName(QStringLiteral("LabFailedTx") + n);
  }
  LabCyclicStatus = Label(QString(), GroupCyclicTx,
                          QRect(kChLeft, kStatusTop, kLowerWidth - 2 * kChLeft, kLabelHeight));
  LabCyclicStatus->setObjectName(QStringLiteral("LabCyclicStatus"));
}

void CyclicTxPanel::bindRows() {
  for (int i = 0; i < kRows; ++i) {
    const int row = i + 1;
    auto changed = [this, row] {
      m_logic->RowChanged(row, rowOf(QApplication::focusWidget()) == row);
    };
    connect(m_page.EditIdTx[i], &QLineEdit::textChanged, this, changed);
    connect(m_page.CSpinDLC[i], &QSpinBox::valueChanged, this, changed);
    connect(m_page.ChkTxIde[i], &QCheckBox::toggled, this, changed);
    connect(m_page.MaskEdit[i], &QLineEdit::textChanged, this, changed);
    connect(EditCycleTx[i], &QLineEdit::textChanged, this, [this, i] { updateToggle(i); });
    connect(BtnCycleTx[i], &QPushButton::clicked, this, [this, i, row] {
      m_logic->ToggleClick(row);
      updateToggle(i);  // the click flipped the button; a refused start leaves it as it was
      afterChange();
    });
  }
  connect(BtnStopAllTx, &QPushButton::clicked, this, [this] {
    m_logic->StopAllClick();
    afterChange();
  });
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    const int left = rowOf(old);
    if (left != 0 && left != rowOf(now)) m_logic->RowLeft(left);
  });
}

int CyclicTxPanel::rowOf(const QWidget* widget) const {
  if (widget == nullptr) return 0;
  for (int i = 0; i < kRows; ++i) {
    const QWidget* controls[] = {m_page.MBox[i],     m_page.EditIdTx[i], m_page.CSpinDLC[i],
                                 m_page.ChkTxIde[i], m_page.MaskEdit[i], m_page.BtnSend[i],
                                 EditCycleTx[i],     BtnCycleTx[i],      EditCountTx[i]};
    for (const QWidget* w : controls) {
      if (w == widget || w->isAncestorOf(widget)) return i + 1;
    }
  }
  return 0;
}

void CyclicTxPanel::updateToggle(int index) {
  const auto i = static_cast<std::size_t>(index);
  const bool running = m_running[i];
  BtnCycleTx[i]->setChecked(running);
  BtnCycleTx[i]->setText(running ? tr("Stop") : tr("Start"));
  BtnCycleTx[i]->setEnabled(running || !EditCycleTx[i]->text().trimmed().isEmpty());
  EditCycleTx[i]->setReadOnly(running);
  EditCountTx[i]->setReadOnly(running);
}

void CyclicTxPanel::afterChange() {
  if (m_logic->Poll()) {
    if (!m_display.isActive()) m_display.start();
  }
}

void CyclicTxPanel::poll() { afterChange(); }

void CyclicTxPanel::linkClosed() { m_logic->LinkClosed(); }

TxMailboxRow CyclicTxPanel::TxMailbox(int index) const {
  const auto i = static_cast<std::size_t>(index);
  return {m_page.MBox.at(i)->isChecked(), m_page.EditIdTx.at(i)->text().toStdString(),
          m_page.CSpinDLC.at(i)->value(), m_page.ChkTxIde.at(i)->isChecked(),
          m_page.MaskEdit.at(i)->text().toStdString()};
}

CyclicTxEntry CyclicTxPanel::CyclicEntry(int index) const {
  const auto i = static_cast<std::size_t>(index);
  return {EditCycleTx.at(i)->text().toStdString(), EditCountTx.at(i)->text().toStdString()};
}

void CyclicTxPanel::SetCyclicEntry(int index, const CyclicTxEntry& entry) {
  const auto i = static_cast<std::size_t>(index);
  EditCycleTx.at(i)->setText(QString::fromStdString(entry.cycle));
  EditCountTx.at(i)->setText(QString::fromStdString(entry.count));
}

void CyclicTxPanel::SetCyclicState(int index, const CyclicTxRowState& state) {
  const auto i = static_cast<std::size_t>(index);
  m_running.at(i) = state.running;
  LabSentTx[i]->setText(QString::fromStdString(state.sent));
  LabFailedTx[i]->setText(QString::fromStdString(state.failed));
  const QString detail = FromUtf8(state.detail);
  LabSentTx[i]->setToolTip(detail);
  LabFailedTx[i]->setToolTip(detail);
  updateToggle(index);
}

void CyclicTxPanel::SetCyclicStatus(std::string_view text) {
  LabCyclicStatus->setText(FromUtf8(text));
  LabCyclicStatus->setToolTip(LabCyclicStatus->text());
}

void CyclicTxPanel::SetResultText(std::string_view text) {
  if (m_resultText) m_resultText(text);
}

}  // namespace velqor

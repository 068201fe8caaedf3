#include "traffic/txset_page.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "common/dlc_tables.h"
#include "widgets/masked_edit.h"

namespace velqor {

namespace {
// Columns inside the group.
constexpr int kBoxLeft = 12, kBoxWidth = 34;
constexpr int kIdLeft = 58, kIdWidth = 62;
constexpr int kDlcLeft = 122, kDlcWidth = 44;
constexpr int kIdeLeft = 177, kIdeWidth = 17;
constexpr int kDataLeft = 238, kDataWidth = 184;
constexpr int kSendLeft = 428, kSendWidth = 57;
constexpr int kEditHeight = 21, kCheckHeight = 17;

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

TxSetPage::TxSetPage(DeviceSender& sender, MessageBoxes& boxes,
                     std::function<void(std::string_view)> resultText, QWidget* parent)
    : QWidget(parent),
      m_mailboxes(std::make_unique<TxMailboxes>(sender, boxes, static_cast<TxSetView&>(*this))),
      m_resultText(std::move(resultText)) {
  m_group = new QGroupBox(tr("Transmit Mail Box"), this);
  m_group->setObjectName(QStringLiteral("GroupBox1"));
  m_group->setGeometry(8, 6, 497, 250);

  auto* header =
      new QLabel(tr("CH           ID(hex)    DLC        ide              DATA (hex)"), m_group);
  header->setObjectName(QStringLiteral("Label2"));
  // The header places its captions with blanks; a little extra room per blank sets them
  // over their columns in the fonts found here.
  QFont headerFont = header->font();
  headerFont.setWordSpacing(1);
  header->setFont(headerFont);
  header->setGeometry(kBoxLeft, 18, kSendLeft - kBoxLeft, 16);

  for (int i = 0; i < kRows; ++i) {
    const int n = i + 1;
    const QString s = QString::number(n);
    const int editTop = kEditTop + kRowStep * i;
    const int checkTop = kCheckTop + kRowStep * i;

    MBox[i] = new QCheckBox(s, m_group);
    MBox[i]->setObjectName(QStringLiteral("MBox") + s);
    MBox[i]->setGeometry(kBoxLeft, checkTop, kBoxWidth, kCheckHeight);

    EditIdTx[i] = new QLineEdit(QStringLiteral("0"), m_group);
    EditIdTx[i]->setObjectName(QStringLiteral("EditIdTx") + s);
    EditIdTx[i]->setGeometry(kIdLeft, editTop, kIdWidth, kEditHeight);

    CSpinDLC[i] = new QSpinBox(m_group);
    CSpinDLC[i]->setObjectName(QStringLiteral("CSpinDLC") + s);
    CSpinDLC[i]->setGeometry(kDlcLeft, editTop, kDlcWidth, kEditHeight);
    CSpinDLC[i]->setRange(0, kMaxDlc);
    CSpinDLC[i]->setProperty("Tag", n);
    connect(CSpinDLC[i], &QSpinBox::valueChanged, this, [this, n] { CSpinDLCChange(n); });

    ChkTxIde[i] = new QCheckBox(m_group);
    ChkTxIde[i]->setObjectName(QStringLiteral("ChkTxIde") + s);
    ChkTxIde[i]->setGeometry(kIdeLeft, checkTop, kIdeWidth, kCheckHeight);

    // The data field takes the mask of its DLC (0 at start: free text).
    MaskEdit[i] = new MaskedEdit(m_group);
    MaskEdit[i]->setObjectName(QStringLiteral("MaskEdit") + s);
    MaskEdit[i]->setGeometry(kDataLeft, editTop, kDataWidth, kEditHeight);
    MaskEdit[i]->setEditMask(Latin1(MaskByDlc[static_cast<std::size_t>(CSpinDLC[i]->value())]));
    MaskEdit[i]->setProperty("Tag", n);

    BtnSend[i] = new QPushButton(tr("SEND"), m_group);
    BtnSend[i]->setObjectName(QStringLiteral("BtnSend") + s);
    BtnSend[i]->setGeometry(kSendLeft, editTop, kSendWidth, kEditHeight);
    BtnSend[i]->setProperty("Tag", n);
    connect(BtnSend[i], &QPushButton::clicked, this,
            [this, button = BtnSend[i]] { BtnSendClick(button->property("Tag").toInt()); });
  }

  BtnAllSend = new QPushButton(tr("ALL SEND"), m_group);
  BtnAllSend->setObjectName(QStringLiteral("BtnAllSend"));
  BtnAllSend->setGeometry(kSendLeft - 36, kEditTop + kRowStep * kRows + 10, kSendWidth + 36, 25);
  connect(BtnAllSend, &QPushButton::clicked, this, &TxSetPage::BtnAllSendClick);

  // A memo the page has always carried, never shown.
  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName(QStringLiteral("Memo1"));
  memo->setGeometry(512, 8, 77, 89);
  memo->hide();
}

TxSetPage::~TxSetPage() = default;

void TxSetPage::BtnSendClick(int row) { m_mailboxes->BtnSendClick(row); }

void TxSetPage::BtnAllSendClick() { m_mailboxes->BtnAllSendClick(); }

void TxSetPage::CSpinDLCChange(int row) {
  if (row < 1 || row > kRows) return;
  m_mailboxes->CSpinDLCChange(row, CSpinDLC[static_cast<std::size_t>(row - 1)]->value());
}

void TxSetPage::loadMailboxes(const std::array<TxMailboxSettings, kTxMailboxCount>& rows) {
  for (int i = 0; i < kRows; ++i) {
    const TxMailboxSettings& row = rows[static_cast<std::size_t>(i)];
    MBox[i]->setChecked(row.boxChecked);
    EditIdTx[i]->setText(QString::fromStdString(row.id));
    CSpinDLC[i]->setValue(row.dlc);  // sets the data mask
    ChkTxIde[i]->setChecked(row.ide);
    MaskEdit[i]->setText(QString::fromStdString(row.data));
  }
}

void TxSetPage::saveMailboxes(std::array<TxMailboxSettings, kTxMailboxCount>& rows) const {
  for (int i = 0; i < kRows; ++i) {
    TxMailboxSettings& row = rows[static_cast<std::size_t>(i)];
    row.boxChecked = MBox[i]->isChecked();
    row.id = EditIdTx[i]->text().toStdString();
    row.dlc = CSpinDLC[i]->value();
    row.ide = ChkTxIde[i]->isChecked();
    row.data = MaskEdit[i]->text().toStdString();
  }
}

TxMailboxRow TxSetPage::TxMailbox(int index) const {
  const auto i = static_cast<std::size_t>(index);
  return {MBox.at(i)->isChecked(), EditIdTx.at(i)->text().toStdString(), CSpinDLC.at(i)->value(),
          ChkTxIde.at(i)->isChecked(), MaskEdit.at(i)->text().toStdString()};
}

void TxSetPage::SetTxDataMask(int index, std::string_view editMask) {
  ::velqor::MaskedEdit* dataEdit = MaskEdit.at(static_cast<std::size_t>(index));
  dataEdit->clear();
  dataEdit->setEditMask(Latin1(editMask));
}

void TxSetPage::SetResultText(std::string_view text) {
  if (m_resultText) m_resultText(text);
}

}  // namespace velqor

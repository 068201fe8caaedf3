#include "traffic/txset_page.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

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
}  // namespace

TxSetPage::TxSetPage(QWidget* parent) : QWidget(parent) {
  m_group = new QGroupBox(QStringLiteral("Transmit Mail Box"), this);
  m_group->setObjectName(QStringLiteral("GroupBox1"));
  m_group->setGeometry(8, 6, 497, 250);

  auto* header = new QLabel(
      QStringLiteral("CH           ID(hex)    DLC        ide              DATA (hex)"), m_group);
  header->setObjectName(QStringLiteral("Label2"));
  // The header places its captions with blanks; a little extra room per blank sets them
  // over their columns in the fonts found here.
  QFont headerFont = header->font();
  headerFont.setWordSpacing(1);
  header->setFont(headerFont);
  header->setGeometry(kBoxLeft, 18, kSendLeft - kBoxLeft, 16);

  for (int i = 0; i < kRows; ++i) {
    const QString n = QString::number(i + 1);
    const int editTop = kEditTop + kRowStep * i;
    const int checkTop = kCheckTop + kRowStep * i;

    auto* box = new QCheckBox(n, m_group);
    box->setObjectName(QStringLiteral("MBox") + n);
    box->setGeometry(kBoxLeft, checkTop, kBoxWidth, kCheckHeight);

    auto* id = new QLineEdit(QStringLiteral("0"), m_group);
    id->setObjectName(QStringLiteral("EditIdTx") + n);
    id->setGeometry(kIdLeft, editTop, kIdWidth, kEditHeight);

    auto* dlc = new QSpinBox(m_group);
    dlc->setObjectName(QStringLiteral("CSpinDLC") + n);
    dlc->setGeometry(kDlcLeft, editTop, kDlcWidth, kEditHeight);
    dlc->setRange(0, 8);

    auto* ide = new QCheckBox(m_group);
    ide->setObjectName(QStringLiteral("ChkTxIde") + n);
    ide->setGeometry(kIdeLeft, checkTop, kIdeWidth, kCheckHeight);

    auto* dataEdit = new MaskedEdit(m_group);
    dataEdit->setObjectName(QStringLiteral("MaskEdit") + n);
    dataEdit->setGeometry(kDataLeft, editTop, kDataWidth, kEditHeight);

    auto* send = new QPushButton(QStringLiteral("SEND"), m_group);
    send->setObjectName(QStringLiteral("BtnSend") + n);
    send->setGeometry(kSendLeft, editTop, kSendWidth, kEditHeight);
  }

  auto* allSend = new QPushButton(QStringLiteral("ALL SEND"), m_group);
  allSend->setObjectName(QStringLiteral("BtnAllSend"));
  allSend->setGeometry(kSendLeft - 36, kEditTop + kRowStep * kRows + 10, kSendWidth + 36, 25);

  // A memo the page has always carried, never shown.
  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName(QStringLiteral("Memo1"));
  memo->setGeometry(512, 8, 77, 89);
  memo->hide();
}

}  // namespace velqor

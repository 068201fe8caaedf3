#include "config/config_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "config/device_parameters.h"
#include "link/protocol.h"
#include "widgets/fonts.h"
#include "widgets/masked_edit.h"
#include "widgets/radio_group.h"
#include "widgets/sunken_panel.h"

namespace velqor {

namespace {
constexpr int kChLeft = 10, kChWidth = 40;
constexpr int kIdLeft = 56, kIdWidth = 61;
constexpr int kMaskLeft = 120, kMaskWidth = 62;
constexpr int kIdeLeft = 192, kIdeWidth = 17;
constexpr int kDlcLeft = 230, kDlcWidth = 41;
constexpr int kDataLeft = 276, kDataWidth = 140;
constexpr int kEditHeight = 21, kCheckHeight = 17;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(x, y, w, 16);
  return label;
}
}  // namespace

ConfigPage::ConfigPage(QWidget* parent) : QWidget(parent) {
  // Receive mailboxes, left half.
  m_mailboxes = new QGroupBox(QStringLiteral("Receive Mail Box"), this);
  m_mailboxes->setObjectName(QStringLiteral("GroupBox1"));
  m_mailboxes->setGeometry(8, 4, 236, 382);
  QLabel* header = AddLabel(m_mailboxes, "Label2",
                            QStringLiteral("CH       ID(h)     MASK(h)    ide"), kChLeft, 18, 220);
  // The header places its captions with blanks; extra room per blank sets them over their
  // columns in the fonts found here.
  QFont headerFont = header->font();
  headerFont.setWordSpacing(3);
  header->setFont(headerFont);
  for (int i = 0; i < kRows; ++i) {
    const QString n = QString::number(i + 1);
    const int editTop = kEditTop + kRowStep * i;
    const int checkTop = kCheckTop + kRowStep * i;

    auto* enabled = new QCheckBox(n, m_mailboxes);
    enabled->setObjectName(QStringLiteral("Chrx") + n);
    enabled->setGeometry(kChLeft, checkTop, kChWidth, kCheckHeight);

    auto* id = new QLineEdit(QStringLiteral("0"), m_mailboxes);
    id->setObjectName(QStringLiteral("EditIdRx") + n);
    id->setGeometry(kIdLeft, editTop, kIdWidth, kEditHeight);

    auto* mask = new QLineEdit(QStringLiteral("0"), m_mailboxes);
    mask->setObjectName(QStringLiteral("EditRxMask") + n);
    mask->setGeometry(kMaskLeft, editTop, kMaskWidth, kEditHeight);

    auto* ide = new QCheckBox(m_mailboxes);
    ide->setObjectName(QStringLiteral("ChkRxIde") + n);
    ide->setGeometry(kIdeLeft, checkTop, kIdeWidth, kCheckHeight);
    if (i == 0 || i == 8) ide->setToolTip(QStringLiteral("標準/拡張指定"));

    // The data length and data of a receive row are kept in the settings only, never shown.
    auto* dlc = new QSpinBox(m_mailboxes);
    dlc->setObjectName(QStringLiteral("SpinRxDlc") + n);
    dlc->setGeometry(kDlcLeft, editTop, kDlcWidth, kEditHeight);
    dlc->setRange(0, 8);
    dlc->hide();

    auto* dataEdit = new MaskedEdit(m_mailboxes);
    dataEdit->setObjectName(QStringLiteral("MaskEditRx") + n);
    dataEdit->setGeometry(kDataLeft, editTop, kDataWidth, kEditHeight);
    dataEdit->hide();
  }

  // Bit rate and sample timing.
  const int right = 252;
  auto* timing = new QGroupBox(QStringLiteral("Bit Rate / Sample Timing"), this);
  timing->setObjectName(QStringLiteral("GroupBox3"));
  timing->setGeometry(right, 4, 201, 84);
  AddLabel(timing, "Label3", QStringLiteral("BitRate"), 10, 26, 100);
  auto* bitRate = new QComboBox(timing);
  bitRate->setObjectName(QStringLiteral("CmbBitRate"));
  for (const char* name : kBitRateNames) bitRate->addItem(QString::fromLatin1(name));
  bitRate->setGeometry(116, 22, 77, 22);
  AddLabel(timing, "Label6", QStringLiteral("Sample Timing(%)"), 10, 56, 104);
  auto* sample = new QComboBox(timing);
  sample->setObjectName(QStringLiteral("CombSmpleTime"));
  sample->setGeometry(116, 52, 77, 22);

  auto* console =
      new RadioGroup(QStringLiteral("Console Out Format"),
                     {QStringLiteral("Normal Mode"), QStringLiteral("CAN-USB Mode")}, 1, this);
  console->setObjectName(QStringLiteral("RadioTerminalForm"));
  console->setGeometry(right, 94, 201, 66);

  auto* term = new QCheckBox(QStringLiteral("Terminator"), this);
  term->setObjectName(QStringLiteral("ChkTerm"));
  term->setGeometry(right + 8, 168, 120, 17);

  auto addButton = [this](const char* name, const char* caption, const QString& hint, int top) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setGeometry(464, top, 123, 27);
  };
  addButton("BtnReadParam", "&Read Parameter", QString::fromUtf8(DeviceParameters::kReadHint), 12);
  addButton("BtnConfigSet", "&Write Parameter", QString::fromUtf8(DeviceParameters::kWriteHint),
            48);
  addButton("BtnStiore", "&Store", QString::fromUtf8(DeviceParameters::kStoreHint), 84);

  auto* info = new QGroupBox(QStringLiteral("Device Infomation"), this);
  info->setObjectName(QStringLiteral("GroupBox4"));
  info->setGeometry(right, 196, 335, 66);
  AddLabel(info, "LabVersion", QString(), 12, 22, 311);
  AddLabel(info, "LabDevice", QString(), 12, 42, 311);

  // Data log.
  auto* log = new QCheckBox(QStringLiteral("データログを保存する"), this);
  log->setObjectName(QStringLiteral("ChkLog"));
  log->setGeometry(right + 8, 276, 200, 19);
  AddLabel(this, "Label5", QStringLiteral("保存ファイル名"), right + 8, 304, 150);
  auto* file = new SunkenPanel(QString(), this);
  file->setObjectName(QStringLiteral("PnlSavefileName"));
  file->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  file->setIndent(4);
  file->setGeometry(right + 8, 322, 325, 25);
}

}  // namespace velqor

#include "config/config_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <iterator>

#include "common/dlc_tables.h"
#include "link/protocol.h"
#include "widgets/fonts.h"
#include "widgets/key_filter.h"
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

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(x, y, w, 16);
  return label;
}
}  // namespace

ConfigPage::ConfigPage(DeviceSender& sender, MessageBoxes& boxes, SampleTimingTable& table,
                       std::function<void(std::string_view)> resultText, QWidget* parent)
    : QWidget(parent),
      m_parameters(std::make_unique<DeviceParameters>(sender, boxes, table,
                                                      static_cast<ConfigPageView&>(*this))),
      m_resultText(std::move(resultText)) {
  buildRows();
  buildRight();
}

ConfigPage::~ConfigPage() = default;

void ConfigPage::buildRows() {
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
  auto* hexKeys = new KeyFilter(&KeyFilter::HexDigitOrBackspace, this);
  QWidget* previous = nullptr;
  for (int i = 0; i < kRows; ++i) {
    const int n = i + 1;
    const QString s = QString::number(n);
    const int editTop = kEditTop + kRowStep * i;
    const int checkTop = kCheckTop + kRowStep * i;

    Chrx[i] = new QCheckBox(s, m_mailboxes);
    Chrx[i]->setObjectName(QStringLiteral("Chrx") + s);
    Chrx[i]->setGeometry(kChLeft, checkTop, kChWidth, kCheckHeight);

    EditIdRx[i] = new QLineEdit(QStringLiteral("0"), m_mailboxes);
    EditIdRx[i]->setObjectName(QStringLiteral("EditIdRx") + s);
    EditIdRx[i]->setGeometry(kIdLeft, editTop, kIdWidth, kEditHeight);
    EditIdRx[i]->installEventFilter(hexKeys);

    EditRxMask[i] = new QLineEdit(QStringLiteral("0"), m_mailboxes);
    EditRxMask[i]->setObjectName(QStringLiteral("EditRxMask") + s);
    EditRxMask[i]->setGeometry(kMaskLeft, editTop, kMaskWidth, kEditHeight);
    EditRxMask[i]->installEventFilter(hexKeys);

    // Its click (ChkRxIdeClick) has no action.
    ChkRxIde[i] = new QCheckBox(m_mailboxes);
    ChkRxIde[i]->setObjectName(QStringLiteral("ChkRxIde") + s);
    ChkRxIde[i]->setGeometry(kIdeLeft, checkTop, kIdeWidth, kCheckHeight);
    if (i == 0 || i == 8) ChkRxIde[i]->setToolTip(QStringLiteral("標準/拡張指定"));

    // The data length and data of a receive row are kept in the settings only, never shown.
    SpinRxDlc[i] = new QSpinBox(m_mailboxes);
    SpinRxDlc[i]->setObjectName(QStringLiteral("SpinRxDlc") + s);
    SpinRxDlc[i]->setGeometry(kDlcLeft, editTop, kDlcWidth, kEditHeight);
    SpinRxDlc[i]->setRange(0, kMaxDlc);
    connect(SpinRxDlc[i], &QSpinBox::valueChanged, this, [this, n] { SpinRxDlcChange(n); });
    SpinRxDlc[i]->hide();

    MaskEditRx[i] = new MaskedEdit(m_mailboxes);
    MaskEditRx[i]->setObjectName(QStringLiteral("MaskEditRx") + s);
    MaskEditRx[i]->setGeometry(kDataLeft, editTop, kDataWidth, kEditHeight);
    MaskEditRx[i]->setEditMask(Latin1(MaskByDlc[static_cast<std::size_t>(SpinRxDlc[i]->value())]));
    MaskEditRx[i]->hide();

    // Tags and the tab order along the row, then on to the next row.
    QWidget* const row[6] = {Chrx[i],     EditIdRx[i],  EditRxMask[i],
                             ChkRxIde[i], SpinRxDlc[i], MaskEditRx[i]};
    for (int k = 0; k < 6; ++k) {
      row[k]->setProperty("Tag", n);
      row[k]->setProperty("TabOrder", 6 * i + 5 + k);
      if (previous != nullptr) QWidget::setTabOrder(previous, row[k]);
      previous = row[k];
    }
  }
}

void ConfigPage::buildRight() {
  // Bit rate and sample timing.
  const int right = 252;
  auto* timing = new QGroupBox(QStringLiteral("Bit Rate / Sample Timing"), this);
  timing->setObjectName(QStringLiteral("GroupBox3"));
  timing->setGeometry(right, 4, 201, 84);
  AddLabel(timing, "Label3", QStringLiteral("BitRate"), 10, 26, 100);
  CmbBitRate = new QComboBox(timing);
  CmbBitRate->setObjectName(QStringLiteral("CmbBitRate"));
  for (const char* name : kBitRateNames) CmbBitRate->addItem(QString::fromLatin1(name));
  CmbBitRate->setGeometry(116, 22, 77, 22);
  connect(CmbBitRate, &QComboBox::activated, this, &ConfigPage::CmbBitRateChange);
  AddLabel(timing, "Label6", QStringLiteral("Sample Timing(%)"), 10, 56, 104);
  CombSmpleTime = new QComboBox(timing);
  CombSmpleTime->setObjectName(QStringLiteral("CombSmpleTime"));
  CombSmpleTime->setGeometry(116, 52, 77, 22);

  RadioTerminalForm =
      new RadioGroup(QStringLiteral("Console Out Format"),
                     {QStringLiteral("Normal Mode"), QStringLiteral("CAN-USB Mode")}, 1, this);
  RadioTerminalForm->setObjectName(QStringLiteral("RadioTerminalForm"));
  RadioTerminalForm->setGeometry(right, 94, 201, 66);

  ChkTerm = new QCheckBox(QStringLiteral("Terminator"), this);
  ChkTerm->setObjectName(QStringLiteral("ChkTerm"));
  ChkTerm->setGeometry(right + 8, 168, 120, 17);

  auto addButton = [this](const char* name, const char* caption, const QString& hint, int top) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setGeometry(464, top, 123, 27);
    return b;
  };
  BtnReadParam = addButton("BtnReadParam", "&Read Parameter",
                           QString::fromUtf8(DeviceParameters::kReadHint), 12);
  BtnConfigSet = addButton("BtnConfigSet", "&Write Parameter",
                           QString::fromUtf8(DeviceParameters::kWriteHint), 48);
  BtnStiore = addButton("BtnStiore", "&Store", QString::fromUtf8(DeviceParameters::kStoreHint), 84);
  connect(BtnConfigSet, &QPushButton::clicked, this, [this] { m_parameters->BtnConfigSetClick(); });
  connect(BtnReadParam, &QPushButton::clicked, this, [this] { m_parameters->BtnReadParamClick(); });
  connect(BtnStiore, &QPushButton::clicked, this, [this] { m_parameters->BtnStioreClick(); });

  auto* info = new QGroupBox(QStringLiteral("Device Infomation"), this);
  info->setObjectName(QStringLiteral("GroupBox4"));
  info->setGeometry(right, 196, 335, 66);
  LabVersion = AddLabel(info, "LabVersion", QString(), 12, 22, 311);
  LabDevice = AddLabel(info, "LabDevice", QString(), 12, 42, 311);

  // Data log.
  ChkLog = new QCheckBox(QStringLiteral("データログを保存する"), this);
  ChkLog->setObjectName(QStringLiteral("ChkLog"));
  ChkLog->setGeometry(right + 8, 276, 200, 19);
  AddLabel(this, "Label5", QStringLiteral("保存ファイル名"), right + 8, 304, 150);
  auto* file = new SunkenPanel(QString(), this);
  file->setObjectName(QStringLiteral("PnlSavefileName"));
  file->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  file->setIndent(4);
  file->setGeometry(right + 8, 322, 325, 25);
  PnlSavefileName = file;
  // The format of the next file, beside the check box under the parameter buttons.
  CmbLogFormat = new QComboBox(this);
  CmbLogFormat->setObjectName(QStringLiteral("CmbLogFormat"));
  static constexpr const char* kNames[] = {"Velqor", "candump", "ASC", "BLF", "CSV"};
  static_assert(std::size(kNames) == std::size(kLogFormats));
  for (std::size_t i = 0; i < std::size(kLogFormats); ++i) {
    CmbLogFormat->addItem(QStringLiteral("%1 (%2)").arg(
        QString::fromLatin1(kNames[i]), QString::fromLatin1(LogFormatExtension(kLogFormats[i]))));
  }
  CmbLogFormat->setToolTip(QStringLiteral(
      "データログの形式 (次のファイルから)\nData log format, from the next file on"));
  CmbLogFormat->setGeometry(464, 274, 123, 22);
}

LogFormat ConfigPage::logFormat() const {
  const int i = CmbLogFormat->currentIndex();
  return i >= 0 && i < static_cast<int>(std::size(kLogFormats))
             ? kLogFormats[static_cast<std::size_t>(i)]
             : LogFormat::DataLog;
}

void ConfigPage::setLogFormat(LogFormat format) {
  for (std::size_t i = 0; i < std::size(kLogFormats); ++i) {
    if (kLogFormats[i] == format) CmbLogFormat->setCurrentIndex(static_cast<int>(i));
  }
}

void ConfigPage::CmbBitRateChange() { m_parameters->CmbBitRateChange(); }

void ConfigPage::SpinRxDlcChange(int row) {
  if (row < 1 || row > kRows) return;
  m_parameters->SpinRxDlcChange(row, SpinRxDlc[static_cast<std::size_t>(row - 1)]->value());
}

void ConfigPage::loadMailboxes(const std::array<RxMailboxSettings, kRxMailboxCount>& rows) {
  for (int i = 0; i < kRows; ++i) {
    const RxMailboxSettings& row = rows[static_cast<std::size_t>(i)];
    Chrx[i]->setChecked(row.boxChecked);
    EditIdRx[i]->setText(QString::fromStdString(row.id));
    EditRxMask[i]->setText(QString::fromStdString(row.mask));
    SpinRxDlc[i]->setValue(row.dlc);  // sets the data mask
    MaskEditRx[i]->setText(QString::fromStdString(row.data));
    ChkRxIde[i]->setChecked(row.ide);
  }
}

void ConfigPage::saveMailboxes(std::array<RxMailboxSettings, kRxMailboxCount>& rows) const {
  for (int i = 0; i < kRows; ++i) {
    RxMailboxSettings& row = rows[static_cast<std::size_t>(i)];
    row.boxChecked = Chrx[i]->isChecked();
    row.id = EditIdRx[i]->text().toStdString();
    row.mask = EditRxMask[i]->text().toStdString();
    row.ide = ChkRxIde[i]->isChecked();
    row.dlc = SpinRxDlc[i]->value();
    row.data = MaskEditRx[i]->text().toStdString();
  }
}

void ConfigPage::loadOptions(const OptionSettings& option) {
  ChkTerm->setChecked(option.term);
  RadioTerminalForm->setItemIndex(option.consoleMode);
}

void ConfigPage::saveOptions(OptionSettings& option) const {
  option.term = ChkTerm->isChecked();
  option.consoleMode = RadioTerminalForm->itemIndex();
}

void ConfigPage::loadBitTiming(const BitimSettings& bitim) {
  CmbBitRate->setCurrentIndex(bitim.bitRate);
  CmbBitRateChange();
  CombSmpleTime->setCurrentIndex(bitim.timing < CombSmpleTime->count() ? bitim.timing : -1);
}

void ConfigPage::saveBitTiming(BitimSettings& bitim) const {
  bitim.bitRate = CmbBitRate->currentIndex();
  bitim.timing = CombSmpleTime->currentIndex();
}

RxMailboxRow ConfigPage::RxMailbox(int index) const {
  const auto i = static_cast<std::size_t>(index);
  return {Chrx.at(i)->isChecked(), ChkRxIde.at(i)->isChecked(),
          EditIdRx.at(i)->text().toStdString(), EditRxMask.at(i)->text().toStdString()};
}

void ConfigPage::SetRxMailbox(int index, const RxMailboxRow& row) {
  const auto i = static_cast<std::size_t>(index);
  Chrx.at(i)->setChecked(row.enabled);
  ChkRxIde.at(i)->setChecked(row.ide);
  EditIdRx.at(i)->setText(QString::fromStdString(row.id));
  EditRxMask.at(i)->setText(QString::fromStdString(row.mask));
}

void ConfigPage::SetRxDataMask(int index, std::string_view editMask) {
  MaskedEdit* dataEdit = MaskEditRx.at(static_cast<std::size_t>(index));
  dataEdit->clear();
  dataEdit->setEditMask(Latin1(editMask));
}

int ConfigPage::BitRateIndex() const { return CmbBitRate->currentIndex(); }

void ConfigPage::SetBitRateIndex(int index) {
  // Not a user's choice: CmbBitRateChange does not run.
  CmbBitRate->setCurrentIndex(index);
}

int ConfigPage::SampleTimingIndex() const { return CombSmpleTime->currentIndex(); }

void ConfigPage::SetSampleTimings(const std::vector<std::string>& items, int selected) {
  CombSmpleTime->clear();
  for (const std::string& text : items) CombSmpleTime->addItem(QString::fromStdString(text));
  CombSmpleTime->setCurrentIndex(selected >= 0 && selected < CombSmpleTime->count() ? selected
                                                                                    : -1);
}

bool ConfigPage::Terminator() const { return ChkTerm->isChecked(); }

void ConfigPage::SetTerminator(bool checked) { ChkTerm->setChecked(checked); }

int ConfigPage::ConsoleFormat() const { return RadioTerminalForm->itemIndex(); }

void ConfigPage::SetConsoleFormat(int index) { RadioTerminalForm->setItemIndex(index); }

void ConfigPage::SetVersionText(std::string_view text) { LabVersion->setText(Latin1(text)); }

void ConfigPage::SetDeviceText(std::string_view text) { LabDevice->setText(Latin1(text)); }

void ConfigPage::SetResultText(std::string_view text) {
  if (m_resultText) m_resultText(text);
}

}  // namespace velqor

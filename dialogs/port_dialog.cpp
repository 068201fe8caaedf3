#include "dialogs/port_dialog.h"

#include <QComboBox>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <stdexcept>
#include <string>

#include "common/ui_text.h"
#include "link/commx.h"
#include "widgets/fonts.h"

namespace velqor {

namespace {
constexpr char kErrorCaption[] = "Velqor";

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  return label;
}

QComboBox* addList(QWidget* parent, const char* name, QRect geometry) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setGeometry(geometry);
  return list;
}
}  // namespace

TFrmOption::TFrmOption(const SerialPortValues& values, IniFile& ini, MessageBoxes& boxes,
                       Options options, QWidget* parent)
    : QDialog(parent),
      m_values(values),
      m_boxes(boxes),
      m_options(std::move(options)),
      m_paths(ini) {
  setObjectName(QStringLiteral("FrmOption"));
  setWindowTitle(tr("serialport set"));
  setFont(MakeFont(QString::fromUtf8(kFontPGothic), 12));
  setFixedSize(kClientWidth, kClientHeight);

  addLabel(this, "Label1", tr("Port Number"), QRect(8, 12, 72, 16));
  m_comPort = addList(this, "ComPort", QRect(84, 8, 96, 24));
  for (int n = 1; n <= kComPortCount; ++n) m_comPort->addItem(QStringLiteral("COM%1").arg(n));
  m_comPort->setMaxVisibleItems(16);
  addLabel(this, "Label4", tr("これはバイナリデータを"), QRect(8, 40, 172, 16));
  addLabel(this, "Label3", tr("転送するポートです"), QRect(8, 58, 172, 16));

  // The device the COM number stands for here: one of those found, or a typed path.
  addLabel(this, "LabComDevice", tr("Device"), QRect(8, 86, 172, 16));
  m_comDevice = addList(this, "ComDevice", QRect(8, 104, 172, 24));
  m_comDevice->setEditable(true);
  m_comDevice->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& device : FindSerialDevices(m_options.deviceRoots)) {
    m_comDevice->addItem(QString::fromStdString(device));
  }

  auto* ok = new QPushButton(tr("Close"), this);
  ok->setObjectName(QStringLiteral("OKBtn"));
  ok->setGeometry(56, 148, 75, 25);
  connect(ok, &QPushButton::clicked, this, &TFrmOption::OKBtnClick);

  // Kept for the component's rate and parity, never shown.
  addLabel(this, "Label2", tr("Baudrate (bps)"), QRect(8, 140, 80, 16))->hide();
  m_comRate = addList(this, "ComRate", QRect(96, 136, 84, 24));
  for (const char* rate :
       {"600", "4800", "9600", "38400", "57600", "115200", "230400", "460800", "921600"}) {
    m_comRate->addItem(QString::fromLatin1(rate));
  }
  m_comRate->hide();
  m_comParity = addList(this, "ComParity", QRect(96, 160, 84, 24));
  m_comParity->addItems({tr("None"), tr("Even"), tr("Odd")});
  m_comParity->hide();

  connect(m_comPort, &QComboBox::currentIndexChanged, this, &TFrmOption::showDevicePath);
  connect(m_comDevice, &QComboBox::currentTextChanged, this, [this](const QString& text) {
    if (m_showingPath || m_comPort->currentIndex() < 0) return;
    m_paths.setPath(m_comPort->currentIndex() + 1, text.toStdString());
  });
  FormCreate();
}

void TFrmOption::FormCreate() {
  const PortListSelection lists = PortListsFor(m_values);
  m_comPort->setCurrentIndex(lists.comPort);
  m_comRate->setCurrentIndex(lists.comRate);
  m_comParity->setCurrentIndex(lists.comParity);
  for (QComboBox* list : {m_comPort, m_comRate, m_comParity, m_comDevice}) {
    list->setEnabled(lists.enabled);
  }
  showDevicePath();
}

void TFrmOption::showDevicePath() {
  m_showingPath = true;
  const int index = m_comPort->currentIndex();
  m_comDevice->setEditText(index < 0 ? QString()
                                     : QString::fromStdString(m_paths.pathFor(index + 1)));
  m_showingPath = false;
}

PortListSelection TFrmOption::lists() const {
  PortListSelection lists;
  lists.comPort = m_comPort->currentIndex();
  lists.comRate = m_comRate->currentIndex();
  lists.comParity = m_comParity->currentIndex();
  lists.enabled = m_comPort->isEnabled();
  return lists;
}

void TFrmOption::OKBtnClick() { reject(); }

void TFrmOption::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) FormHide();
}

void TFrmOption::FormHide() {
  if (!m_values.open) {
    try {
      m_paths.save();
    } catch (const std::exception& e) {
      m_boxes.Show(e.what(), kErrorCaption, MessageBoxes::Icon::Error);
    }
  }
  const SerialPortChanges changes = PortChangesFrom(lists(), m_values.open);
  if (!OnApply) return;
  // An open port whose device has gone refuses even the settings it had; the refusal is
  // shown and the dialog still closes (an exception must not leave the hide event).
  try {
    OnApply(changes);
  } catch (const ECommError& e) {
    std::string text = UiText(kCommErrorContext, e.what());
    if (!e.Detail().empty()) text += "\n" + e.Detail();
    m_boxes.Show(text, kErrorCaption, MessageBoxes::Icon::Error);
  } catch (const std::exception& e) {
    m_boxes.Show(e.what(), kErrorCaption, MessageBoxes::Icon::Error);
  }
}

}  // namespace velqor

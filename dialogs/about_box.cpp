#include "dialogs/about_box.h"

#include <QEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "dialogs/memory_status.h"
#include "widgets/fonts.h"

namespace velqor {

namespace {

// What the box shows for a figure the system does not tell.
constexpr char kUnknown[] = QT_TRANSLATE_NOOP("velqor::TFrmAbout", "(unavailable)");

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                 QPoint at) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::yellow);
  label->setPalette(palette);
  label->setAutoFillBackground(false);  // transparent over the picture
  // A click on a label is a click on the picture beneath it.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->move(at);
  label->adjustSize();
  return label;
}

// The bus levels of a few bits of a CAN frame, dominant = 0.
constexpr char kBits[] = "1110100100011010010111100110100011111";

}  // namespace

QImage TFrmAbout::Picture() {
  QImage image(kImageWidth, kImageHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, kImageHeight);
  sky.setColorAt(0.0, QColor(0x10, 0x24, 0x46));
  sky.setColorAt(0.55, QColor(0x06, 0x10, 0x22));
  sky.setColorAt(1.0, QColor(0x01, 0x03, 0x08));
  painter.fillRect(image.rect(), sky);

  // An oscilloscope's graticule.
  painter.setPen(QPen(QColor(90, 140, 190, 45), 1));
  for (int x = 1; x < kImageWidth; x += 20) painter.drawLine(x, 0, x, kImageHeight);
  for (int y = 9; y < kImageHeight; y += 20) painter.drawLine(0, y, kImageWidth, y);

  // CAN_H and CAN_L: recessive both at 2.5 V, dominant 3.5 V and 1.5 V, with edges that take
  // a moment and ring a little.
  const double bitWidth = 8.0;
  const double left = 13.0;
  const auto trace = [&](double recessiveY, double dominantY) {
    QPainterPath path;
    double y = recessiveY;
    path.moveTo(0, y);
    path.lineTo(left, y);
    for (int i = 0; kBits[i] != '\0'; ++i) {
      const double x = left + i * bitWidth;
      const double target = kBits[i] == '0' ? dominantY : recessiveY;
      if (target != y) {
        const double overshoot = (target - y) * 0.12;
        path.cubicTo(x + 0.8, y, x + 1.2, target + overshoot, x + 2.2, target + overshoot);
        path.quadTo(x + 3.2, target - overshoot * 0.5, x + 4.0, target);
        y = target;
      }
      path.lineTo(x + bitWidth, y);
    }
    path.lineTo(kImageWidth, y);
    return path;
  };
  const QPainterPath canH = trace(104, 80);
  const QPainterPath canL = trace(104, 128);
  painter.setBrush(Qt::NoBrush);
  for (const auto& [path, colour] :
       {std::pair{canH, QColor(255, 170, 60)}, std::pair{canL, QColor(70, 200, 255)}}) {
    QColor glow = colour;
    glow.setAlpha(60);
    painter.setPen(QPen(glow, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
  }
  painter.end();
  return image;
}

TFrmAbout::TFrmAbout(QWidget* parent, std::filesystem::path memInfo)
    : QDialog(parent), m_memInfo(std::move(memInfo)) {
  setObjectName(QStringLiteral("FrmAbout"));
  setWindowTitle(tr("About Velqor"));
  setFixedSize(kClientWidth, kClientHeight);
  setAttribute(Qt::WA_QuitOnClose, false);

  m_image = new QLabel(this);
  m_image->setObjectName(QStringLiteral("Image1"));
  m_image->setGeometry(0, 0, kImageWidth, kImageHeight);
  m_image->setPixmap(QPixmap::fromImage(Picture()));
  m_image->installEventFilter(this);

  const QFont title = MakeFont(QStringLiteral("Century"), 19);
  const QFont small = MakeFont(QStringLiteral("Arial"), 12);
  addLabel(this, "Label1", QStringLiteral("Velqor"), title, QPoint(16, 10));
  m_version = addLabel(this, "LabVersion", QString(), title, QPoint(16, 36));
  QLabel* label3 =
      addLabel(this, "Label3", tr("Physical Memory Available to Windows:"), small, QPoint(6, 156));
  m_physMem =
      addLabel(this, "PhysMem", QString(), small, QPoint(label3->geometry().right() + 4, 156));
  QLabel* label4 = addLabel(this, "Label4", tr("Memory in Use:"), small, QPoint(6, 176));
  m_freeRes =
      addLabel(this, "FreeRes", QString(), small, QPoint(label4->geometry().right() + 4, 176));
}

void TFrmAbout::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TFrmAbout::FormShow() {
  m_version->setText(QString::fromLatin1(kVersion));
  const std::optional<MemoryStatus> status = ReadMemoryStatus(m_memInfo);
  m_physMem->setText(status ? QString::fromStdString(PhysMemText(status->totalPhysBytes))
                            : tr(kUnknown));
  m_freeRes->setText(status ? QString::fromStdString(MemoryLoadText(status->memoryLoad))
                            : tr(kUnknown));
  for (QLabel* label : {m_version, m_physMem, m_freeRes}) label->adjustSize();
}

void TFrmAbout::Image1Click() { accept(); }

bool TFrmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_image && event->type() == QEvent::MouseButtonPress) {
    Image1Click();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace velqor

// velqor-screenshots DIR: the main window with each page in front, saved as PNG files in DIR
// (wave.png, receive.png, txset.png, config.png), for looking at the layout. The Receive
// page shows the frames of the hidden "Debug" button. Run it under Xvfb
// (scripts/screenshots.sh) or with QT_QPA_PLATFORM=offscreen.

#include <QCoreApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "app/application.h"
#include "app/main_window.h"
#include "common/message_boxes.h"
#include "link/protocol.h"
#include "traffic/receive_page.h"

namespace {

class PrintedBoxes : public velqor::MessageBoxes {
 public:
  void Show(const std::string& text, const std::string& caption, Icon) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
  bool Confirm(const std::string& text, const std::string& caption, Icon icon) override {
    Show(text, caption, icon);
    return false;
  }
};

void Settle() {
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

}  // namespace

int main(int argc, char** argv) {
  velqor::VelqorApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: velqor-screenshots DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "velqor-screenshots: cannot create %s\n", argv[1]);
    return 1;
  }
  PrintedBoxes boxes;
  app.setMessageBoxes(&boxes);
  // Settings from a scratch file, so that the pages show the defaults and nothing is left
  // behind in the working directory.
  QTemporaryDir scratch;
  velqor::TFrmMain::Options options;
  options.settingsPath = scratch.filePath(QStringLiteral("Velqor.INI")).toStdString();
  velqor::TFrmMain window(boxes, options);
  window.show();
  window.BtnDebugClick();
  // A few frames with data, standard and extended, to show the data column.
  const std::uint32_t ids[] = {0x7FF, 0x18DA10F1, 0x123};
  for (std::uint32_t i = 0; i < 3; ++i) {
    velqor::ReceivedCanFrame f;
    f.ide = ids[i] > 0x7FF;
    f.id = ids[i];
    f.dlc = static_cast<std::uint8_t>(8 - 3 * i);
    f.data = {0x10, 0xFF, 0x01, 0xA5, 0x5A, 0x00, 0x7F, 0x80};
    const auto payload = f.Encode();
    const velqor::Frame frame =
        velqor::MakeFrame(velqor::Category::Can, velqor::Cmd::ReceivedCanFrame, payload);
    window.Feed(frame.data(), frame.size());
  }
  Settle();
  window.receivePage()->model()->flush();

  auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  const char* const names[] = {"wave", "receive", "txset", "config"};
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    Settle();
    const QString path = dir.filePath(QString::fromLatin1(names[i]) + QStringLiteral(".png"));
    if (!window.grab().save(path)) {
      std::fprintf(stderr, "velqor-screenshots: cannot write %s\n", qPrintable(path));
      return 1;
    }
    std::printf("%s\n", qPrintable(path));
  }
  return 0;
}

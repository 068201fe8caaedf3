#pragma once
// TFrmAbout, the About box: the product name, the version and two memory figures over a
// picture. A click on the picture closes it, as does the close box.

#include <QDialog>
#include <QImage>
#include <filesystem>

class QLabel;

namespace velqor {

class TFrmAbout : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 318;
  static constexpr int kClientHeight = 199;
  static constexpr int kImageWidth = 322;
  static constexpr int kImageHeight = 199;
  static constexpr char kVersion[] = "3.1.0";

  // `memInfo`: where the memory figures are read, each time the box shows.
  explicit TFrmAbout(QWidget* parent = nullptr, std::filesystem::path memInfo = "/proc/meminfo");

  void Image1Click();

  // The picture: a CAN frame's differential waveform on a dark screen.
  static QImage Picture();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();

  std::filesystem::path m_memInfo;
  QLabel* m_image = nullptr;
  QLabel* m_version = nullptr;
  QLabel* m_physMem = nullptr;
  QLabel* m_freeRes = nullptr;
};

}  // namespace velqor

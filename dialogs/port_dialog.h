#pragma once
// TFrmOption, the serial port dialog: the COM number of the main window's serial component,
// and on this system the device path that number stands for. Created for each use, shown
// modally, destroyed afterwards. It reads the component's values when it is created and
// writes them back when it is hidden (by "Close", Esc or the close box).

#include <QDialog>
#include <filesystem>
#include <functional>
#include <vector>

#include "common/ini_file.h"
#include "common/message_boxes.h"
#include "dialogs/port_choice.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace velqor {

struct PortDialogOptions {
  // Where serial devices are looked for.
  std::vector<std::filesystem::path> deviceRoots = {"/dev"};
};

class TFrmOption : public QDialog {
  Q_OBJECT

 public:
  using Options = PortDialogOptions;

  static constexpr int kClientWidth = 188;
  // 137 pixels hold the port list and its note; the device path row below needs 48 more.
  static constexpr int kClientHeight = 185;

  // `values`: the serial component's (CommX1). `ini` (the settings file, section PORTS) and
  // `boxes` must outlive the dialog.
  TFrmOption(const SerialPortValues& values, IniFile& ini, MessageBoxes& boxes,
             Options options = {}, QWidget* parent = nullptr);

  // FormHide hands the values for the component here; a value not set stays as it is.
  std::function<void(const SerialPortChanges&)> OnApply;

  // The lists as they stand.
  PortListSelection lists() const;
  void OKBtnClick();

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void FormCreate();
  void FormHide();
  void showDevicePath();

  SerialPortValues m_values;
  MessageBoxes& m_boxes;
  Options m_options;
  PortPathChoice m_paths;
  bool m_showingPath = false;

  QComboBox* m_comPort = nullptr;
  QComboBox* m_comRate = nullptr;
  QComboBox* m_comParity = nullptr;
  QComboBox* m_comDevice = nullptr;
};

}  // namespace velqor

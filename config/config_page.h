#pragma once
// The "Config" page: the group "Receive Mail Box" with sixteen rows (Chrx n, EditIdRx n,
// EditRxMask n, ChkRxIde n, and the hidden SpinRxDlc n and MaskEditRx n), the bit rate and
// sample timing, the console format, the terminator, the three parameter buttons, the device
// information and the data-log controls.
//
// The page builds and places its controls, holds them (the receive rows in row arrays, index
// i is row i + 1, each control's "Tag" property its row number, the tab order along the
// rows), binds them to its logic (DeviceParameters, which it owns and which the window's
// message dispatch hands the adapter's answers to) and loads and saves their settings. What
// the logic reports goes to the status bar through `resultText`; the data-log controls are
// the window's to bind. Beside ChkLog, in space of its own, CmbLogFormat chooses the format
// of the data log files (the program's own by default).

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "canlog/log_format.h"
#include "common/message_boxes.h"
#include "common/settings.h"
#include "config/device_parameters.h"
#include "link/device_sender.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace velqor {

class MaskedEdit;
class RadioGroup;

class ConfigPage : public QWidget, private ConfigPageView {
  Q_OBJECT

 public:
  static constexpr int kRows = kRxMailboxCount;
  static constexpr int kEditTop = 37;
  static constexpr int kCheckTop = 40;
  static constexpr int kRowStep = 21;

  // `sender` and `boxes` must outlive the page; `table` is the window's SampleTimingTable
  // (the logic reads and fills it); `resultText` shows a text in ResultPanel.
  ConfigPage(DeviceSender& sender, MessageBoxes& boxes, SampleTimingTable& table,
             std::function<void(std::string_view)> resultText, QWidget* parent = nullptr);
  ~ConfigPage() override;

  DeviceParameters& parameters() { return *m_parameters; }

  // Handlers: a bit rate chosen by the user, the DLC of receive row `row` changed.
  void CmbBitRateChange();
  void SpinRxDlcChange(int row);

  // Settings, loaded in the order they have always been read. The receive rows (RXCONF): per
  // row the box, identifier, mask, the DLC (which sets the data mask), the data, the ide.
  void loadMailboxes(const std::array<RxMailboxSettings, kRxMailboxCount>& rows);
  void saveMailboxes(std::array<RxMailboxSettings, kRxMailboxCount>& rows) const;
  // OPTION TERM and COSOLEMODE.
  void loadOptions(const OptionSettings& option);
  void saveOptions(OptionSettings& option) const;
  // BITIM BITRATE and TIMING, after the window's SampleTimingTable was loaded: selects the
  // bit rate, refills the sample timings (CmbBitRateChange) and selects the timing.
  void loadBitTiming(const BitimSettings& bitim);
  void saveBitTiming(BitimSettings& bitim) const;

  QGroupBox* mailboxGroup() const { return m_mailboxes; }

  // The formats CmbLogFormat offers, in the order of its items.
  static constexpr LogFormat kLogFormats[] = {LogFormat::DataLog, LogFormat::Candump,
                                              LogFormat::Asc, LogFormat::Blf, LogFormat::Csv};
  LogFormat logFormat() const;
  void setLogFormat(LogFormat format);

  // Receive rows, index i = row i + 1.
  std::array<QCheckBox*, kRows> Chrx{};
  std::array<QLineEdit*, kRows> EditIdRx{};
  std::array<QCheckBox*, kRows> ChkRxIde{};
  std::array<QSpinBox*, kRows> SpinRxDlc{};
  std::array<QLineEdit*, kRows> EditRxMask{};
  std::array<MaskedEdit*, kRows> MaskEditRx{};
  // The other controls.
  QComboBox* CmbBitRate = nullptr;
  QComboBox* CombSmpleTime = nullptr;
  RadioGroup* RadioTerminalForm = nullptr;
  QCheckBox* ChkTerm = nullptr;
  QPushButton* BtnReadParam = nullptr;
  QPushButton* BtnConfigSet = nullptr;
  QPushButton* BtnStiore = nullptr;
  QLabel* LabVersion = nullptr;
  QLabel* LabDevice = nullptr;
  QCheckBox* ChkLog = nullptr;
  QLabel* PnlSavefileName = nullptr;
  QComboBox* CmbLogFormat = nullptr;

 private:
  void buildRows();
  void buildRight();

  // ConfigPageView.
  RxMailboxRow RxMailbox(int index) const override;
  void SetRxMailbox(int index, const RxMailboxRow& row) override;
  void SetRxDataMask(int index, std::string_view editMask) override;
  int BitRateIndex() const override;
  void SetBitRateIndex(int index) override;
  int SampleTimingIndex() const override;
  void SetSampleTimings(const std::vector<std::string>& items, int selected) override;
  bool Terminator() const override;
  void SetTerminator(bool checked) override;
  int ConsoleFormat() const override;
  void SetConsoleFormat(int index) override;
  void SetVersionText(std::string_view text) override;
  void SetDeviceText(std::string_view text) override;
  void SetResultText(std::string_view text) override;

  std::unique_ptr<DeviceParameters> m_parameters;
  std::function<void(std::string_view)> m_resultText;
  QGroupBox* m_mailboxes = nullptr;
};

}  // namespace velqor

#pragma once
// The conversion window ("&Tools" > "Convert log..."): a recorded log of any format (also an
// old data log of the program, .txt) written again as candump, ASC, BLF or CSV, for the
// tools that read only those. The logic is canlog's ConvertJob; this window binds to it.
//
// Controls (objectName): EditConvertIn and BtnConvertIn (the log), CmbConvertFrom (from the
// extension, or a format named), EditConvertOut and BtnConvertOut (the file written),
// CmbConvertTo (from the extension, or a format named: choosing one puts its extension on the
// output's name), ConvertProgress, LabConvertStatus, BtnConvertStart, BtnConvertCancel.
//
// The conversion runs on a thread of its own; the window shows its progress ten times a
// second and its end (an OwnerWake): the frames written and what the formats could not carry,
// or the file, line (or byte) and what was wrong. The output appears only when all went well;
// a cancelled or failed conversion leaves no file.

#include <QWidget>
#include <memory>

#include "canlog/convert_job.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace velqor {

class OwnerWake;

class ConvertWindow : public QWidget {
  Q_OBJECT

 public:
  // The formats CmbConvertFrom offers after its first item, "from the extension";
  // CmbConvertTo offers the writable ones (all but the last).
  static constexpr LogFormat kFormats[] = {LogFormat::Candump, LogFormat::Asc, LogFormat::Blf,
                                           LogFormat::Csv, LogFormat::DataLog};

  explicit ConvertWindow(QWidget* parent = nullptr);
  ~ConvertWindow() override;  // cancels a conversion that runs

  bool Running() const { return m_running; }
  const ConvertJob& job() const { return m_job; }

  void InClick();
  void OutClick();
  void StartClick();
  void CancelClick();

 private:
  void toChanged();
  void showProgress();
  void finished();  // GUI thread, after the job's thread ended
  void setRunning(bool running);
  void setStatus(const QString& text, bool error = false);

  ConvertJob m_job;
  std::unique_ptr<OwnerWake> m_finishedWake;
  bool m_running = false;

  QLineEdit* m_in = nullptr;
  QPushButton* m_inButton = nullptr;
  QComboBox* m_from = nullptr;
  QLineEdit* m_out = nullptr;
  QPushButton* m_outButton = nullptr;
  QComboBox* m_to = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_start = nullptr;
  QPushButton* m_cancel = nullptr;
  QTimer* m_timer = nullptr;
};

}  // namespace velqor

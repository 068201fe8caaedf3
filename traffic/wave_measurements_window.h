#pragma once
// "Wave measurements": a small window beside the main window that shows the analysis of the
// Wave page's latest capture, a row per measurement and per verdict (pass, warn, fail, ?),
// the verdicts coloured. The page owns it and refreshes it with every capture.

#include <QWidget>

#include "wave/capture_report.h"

class QTreeWidget;

namespace velqor {

class WaveMeasurementsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit WaveMeasurementsWindow(QWidget* parent = nullptr);

  void showAnalysis(const std::vector<ReportRow>& rows);
  QTreeWidget* table() const { return m_table; }

 private:
  QTreeWidget* m_table;
};

}  // namespace velqor

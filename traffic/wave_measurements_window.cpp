#include "traffic/wave_measurements_window.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velqor {

WaveMeasurementsWindow::WaveMeasurementsWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool), m_table(new QTreeWidget(this)) {
  setObjectName(QStringLiteral("WaveMeasurements"));
  setWindowTitle(tr("Wave measurements"));
  m_table->setObjectName(QStringLiteral("WaveMeasurementsTable"));
  m_table->setColumnCount(2);
  m_table->setHeaderLabels({tr("what"), tr("measured")});
  m_table->setRootIsDecorated(false);
  m_table->setWordWrap(true);
  m_table->setSelectionMode(QAbstractItemView::ContiguousSelection);
  m_table->header()->setStretchLastSection(true);
  m_table->setColumnWidth(0, 95);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(m_table);
  resize(620, 380);
  showAnalysis({{tr("frame").toStdString(), tr("no capture yet").toStdString()}});
}

void WaveMeasurementsWindow::showAnalysis(const std::vector<ReportRow>& rows) {
  m_table->clear();
  for (const ReportRow& r : rows) {
    auto* item = new QTreeWidgetItem(
        m_table, {QString::fromStdString(r.label), QString::fromStdString(r.value)});
    item->setToolTip(1, item->text(1));
    QColor colour;
    if (r.label == "pass") colour = QColor(0x00, 0x80, 0x00);
    if (r.label == "warn") colour = QColor(0xC0, 0x70, 0x00);
    if (r.label == "fail") colour = QColor(0xC0, 0x00, 0x00);
    if (colour.isValid()) {
      item->setForeground(0, colour);
      QFont bold = item->font(0);
      bold.setBold(true);
      item->setFont(0, bold);
    }
  }
}

}  // namespace velqor

#include "traffic/signal_plot_window.h"

#include <QFileDialog>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "link/owner_wake.h"

namespace velqor {

namespace {

constexpr int kSignalRole = Qt::UserRole + 1;  // the signal number of a picker item

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Number(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
}

}  // namespace

void PlotChartView::wheelEvent(QWheelEvent* event) {
  emit wheelTurned(event->angleDelta().y() / 120.0, event->position());
  event->accept();
}

void PlotChartView::mouseMoveEvent(QMouseEvent* event) {
  QChartView::mouseMoveEvent(event);  // the rubber band
  emit mouseMovedTo(event->position());
}

void PlotChartView::leaveEvent(QEvent* event) {
  QChartView::leaveEvent(event);
  emit mouseLeft();
}

SignalPlotWindow::SignalPlotWindow(SignalMonitor& monitor, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_monitor(monitor),
      m_boxes(boxes),
      m_filter(new QLineEdit(this)),
      m_picker(new QTreeWidget(this)),
      m_timer(new QTimer(this)) {
  setObjectName(QStringLiteral("SignalPlot"));
  setWindowTitle(QStringLiteral("Plot"));

  m_filter->setObjectName(QStringLiteral("PlotFilter"));
  m_filter->setPlaceholderText(QStringLiteral("Filter"));
  m_filter->setClearButtonEnabled(true);
  connect(m_filter, &QLineEdit::textChanged, this, &SignalPlotWindow::filterPicker);
  m_picker->setObjectName(QStringLiteral("SignalPicker"));
  m_picker->setColumnCount(2);
  m_picker->setHeaderLabels({QStringLiteral("Signal"), QStringLiteral("Unit")});
  m_picker->header()->setStretchLastSection(false);
  m_picker->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  m_picker->setColumnWidth(1, 50);
  m_picker->setUniformRowHeights(true);
  connect(m_picker, &QTreeWidget::itemChanged, this, &SignalPlotWindow::onItemChanged);

  auto* chart = new QChart();
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->legend()->setAlignment(Qt::AlignTop);
  m_axisT = new QValueAxis(chart);
  m_axisT->setTitleText(QStringLiteral("time (s)"));
  m_axisT->setLabelFormat(QStringLiteral("%.6g"));
  m_axisV = new QValueAxis(chart);
  m_axisV->setLabelFormat(QStringLiteral("%.6g"));
  chart->addAxis(m_axisT, Qt::AlignBottom);
  chart->addAxis(m_axisV, Qt::AlignLeft);
  connect(m_axisT, &QValueAxis::rangeChanged, this, &SignalPlotWindow::onUserRange);
  m_view = new PlotChartView(chart, this);
  m_view->setObjectName(QStringLiteral("PlotChart"));
  m_view->setRenderHint(QPainter::Antialiasing, false);  // thousands of segments at 25 Hz
  m_view->setRubberBand(QChartView::HorizontalRubberBand);
  m_view->setMouseTracking(true);
  m_cursor = new QGraphicsLineItem(chart);
  m_cursor->setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
  m_cursor->setZValue(10);
  m_cursor->hide();
  connect(m_view, &PlotChartView::wheelTurned, this, [this](double steps, QPointF at) {
    const double t = m_view->chart()->mapToValue(at).x();
    m_range.zoom(std::pow(0.8, steps), std::isfinite(t) ? t : m_range.t1());
    m_dirty = true;
    refresh();
  });
  connect(m_view, &PlotChartView::mouseMovedTo, this, &SignalPlotWindow::showReadout);
  connect(m_view, &PlotChartView::mouseLeft, this, &SignalPlotWindow::hideReadout);

  m_pause = new QPushButton(QStringLiteral("Pause"), this);
  m_pause->setObjectName(QStringLiteral("BtnPlotPause"));
  m_pause->setCheckable(true);
  connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
    if (paused == !m_range.live()) return;
    if (paused) {
      m_range.pause();
    } else {
      m_range.resume();
    }
    m_dirty = true;
    showPaused();
    refresh();
  });
  m_live = new QPushButton(QStringLiteral("Live"), this);
  m_live->setObjectName(QStringLiteral("BtnPlotLive"));
  m_live->setToolTip(QStringLiteral("Follow the newest values over the last minute"));
  connect(m_live, &QPushButton::clicked, this, [this] {
    m_range.reset();
    m_dirty = true;
    showPaused();
    refresh();
  });
  m_exportButton = new QPushButton(QStringLiteral("Export CSV..."), this);
  m_exportButton->setObjectName(QStringLiteral("BtnPlotExport"));
  m_exportButton->setToolTip(QStringLiteral("Every stored value of the time range shown"));
  connect(m_exportButton, &QPushButton::clicked, this, [this] {
    const QString path =
        m_chooseExportPath ? m_chooseExportPath()
                           : QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                                          QString(), QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) exportCsv(path);
  });
  m_readout = new QLabel(this);
  m_readout->setObjectName(QStringLiteral("PlotReadout"));
  m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_readout->setWordWrap(true);
  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("PlotStatus"));

  auto* left = new QWidget(this);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(m_filter);
  leftLayout->addWidget(m_picker, 1);
  auto* right = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QHBoxLayout;
  bar->addWidget(m_pause);
  bar->addWidget(m_live);
  bar->addWidget(m_exportButton);
  bar->addWidget(m_status, 1);
  rightLayout->addLayout(bar);
  rightLayout->addWidget(m_view, 1);
  rightLayout->addWidget(m_readout);
  auto* split = new QSplitter(this);
  split->addWidget(left);
  split->addWidget(right);
  split->setStretchFactor(1, 1);
  split->setSizes({230, 770});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(split);
  resize(1000, 560);

  m_exportWake = std::make_unique<OwnerWake>([this] { exportFinished(); });
  m_timer->setInterval(kRefreshIntervalMs);
  connect(m_timer, &QTimer::timeout, this, &SignalPlotWindow::refresh);
  rebuild();
  showPaused();
}

SignalPlotWindow::~SignalPlotWindow() {
  m_export.reset();  // waits for the file, before the wake it signals goes
}

void SignalPlotWindow::rebuild() {
  // The lines of the signals the monitor carried over stay, under their new numbers.
  for (auto& [signal, line] : m_lines) {
    m_view->chart()->removeSeries(line);
    delete line;
  }
  m_lines.clear();
  for (const std::uint32_t signal : m_monitor.plottedSignals()) addLine(signal);
  fillPicker();
  m_dirty = true;
  refresh();
}

void SignalPlotWindow::fillPicker() {
  m_fillingPicker = true;
  m_picker->clear();
  const dbc::FrameDecoder& decoder = m_monitor.decoder();
  QList<QTreeWidgetItem*> messages;
  for (std::uint32_t m = 0; m < decoder.messageCount(); ++m) {
    const dbc::FrameDecoder::MessageEntry& entry = decoder.message(m);
    const QString id =
        QStringLiteral("%1")
            .arg(entry.message->id, entry.message->extended ? 8 : 3, 16, QLatin1Char('0'))
            .toUpper();
    auto* message = new QTreeWidgetItem({Utf8(entry.message->name) + QStringLiteral("  ") + id});
    message->setFlags(Qt::ItemIsEnabled);
    for (std::uint32_t s = entry.firstSignal; s < entry.firstSignal + entry.signalCount; ++s) {
      const dbc::FrameDecoder::SignalEntry& signal = decoder.signal(s);
      if (!signal.decoded) continue;
      auto* item =
          new QTreeWidgetItem(message, {Utf8(signal.signal->name), Utf8(signal.signal->unit)});
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
      item->setData(0, kSignalRole, s);
      item->setCheckState(0, m_lines.count(s) != 0 ? Qt::Checked : Qt::Unchecked);
    }
    messages.push_back(message);
  }
  m_picker->addTopLevelItems(messages);
  m_fillingPicker = false;
  filterPicker(m_filter->text());
}

void SignalPlotWindow::filterPicker(const QString& text) {
  for (int m = 0; m < m_picker->topLevelItemCount(); ++m) {
    QTreeWidgetItem* message = m_picker->topLevelItem(m);
    const bool messageMatches = message->text(0).contains(text, Qt::CaseInsensitive);
    bool any = false;
    for (int s = 0; s < message->childCount(); ++s) {
      QTreeWidgetItem* signal = message->child(s);
      const bool shown = messageMatches || signal->text(0).contains(text, Qt::CaseInsensitive);
      signal->setHidden(!shown);
      any = any || shown;
    }
    message->setHidden(!any);
    message->setExpanded(!text.isEmpty() && any);
  }
}

void SignalPlotWindow::onItemChanged(QTreeWidgetItem* item) {
  if (m_fillingPicker || !item->data(0, kSignalRole).isValid()) return;
  const auto signal = item->data(0, kSignalRole).toUInt();
  const bool checked = item->checkState(0) == Qt::Checked;
  if (checked == (m_lines.count(signal) != 0)) return;
  if (checked) {
    m_monitor.startSeries(signal);
    addLine(signal);
  } else {
    removeLine(signal);
    m_monitor.stopSeries(signal);
  }
  m_dirty = true;
  refresh();
}

void SignalPlotWindow::plotSignals(const std::vector<std::uint32_t>& signalNumbers) {
  for (const std::uint32_t s : signalNumbers) setPlotted(s, true);
}

void SignalPlotWindow::setPlotted(std::uint32_t signal, bool plotted) {
  if (signal >= m_monitor.signalCount()) return;
  for (int m = 0; m < m_picker->topLevelItemCount(); ++m) {
    QTreeWidgetItem* message = m_picker->topLevelItem(m);
    for (int s = 0; s < message->childCount(); ++s) {
      QTreeWidgetItem* item = message->child(s);
      if (item->data(0, kSignalRole).toUInt() != signal) continue;
      item->setCheckState(0, plotted ? Qt::Checked : Qt::Unchecked);  // onItemChanged
      if (plotted) m_picker->scrollToItem(item);
      return;
    }
  }
}

void SignalPlotWindow::addLine(std::uint32_t signal) {
  if (m_lines.count(signal) != 0) return;
  const dbc::FrameDecoder::SignalEntry& entry = m_monitor.decoder().signal(signal);
  auto* line = new QLineSeries(this);
  QString name = Utf8(m_monitor.qualifiedName(signal));
  if (!entry.signal->unit.empty()) name += QStringLiteral(" [") + Utf8(entry.signal->unit) + ']';
  line->setName(name);
  m_view->chart()->addSeries(line);
  line->attachAxis(m_axisT);
  line->attachAxis(m_axisV);
  m_lines.emplace(signal, line);
}

void SignalPlotWindow::removeLine(std::uint32_t signal) {
  const auto it = m_lines.find(signal);
  if (it == m_lines.end()) return;
  m_view->chart()->removeSeries(it->second);
  delete it->second;
  m_lines.erase(it);
}

QLineSeries* SignalPlotWindow::line(std::uint32_t signal) const {
  const auto it = m_lines.find(signal);
  return it != m_lines.end() ? it->second : nullptr;
}

void SignalPlotWindow::refresh() {
  if (!isVisible()) return;
  // The newest value of any line; live, the range ends there.
  double latest = 0;
  for (const auto& [signal, line] : m_lines) {
    if (const SignalSeries* series = m_monitor.series(signal); series && series->last())
      latest = std::max(latest, series->last()->t);
  }
  const bool fresh = m_monitor.framesDecoded() != m_drawnFrames;
  if (!m_dirty && !(fresh && m_range.live())) {
    return;
  }
  m_range.follow(latest);
  m_drawnFrames = m_monitor.framesDecoded();
  m_dirty = false;

  const int columns = std::max(1, static_cast<int>(m_view->chart()->plotArea().width()));
  std::vector<std::vector<PlotPoint>> drawn;
  drawn.reserve(m_lines.size());
  for (const auto& [signal, line] : m_lines) {
    const SignalSeries* series = m_monitor.series(signal);
    drawn.emplace_back();
    if (series != nullptr) series->decimate(m_range.t0(), m_range.t1(), columns, drawn.back());
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(drawn.back().size()));
    for (const PlotPoint& p : drawn.back()) points.append(QPointF(p.t, p.v));
    line->replace(points);
  }
  const auto [v0, v1] = valueRange(drawn);
  setAxes(m_range.t0(), m_range.t1(), v0, v1);

  std::uint64_t stored = 0;
  std::uint64_t dropped = 0;
  for (const auto& [signal, line] : m_lines) {
    if (const SignalSeries* series = m_monitor.series(signal)) {
      stored += series->size();
      dropped += series->dropped();
    }
  }
  if (!exporting()) {
    QString text = QStringLiteral("%1 points kept").arg(stored);
    if (dropped != 0) text += QStringLiteral(" (%1 oldest let go)").arg(dropped);
    if (!m_exportNote.isEmpty()) text += QStringLiteral("; ") + m_exportNote;
    m_status->setText(text);
  }
}

void SignalPlotWindow::setAxes(double t0, double t1, double v0, double v1) {
  m_settingAxes = true;
  m_axisT->setRange(t0, t1);
  m_axisV->setRange(v0, v1);
  // About five ticks at round values (1, 2 or 5 times a power of ten), in the range the values
  // need rather than one widened to fit the ticks.
  const double raw = (v1 - v0) / 5;
  if (raw > 0 && std::isfinite(raw)) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    const double step = (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * power;
    m_axisV->setTickAnchor(std::ceil(v0 / step) * step);
    m_axisV->setTickInterval(step);
    m_axisV->setTickType(QValueAxis::TicksDynamic);
  } else {
    m_axisV->setTickType(QValueAxis::TicksFixed);
  }
  m_settingAxes = false;
}

void SignalPlotWindow::onUserRange(qreal t0, qreal t1) {
  if (m_settingAxes) return;
  // The rubber band or the right button's zoom-out: that stretch, paused.
  m_range.setRange(t0, t1);
  m_dirty = true;
  showPaused();
  QTimer::singleShot(0, this, &SignalPlotWindow::refresh);  // not inside the axis's signal
}

void SignalPlotWindow::showPaused() {
  const QSignalBlocker block(m_pause);
  m_pause->setChecked(!m_range.live());
}

void SignalPlotWindow::showReadout(QPointF at) {
  QChart* chart = m_view->chart();
  const QRectF area = chart->plotArea();
  const QPointF inScene = m_view->mapToScene(at.toPoint());
  if (!area.contains(inScene)) {
    hideReadout();
    return;
  }
  const double t = chart->mapToValue(inScene).x();
  m_cursor->setLine(inScene.x(), area.top(), inScene.x(), area.bottom());
  m_cursor->show();
  QString text = QStringLiteral("t = %1 s").arg(t, 0, 'f', 6);
  for (const auto& [signal, line] : m_lines) {
    const SignalSeries* series = m_monitor.series(signal);
    // The value held at t; none before the first value and after the newest one.
    const std::optional<std::size_t> i =
        series && series->last() && t <= series->last()->t ? series->atOrBefore(t) : std::nullopt;
    text += QStringLiteral("    ") + line->name() + QStringLiteral(" = ") +
            (i ? Number(series->value(*i)) : QStringLiteral("-"));
  }
  m_readout->setText(text);
}

void SignalPlotWindow::hideReadout() { m_cursor->hide(); }

bool SignalPlotWindow::exportCsv(const QString& path) {
  if (m_export) return false;
  std::vector<PlotColumn> columns;
  for (const auto& [signal, line] : m_lines) {
    const SignalSeries* series = m_monitor.series(signal);
    if (series == nullptr) continue;
    columns.push_back({m_monitor.qualifiedName(signal),
                       m_monitor.decoder().signal(signal).signal->unit,
                       pointsBetween(*series, m_range.t0(), m_range.t1())});
  }
  const std::int64_t origin = m_monitor.origin() ? m_monitor.origin()->wallUs : 0;
  m_status->setText(QStringLiteral("Writing %1 ...").arg(path));
  m_exportButton->setEnabled(false);
  m_export = std::make_unique<PlotCsvExport>(path.toStdString(), std::move(columns), origin,
                                             [wake = m_exportWake.get()] { wake->Wake(); });
  return true;
}

void SignalPlotWindow::exportFinished() {
  if (!m_export) return;
  const PlotCsvResult result = m_export->result();
  const QString path = QString::fromStdString(m_export->path());
  m_export.reset();
  m_exportButton->setEnabled(true);
  m_dirty = true;  // the status line
  if (result.ok) {
    m_exportNote = QStringLiteral("%1 rows written to %2").arg(result.rows).arg(path);
  } else {
    m_exportNote = QStringLiteral("export failed");
    m_boxes.Show("The plot could not be exported:\n" + result.error, "Velqor",
                 MessageBoxes::Icon::Error);
  }
}

void SignalPlotWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_dirty = true;
  refresh();
  m_timer->start();
}

void SignalPlotWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  m_timer->stop();
}

void SignalPlotWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_dirty = true;  // another number of pixel columns
}

void SignalPlotWindow::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) && !m_range.live()) {
    m_range.pan((event->key() == Qt::Key_Left ? -0.1 : 0.1) * m_range.span());
    m_dirty = true;
    refresh();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace velqor

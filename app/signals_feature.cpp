#include "app/signals_feature.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <algorithm>
#include <set>

#include "app/receive_path.h"
#include "link/owner_wake.h"
#include "sigmon/dbc_settings.h"
#include "traffic/mailbox_signals_dialog.h"
#include "traffic/signal_plot_window.h"
#include "traffic/signal_view_window.h"
#include "traffic/txset_page.h"
#include "widgets/masked_edit.h"

namespace velqor {

namespace {

QString FromPath(const std::string& path) { return QFile::decodeName(path.c_str()); }
std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

SignalsFeature::SignalsFeature(QWidget& window, MessageBoxes& boxes, ReceivePath& receivePath,
                               TxSetPage& txSet, std::function<void(QDialog&)> runModal)
    : m_window(window),
      m_boxes(boxes),
      m_receivePath(receivePath),
      m_txSet(txSet),
      m_runModal(std::move(runModal)),
      m_namerDecoder(std::make_shared<std::shared_ptr<const dbc::FrameDecoder>>(m_set.decoder())),
      m_menu(new QMenu(QStringLiteral("&Signals"), &window)) {
  if (!m_runModal) m_runModal = [](QDialog& dialog) { dialog.exec(); };
  m_jobWake = std::make_unique<OwnerWake>([this] { jobFinished(); });

  m_menu->setObjectName(QStringLiteral("MenuSignals"));
  m_menu->menuAction()->setObjectName(QStringLiteral("Signals1"));
  m_menu->setToolTipsVisible(true);
  QAction* load = m_menu->addAction(QStringLiteral("&Load DBC file(s)..."));
  load->setObjectName(QStringLiteral("ActLoadDbc"));
  connect(load, &QAction::triggered, this, [this] {
    const QStringList paths =
        m_chooseFiles
            ? m_chooseFiles()
            : QFileDialog::getOpenFileNames(&m_window, QStringLiteral("Load DBC files"), QString(),
                                            QStringLiteral("DBC files (*.dbc);;All "
                                                           "files (*)"));
    if (!paths.isEmpty()) loadFiles(paths);
  });
  m_menu->addSeparator();
  m_filesEnd = m_menu->addSeparator();
  QAction* view = m_menu->addAction(QStringLiteral("Signal &view"));
  view->setObjectName(QStringLiteral("ActSignalView"));
  connect(view, &QAction::triggered, this, [this] { showSignalView(); });
  QAction* plot = m_menu->addAction(QStringLiteral("&Plot"));
  plot->setObjectName(QStringLiteral("ActSignalPlot"));
  connect(plot, &QAction::triggered, this, [this] { showPlot(); });
  m_menu->addSeparator();
  QAction* mailbox = m_menu->addAction(QStringLiteral("&Mailbox from signals..."));
  mailbox->setObjectName(QStringLiteral("ActMailboxSignals"));
  mailbox->setToolTip(
      QStringLiteral("Fills a TxSet mailbox from the signal values of a message "
                     "(also: right click on the mailbox row)"));
  connect(mailbox, &QAction::triggered, this, [this] { editMailbox(1); });
  rebuildFileEntries();

  // The TxSet rows: a context menu on the group, which gets the right clicks of the row
  // controls that have no menu of their own.
  QGroupBox* group = m_txSet.group();
  group->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(group, &QWidget::customContextMenuRequested, this, &SignalsFeature::showTxSetMenu);

  m_receivePath.addFrameConsumer(*this);
}

SignalsFeature::~SignalsFeature() {
  m_receivePath.removeFrameConsumer(*this);
  m_namerDecoder->reset();
  delete m_view;
  delete m_plot;
  delete m_menu;
  m_job.reset();  // waits for the file being read
}

void SignalsFeature::loadSettings(const IniFile& ini) {
  const DbcSettings settings = loadDbcSettings(ini);
  QStringList paths;
  for (const std::string& p : settings.files) paths << FromPath(p);
  if (!paths.isEmpty()) loadFiles(paths);
}

void SignalsFeature::saveSettings(IniFile& ini) const {
  DbcSettings settings;
  settings.files = m_set.paths();
  if (m_job) {
    for (const std::string& p : m_job->paths()) settings.files.push_back(p);
  }
  for (const std::string& p : m_waiting) settings.files.push_back(p);
  // A file being loaded again is listed once, where it stands.
  std::set<std::string> seen;
  std::erase_if(settings.files, [&seen](const std::string& p) { return !seen.insert(p).second; });
  saveDbcSettings(ini, settings);
}

void SignalsFeature::loadFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    const QFileInfo info(path);
    const std::string p = ToPath(info.isRelative() ? info.absoluteFilePath() : path);
    if (std::find(m_waiting.begin(), m_waiting.end(), p) == m_waiting.end()) m_waiting.push_back(p);
  }
  if (!m_job) startNextJob();
}

void SignalsFeature::unloadFile(const QString& path) {
  if (m_set.remove(ToPath(path))) applyFiles();
}

void SignalsFeature::startNextJob() {
  if (m_waiting.empty()) return;
  m_job = std::make_unique<DbcLoadJob>(std::move(m_waiting),
                                       [wake = m_jobWake.get()] { wake->Wake(); });
  m_waiting.clear();
  rebuildFileEntries();  // "loading..."
}

void SignalsFeature::jobFinished() {
  if (!m_job) return;
  std::vector<DbcFile> files = m_job->take();
  m_job.reset();
  const std::vector<std::string> notesBefore = m_set.decoder()->notes();
  std::string failed;
  for (DbcFile& f : files) {
    if (!f.loaded()) failed += "\n" + f.error;
    m_set.put(std::move(f));
  }
  applyFiles();
  std::string notes;
  for (const std::string& n : m_set.decoder()->notes()) {
    if (std::find(notesBefore.begin(), notesBefore.end(), n) == notesBefore.end())
      notes += "\n" + n;
  }
  startNextJob();
  if (!failed.empty() || !notes.empty()) {
    std::string text;
    if (!failed.empty()) text = "These DBC files could not be loaded:" + failed;
    if (!notes.empty()) text += (text.empty() ? "" : "\n\n") + std::string("Left out:") + notes;
    m_boxes.Show(text, "Velqor", MessageBoxes::Icon::Warning);
  }
}

void SignalsFeature::applyFiles() {
  m_monitor.setDecoder(m_set.decoder());
  *m_namerDecoder = m_set.decoder();
  if (m_view) m_view->rebuild();
  if (m_plot) m_plot->rebuild();
  rebuildFileEntries();
  emit messageNamerChanged();
}

void SignalsFeature::rebuildFileEntries() {
  // Later: the entry may be the one whose action runs now (its "Reload", "Unload"). A file's
  // entry is the action of its menu, which owns it.
  for (QAction* a : m_fileEntries) {
    m_menu->removeAction(a);
    if (QMenu* sub = a->menu())
      sub->deleteLater();
    else
      a->deleteLater();
  }
  m_fileEntries.clear();
  auto entry = [this](const QString& title, const QString& tip) {
    auto* sub = new QMenu(title, m_menu);
    m_menu->insertMenu(m_filesEnd, sub);
    sub->menuAction()->setToolTip(tip);
    m_fileEntries.push_back(sub->menuAction());
    return sub;
  };
  for (const DbcFile& f : m_set.files()) {
    const QString path = FromPath(f.path);
    QString title = QFileInfo(path).fileName();
    QString tip = path;
    if (f.loaded()) {
      title += QStringLiteral("  (%1 messages)").arg(f.database->messages.size());
      if (!f.database->warnings.empty())
        tip += QStringLiteral("\n%1 warnings (velqor-cli dbc lists them)")
                   .arg(f.database->warnings.size());
    } else {
      title += QStringLiteral("  (not loaded)");
      tip = QString::fromStdString(f.error);
    }
    QMenu* sub = entry(title, tip);
    if (!f.loaded()) sub->addAction(QString::fromStdString(f.error))->setEnabled(false);
    QAction* reload = sub->addAction(QStringLiteral("&Reload"));
    reload->setObjectName(QStringLiteral("ActReloadDbc"));
    connect(reload, &QAction::triggered, this, [this, path] { loadFiles({path}); });
    QAction* unload = sub->addAction(QStringLiteral("&Unload"));
    unload->setObjectName(QStringLiteral("ActUnloadDbc"));
    connect(unload, &QAction::triggered, this, [this, path] { unloadFile(path); });
  }
  if (m_job) {
    QAction* a =
        new QAction(QStringLiteral("Loading %1 file(s)...").arg(m_job->paths().size()), m_menu);
    a->setEnabled(false);
    m_menu->insertAction(m_filesEnd, a);
    m_fileEntries.push_back(a);
  } else if (m_set.files().empty()) {
    QAction* a = new QAction(QStringLiteral("No DBC file loaded"), m_menu);
    a->setEnabled(false);
    m_menu->insertAction(m_filesEnd, a);
    m_fileEntries.push_back(a);
  }
}

SignalViewWindow* SignalsFeature::showSignalView() {
  if (!m_view) {
    m_view = new SignalViewWindow(m_monitor, &m_window);
    connect(m_view, &SignalViewWindow::plotRequested, this,
            [this](const std::vector<std::uint32_t>& chosen) { showPlot()->plotSignals(chosen); });
  }
  m_view->show();
  m_view->raise();
  return m_view;
}

SignalPlotWindow* SignalsFeature::showPlot() {
  if (!m_plot) m_plot = new SignalPlotWindow(m_monitor, m_boxes, &m_window);
  m_plot->show();
  m_plot->raise();
  return m_plot;
}

void SignalsFeature::editMailbox(int row) {
  auto rowText = [this](int n) {
    const auto i = static_cast<std::size_t>(std::clamp(n, 1, TxSetPage::kRows) - 1);
    return TxRowText{m_txSet.EditIdTx[i]->text().toStdString(), m_txSet.CSpinDLC[i]->value(),
                     m_txSet.ChkTxIde[i]->isChecked(), m_txSet.MaskEdit[i]->text().toStdString()};
  };
  MailboxSignalsDialog dialog(m_set.decoder(), rowText, row, &m_window);
  m_runModal(dialog);
  if (dialog.result() != QDialog::Accepted || !dialog.encoding().ok()) return;
  const TxRowText& filled = dialog.encoding().row;
  const auto i = static_cast<std::size_t>(dialog.row() - 1);
  m_txSet.EditIdTx[i]->setText(QString::fromStdString(filled.id));
  m_txSet.ChkTxIde[i]->setChecked(filled.ide);
  m_txSet.CSpinDLC[i]->setValue(filled.dlc);  // its change handler gives the data its mask
  m_txSet.MaskEdit[i]->setText(QString::fromStdString(filled.data));
}

void SignalsFeature::showTxSetMenu(const QPoint& pos) {
  // The row under the click: its edits span kEditTop + kRowStep * i and the step below.
  const int offset = pos.y() - (TxSetPage::kEditTop - 2);
  if (offset < 0 || offset >= TxSetPage::kRowStep * TxSetPage::kRows) return;
  const int row = offset / TxSetPage::kRowStep + 1;
  auto* menu = new QMenu(&m_window);
  menu->setObjectName(QStringLiteral("MenuMailboxRow"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  QAction* edit = menu->addAction(QStringLiteral("Mailbox %1 from signals...").arg(row));
  edit->setObjectName(QStringLiteral("ActMailboxRowSignals"));
  connect(
      edit, &QAction::triggered, this, [this, row] { editMailbox(row); },
      Qt::QueuedConnection);  // after the menu has closed
  menu->popup(m_txSet.group()->mapToGlobal(pos));
}

std::function<QString(const CanFrame&)> SignalsFeature::messageNamer() const {
  return [decoder = m_namerDecoder](const CanFrame& frame) {
    return *decoder ? QString::fromStdString(messageName(**decoder, frame)) : QString();
  };
}

void SignalsFeature::OnFrames(std::span<const CanFrame> frames) { m_monitor.onFrames(frames); }

}  // namespace velqor

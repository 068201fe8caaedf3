#include "traffic/receive_page.h"

#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

#include "traffic/fixed_text_delegate.h"
#include "widgets/fonts.h"
#include "widgets/radio_group.h"

namespace velqor {

ReceivePage::ReceivePage(ReceivedFrameModel::Clock clock, QWidget* parent)
    : QWidget(parent), m_model(new ReceivedFrameModel(std::move(clock), this)) {
  m_listView = new QTableView(this);
  m_listView->setObjectName(QStringLiteral("ListView"));
  m_listView->setGeometry(4, 4, 587, 352);
  m_listView->setFont(MakeFont(QString::fromUtf8(kFontGothic), 13, true));
  m_listView->setModel(m_model);
  // The texts are painted at display rate for every visible row: without a layout each.
  m_listView->setItemDelegate(new FixedTextDelegate(m_listView));
  m_listView->setShowGrid(true);
  m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_listView->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_listView->setSelectionMode(QAbstractItemView::SingleSelection);
  m_listView->setWordWrap(false);
  m_listView->verticalHeader()->hide();
  m_listView->verticalHeader()->setMinimumSectionSize(15);
  m_listView->verticalHeader()->setDefaultSectionSize(18);
  m_listView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  QHeaderView* header = m_listView->horizontalHeader();
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(16);
  m_model->setStatistics(&m_stats);
  for (int c = 0; c < ReceivedFrameModel::kAllColumns; ++c)
    m_listView->setColumnWidth(c, ReceivedFrameModel::columnWidth(c));
  // Hidden, and placed before Data: shown, they are in sight without scrolling sideways,
  // Data's bytes going on to the right.
  for (int c = ReceivedFrameModel::kColumnCount; c < ReceivedFrameModel::kAllColumns; ++c) {
    m_listView->setColumnHidden(c, true);
    header->moveSection(header->visualIndex(c), header->visualIndex(ReceivedFrameModel::kData));
  }
  connect(header, &QHeaderView::sectionClicked, m_model, &ReceivedFrameModel::ListViewColumnClick);

  // The optional columns, from the header's context menu.
  m_columnMenu = new QMenu(this);
  m_columnMenu->setObjectName(QStringLiteral("ReceiveColumnMenu"));
  static const char* const kNames[] = {QT_TR_NOOP("Count: frames received"),
                                       QT_TR_NOOP("Cycle: last interval (ms)"),
                                       QT_TR_NOOP("Mean: mean of the last 10 intervals (ms)"),
                                       QT_TR_NOOP("Tx: frames sent by this program")};
  for (int c = ReceivedFrameModel::kColumnCount; c < ReceivedFrameModel::kAllColumns; ++c) {
    QAction* action = m_columnMenu->addAction(tr(kNames[c - ReceivedFrameModel::kColumnCount]));
    action->setCheckable(true);
    connect(action, &QAction::toggled, this,
            [this, c](bool shown) { m_listView->setColumnHidden(c, !shown); });
  }
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QHeaderView::customContextMenuRequested, this, [this, header](QPoint at) {
    const QList<QAction*> actions = m_columnMenu->actions();
    for (int i = 0; i < actions.size(); ++i)
      actions[i]->setChecked(!m_listView->isColumnHidden(ReceivedFrameModel::kColumnCount + i));
    m_columnMenu->popup(header->mapToGlobal(at));
  });

  m_rxDispFormat = new RadioGroup(tr("Receive Data View Format"), {tr("HEX"), tr("DEC")}, 2, this);
  m_rxDispFormat->setObjectName(QStringLiteral("RxDispFormat"));
  m_rxDispFormat->setGeometry(8, 362, 201, 49);
  m_rxDispFormat->setItemIndex(0);

  m_btnClear = new QPushButton(tr("Clear"), this);
  m_btnClear->setObjectName(QStringLiteral("BtnClear"));
  m_btnClear->setGeometry(496, 376, 89, 25);
  connect(m_btnClear, &QPushButton::clicked, m_model, &ReceivedFrameModel::Clear);
  connect(m_btnClear, &QPushButton::clicked, this, [this] { m_stats.clear(); });
}

void ReceivePage::OnFrames(std::span<const CanFrame> frames) {
  m_stats.add(frames);
  const int format = m_rxDispFormat->itemIndex();
  // The received frames into the list, in the runs between the sent ones; a sent frame only
  // repaints its identifier's row (its Tx count).
  for (std::size_t i = 0; i < frames.size();) {
    std::size_t j = i;
    while (j < frames.size() && !frames[j].tx()) ++j;
    if (j > i) m_model->ShowReceivedFrames(frames.subspan(i, j - i), format);
    if (j < frames.size()) m_model->touch(frames[j].id);
    i = j + 1;
  }
}

ReceiveColumnSettings ReceivePage::statisticsColumns() const {
  ReceiveColumnSettings c;
  c.count = !m_listView->isColumnHidden(ReceivedFrameModel::kCount);
  c.cycle = !m_listView->isColumnHidden(ReceivedFrameModel::kCycle);
  c.mean = !m_listView->isColumnHidden(ReceivedFrameModel::kMean);
  c.txCount = !m_listView->isColumnHidden(ReceivedFrameModel::kTxCount);
  return c;
}

void ReceivePage::setStatisticsColumns(const ReceiveColumnSettings& c) {
  m_listView->setColumnHidden(ReceivedFrameModel::kCount, !c.count);
  m_listView->setColumnHidden(ReceivedFrameModel::kCycle, !c.cycle);
  m_listView->setColumnHidden(ReceivedFrameModel::kMean, !c.mean);
  m_listView->setColumnHidden(ReceivedFrameModel::kTxCount, !c.txCount);
}

}  // namespace velqor

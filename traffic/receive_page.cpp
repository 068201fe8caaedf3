#include "traffic/receive_page.h"

#include <QHeaderView>
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
  for (int c = 0; c < ReceivedFrameModel::kColumnCount; ++c)
    m_listView->setColumnWidth(c, ReceivedFrameModel::columnWidth(c));
  connect(header, &QHeaderView::sectionClicked, m_model, &ReceivedFrameModel::ListViewColumnClick);

  m_rxDispFormat = new RadioGroup(tr("Receive Data View Format"), {tr("HEX"), tr("DEC")}, 2, this);
  m_rxDispFormat->setObjectName(QStringLiteral("RxDispFormat"));
  m_rxDispFormat->setGeometry(8, 362, 201, 49);
  m_rxDispFormat->setItemIndex(0);

  m_btnClear = new QPushButton(tr("Clear"), this);
  m_btnClear->setObjectName(QStringLiteral("BtnClear"));
  m_btnClear->setGeometry(496, 376, 89, 25);
  connect(m_btnClear, &QPushButton::clicked, m_model, &ReceivedFrameModel::Clear);
}

void ReceivePage::OnFrames(std::span<const CanFrame> frames) {
  m_model->ShowReceivedFrames(frames, m_rxDispFormat->itemIndex());
}

}  // namespace velqor

#include "traffic/fixed_text_delegate.h"

#include <QGlyphRun>
#include <QPainter>
#include <QStyle>
#include <cmath>

namespace velqor {

namespace {
constexpr int kFirst = 0x20;  // the printable ASCII characters
constexpr int kLast = 0x7E;
}  // namespace

bool FixedTextDelegate::prepare(const QFont& font) const {
  if (m_prepared && font == m_font) return m_usable;
  m_font = font;
  m_prepared = true;
  m_raw = QRawFont::fromFont(font);
  m_usable = m_raw.isValid();
  if (!m_usable) return false;
  QString all;
  for (int c = kFirst; c <= kLast; ++c) all += QChar(c);
  const QList<quint32> glyphs = m_raw.glyphIndexesForString(all);
  const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(glyphs);
  if (glyphs.size() != all.size() || advances.size() != all.size()) return m_usable = false;
  for (int c = kFirst; c <= kLast; ++c) {
    const auto i = static_cast<qsizetype>(c - kFirst);
    // A character the font lacks, or one of another width: not a fixed-pitch font for
    // these characters (where a layout might kern or substitute).
    if (glyphs[i] == 0 || advances[i].x() != advances[0].x()) return m_usable = false;
    m_glyphs[static_cast<std::size_t>(c)] = glyphs[i];
    m_advances[static_cast<std::size_t>(c)] = advances[i].x();
  }
  return true;
}

void FixedTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  const bool plain = !(option.state & (QStyle::State_Selected | QStyle::State_HasFocus)) &&
                     option.widget != nullptr && prepare(option.font);
  // The text's place as the style lays it out: a margin on each side, vertically centred,
  // left-aligned unless the cell asks for the right.
  const int margin = plain ? option.widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin,
                                                                 nullptr, option.widget) +
                                 1
                           : 0;
  const QRect rect = option.rect.adjusted(margin, 0, -margin, 0);
  QList<quint32> glyphs;
  QList<QPointF> positions;
  qreal x = 0;
  if (plain) {
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    for (const QChar ch : text) {
      const char16_t c = ch.unicode();
      if (c < kFirst || c > kLast) {
        x = -1;
        break;
      }
      glyphs.append(m_glyphs[c]);
      positions.append(QPointF(x, 0));
      x += m_advances[c];
    }
  }
  if (!plain || x < 0 || std::ceil(x) > rect.width()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  if (glyphs.isEmpty()) return;
  // A cell that asks to be right-aligned (numbers in a column) ends at the margin.
  const QVariant alignment = index.data(Qt::TextAlignmentRole);
  const qreal shift = alignment.isValid() && (alignment.value<Qt::Alignment>() & Qt::AlignRight)
                          ? rect.width() - x
                          : 0;
  QPalette::ColorGroup group =
      option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(option.state & QStyle::State_Active))
    group = QPalette::Inactive;
  QGlyphRun run;
  run.setRawFont(m_raw);
  run.setGlyphIndexes(glyphs);
  run.setPositions(positions);
  const qreal height = std::ceil(m_raw.ascent() + m_raw.descent());
  const qreal top = std::floor(rect.top() + (rect.height() - height) / 2);
  painter->save();
  painter->setPen(option.palette.color(group, QPalette::Text));
  painter->drawGlyphRun(QPointF(rect.left() + shift, top + m_raw.ascent()), run);
  painter->restore();
}

}  // namespace velqor

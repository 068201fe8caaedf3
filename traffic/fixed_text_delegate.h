#pragma once
// FixedTextDelegate: paints the cells of a list whose texts are short printable ASCII in a
// fixed-pitch font (the received-frame list) as one glyph run each, with the glyphs and
// advances of the font looked up once, instead of laying out and shaping every text at every
// repaint. It places the glyphs where QStyledItemDelegate's layout puts them for such texts,
// so the list looks the same (a cell whose Qt::TextAlignmentRole says AlignRight is placed at
// the right instead); every other cell (selected, focused, a text that does not fit
// or holds other characters, a font whose ASCII characters are not all of one width) is
// painted by QStyledItemDelegate itself.

#include <QFont>
#include <QRawFont>
#include <QStyledItemDelegate>
#include <array>

namespace velqor {

class FixedTextDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  // The glyphs of the printable ASCII characters in `font`; false when it is not usable.
  bool prepare(const QFont& font) const;

  mutable QFont m_font;
  mutable bool m_prepared = false;
  mutable bool m_usable = false;
  mutable QRawFont m_raw;
  mutable std::array<quint32, 128> m_glyphs{};
  mutable std::array<qreal, 128> m_advances{};
};

}  // namespace velqor

#include "widgets/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <algorithm>

namespace velqor {

RadioGroup::RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent), m_group(new QButtonGroup(this)), m_columns(std::max(1, columns)) {
  m_group->setExclusive(false);  // so that "nothing checked" (index -1) can be shown
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    b->setAutoExclusive(false);
    m_group->addButton(b, i);
    m_buttons.push_back(b);
  }
  connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
    // A click on the checked item keeps it checked, as a radio button does.
    if (id == m_itemIndex) {
      m_buttons[static_cast<std::size_t>(id)]->setChecked(true);
      return;
    }
    setItemIndex(id);
  });
  layoutButtons();
}

void RadioGroup::setItemIndex(int index) {
  if (index < -1) index = -1;
  if (index >= count()) index = count() - 1;
  for (int i = 0; i < count(); ++i) m_buttons[static_cast<std::size_t>(i)]->setChecked(i == index);
  if (index == m_itemIndex) return;
  m_itemIndex = index;
  emit itemIndexChanged(index);
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  layoutButtons();
}

// Spreads the buttons evenly over the area below the title, as the form library does.
void RadioGroup::layoutButtons() {
  if (m_buttons.empty()) return;
  const int top = fontMetrics().height() + 2;
  const int left = 8;
  const int rows = (count() + m_columns - 1) / m_columns;
  const int areaH = std::max(1, height() - top - 4);
  const int areaW = std::max(1, width() - 2 * left);
  const int rowH = std::max(1, areaH / rows);
  const int colW = areaW / m_columns;
  const int buttonH = std::min(rowH, fontMetrics().height() + 6);
  for (int i = 0; i < count(); ++i) {
    const int col = i / rows;
    const int row = i % rows;
    m_buttons[static_cast<std::size_t>(i)]->setGeometry(
        left + col * colW, top + row * rowH + (rowH - buttonH) / 2, colW - 2, buttonH);
  }
}

}  // namespace velqor

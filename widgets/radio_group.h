#pragma once
// RadioGroup: a titled group of radio buttons addressed by item index, as the form library's
// radio group is. The buttons are laid out in `columns` columns, filled column by column.

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace velqor {

class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  RadioGroup(const QString& title, const QStringList& items, int columns = 1,
             QWidget* parent = nullptr);

  // The checked item, -1 when none is.
  int itemIndex() const { return m_itemIndex; }
  // Checks item `index`; below -1 reads as -1 (nothing checked), beyond the last item as the
  // last item. Emits itemIndexChanged when the index changes.
  void setItemIndex(int index);

  int count() const { return static_cast<int>(m_buttons.size()); }
  QRadioButton* button(int index) const { return m_buttons.at(static_cast<std::size_t>(index)); }

 signals:
  void itemIndexChanged(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void layoutButtons();

  std::vector<QRadioButton*> m_buttons;
  QButtonGroup* m_group;
  int m_columns;
  int m_itemIndex = -1;
};

}  // namespace velqor

#pragma once
// MaskedEdit: a line edit whose edit mask is written in the form library's mask language, as
// the settings and the DLC tables hold it ("AA AA;1;": A = a required letter or digit, blanks
// are literals kept in the text). The mask is translated to Qt's input mask ("NN NN");
// an empty mask means free text.

#include <QLineEdit>
#include <QString>

namespace velqor {

// Translates a form-library edit mask (fields: mask ; keep-literals ; blank character) into
// a Qt input mask. Mask characters: A/a letter or digit (required/optional), L/l letter,
// C/c any character, 0/9 digit, # digit or sign, > < <> case, \ escapes the next character,
// _ is a literal blank, ! (trim) has no counterpart and is dropped; everything else is a
// literal. Literals that Qt would read as mask characters are escaped. A blank character in
// the third field becomes Qt's blank character; without one the blank is "_", the form
// library's default ("AA AA;1;" gives "NN NN;_"). An empty mask gives an empty Qt mask.
// The blank only shows: text() leaves empty places out whatever it is.
QString QtInputMaskFromEditMask(const QString& editMask);

class MaskedEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit MaskedEdit(QWidget* parent = nullptr);

  // The mask as the form library writes it; "" for free text.
  void setEditMask(const QString& editMask);
  const QString& editMask() const { return m_editMask; }

 private:
  QString m_editMask;
};

}  // namespace velqor

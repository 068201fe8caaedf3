#include "widgets/masked_edit.h"

namespace velqor {

namespace {

bool IsQtMaskCharacter(QChar c) {
  static const QString kMeta = QStringLiteral("AaNnXx90Dd#HhBb><![]{}\\;");
  return kMeta.contains(c);
}

void AppendLiteral(QString& out, QChar c) {
  if (IsQtMaskCharacter(c)) out += QLatin1Char('\\');
  out += c;
}

}  // namespace

QString QtInputMaskFromEditMask(const QString& editMask) {
  // Fields: the mask itself, then whether literals are kept (always so here: Qt keeps
  // them in text()), then the blank character. A ';' escaped by '\' belongs to the mask.
  QString mask;
  QString blank;
  int field = 0;
  for (int i = 0; i < editMask.size(); ++i) {
    const QChar c = editMask[i];
    if (field == 0 && c == QLatin1Char('\\') && i + 1 < editMask.size()) {
      mask += c;
      mask += editMask[++i];
      continue;
    }
    if (c == QLatin1Char(';') && field < 2) {
      ++field;
      continue;
    }
    if (field == 0) mask += c;
    if (field == 2 && blank.isEmpty()) blank = c;
  }
  if (mask.isEmpty()) return QString();

  QString out;
  for (int i = 0; i < mask.size(); ++i) {
    const QChar c = mask[i];
    switch (c.unicode()) {
      case 'A':
        out += QLatin1Char('N');
        break;
      case 'a':
        out += QLatin1Char('n');
        break;
      case 'L':
        out += QLatin1Char('A');
        break;
      case 'l':
        out += QLatin1Char('a');
        break;
      case 'C':
        out += QLatin1Char('X');
        break;
      case 'c':
        out += QLatin1Char('x');
        break;
      case '0':
        out += QLatin1Char('9');
        break;
      case '9':
        out += QLatin1Char('0');
        break;
      case '#':
        out += QLatin1Char('#');
        break;
      case '>':
        out += QLatin1Char('>');
        break;
      case '<':
        if (i + 1 < mask.size() && mask[i + 1] == QLatin1Char('>')) {
          out += QLatin1Char('!');
          ++i;
        } else {
          out += QLatin1Char('<');
        }
        break;
      case '!':
        break;  // trimming blanks has no counterpart in Qt
      case '_':
        out += QLatin1Char(' ');
        break;
      case '\\':
        if (i + 1 < mask.size()) AppendLiteral(out, mask[++i]);
        break;
      default:
        AppendLiteral(out, c);
        break;
    }
  }
  // Without a blank character of its own the mask shows "_" in each empty place, as the form
  // library does by default: a person sees how many pairs are to be filled.
  out += QLatin1Char(';');
  out += blank.isEmpty() ? QStringLiteral("_") : blank;
  return out;
}

MaskedEdit::MaskedEdit(QWidget* parent) : QLineEdit(parent) {}

void MaskedEdit::setEditMask(const QString& editMask) {
  m_editMask = editMask;
  setInputMask(QtInputMaskFromEditMask(editMask));
}

}  // namespace velqor

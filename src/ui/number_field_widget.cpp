#include "ui/number_field_widget.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "util/number_key.h"

namespace vertolin {

void NumberKeyFilter::Install(QLineEdit* field) {
  field->installEventFilter(new NumberKeyFilter(field));
}

bool NumberKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const QString text = key->text();
  if (text.isEmpty() || key->key() == Qt::Key_Backspace) return false;
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const char32_t typed = text.toUcs4().value(0);
  if (typed < 0x20 || typed == 0x7f) return false;  // editing keys: Enter, Tab, Escape …
  const auto passed = FilterNumberKey(typed);
  if (!passed) return true;  // dropped
  if (*passed == typed) return false;
  if (auto* field = qobject_cast<QLineEdit*>(watched)) field->insert(QString(QChar(*passed)));
  return true;
}

}  // namespace vertolin

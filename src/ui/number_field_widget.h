// Numeric fields: the key filter installed on a line edit.
#pragma once

#include <QObject>

class QLineEdit;

namespace vertolin {

// Filters the characters typed into a field as FilterNumberKey says;
// shortcuts (Ctrl+C, Ctrl+V …) and editing keys pass untouched.
class NumberKeyFilter : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Installs a filter owned by the field.
  static void Install(QLineEdit* field);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace vertolin

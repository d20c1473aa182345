#include "modes/connectivity/connectivity_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vertolin {

namespace {

constexpr int kCellSize = 25;

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

// Set cells take the colour of window frames and text, clear ones the colour
// of window backgrounds (the white of text boxes, not the grey of dialogs).
QColor SetColour(const QWidget* widget) { return widget->palette().color(QPalette::WindowText); }
QColor ClearColour(const QWidget* widget) { return widget->palette().color(QPalette::Base); }

}  // namespace

ConnectivityWindow::ConnectivityWindow(Frontend& frontend, QWidget* parent)
    : QWidget(parent), list_(frontend) {
  setObjectName(QStringLiteral("Form10"));
  setWindowTitle(QStringLiteral("Список связных"));

  auto* grid = new QGridLayout;
  grid->setSpacing(1);
  for (int k = 1; k <= kPatternCells; ++k) {
    auto* cell = new QLabel(this);
    cell->setObjectName(QStringLiteral("Label1_%1").arg(k));
    cell->setFixedSize(kCellSize, kCellSize);
    cell->setFrameShape(QFrame::Box);
    cell->setAutoFillBackground(true);
    cells_[k - 1] = cell;
    grid->addWidget(cell, (k - 1) / 3, (k - 1) % 3);
  }

  numberField_ = new QLineEdit(QStringLiteral("Text2"), this);
  numberField_->setObjectName(QStringLiteral("Text2"));
  auto* nextButton = new QPushButton(QStringLiteral("Дальше"), this);
  nextButton->setObjectName(QStringLiteral("Command1"));
  auto* includeButton = new QPushButton(QStringLiteral("Включить"), this);
  includeButton->setObjectName(QStringLiteral("Command2"));
  auto* showButton = new QPushButton(QStringLiteral("Показать"), this);
  showButton->setObjectName(QStringLiteral("Command3"));
  listField_ = new QLineEdit(this);
  listField_->setObjectName(QStringLiteral("Text1"));

  auto* controls = new QVBoxLayout;
  controls->addWidget(numberField_);
  controls->addWidget(showButton);
  controls->addWidget(nextButton);
  controls->addWidget(includeButton);
  controls->addStretch();

  // The cells stay a tight square however tall the buttons beside them are.
  auto* cellColumn = new QVBoxLayout;
  cellColumn->addLayout(grid);
  cellColumn->addStretch();

  auto* top = new QHBoxLayout;
  top->addLayout(cellColumn);
  top->addSpacing(12);
  top->addLayout(controls);
  top->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(listField_);
  resize(360, 170);

  for (QLabel* cell : cells_) {
    QPalette palette = cell->palette();
    palette.setColor(QPalette::Window, ClearColour(this));
    cell->setPalette(palette);
  }

  connect(nextButton, &QPushButton::clicked, this, &ConnectivityWindow::NextPattern);
  connect(includeButton, &QPushButton::clicked, this, &ConnectivityWindow::IncludePattern);
  connect(showButton, &QPushButton::clicked, this, &ConnectivityWindow::ShowTypedPattern);
}

void ConnectivityWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ConnectivityWindow::Load() {
  list_.Load();
  ShowPattern();
}

bool ConnectivityWindow::CellShownSet(int k) const {
  if (k < 1 || k > kPatternCells) return false;
  return cells_[k - 1]->palette().color(QPalette::Window) == SetColour(this);
}

void ConnectivityWindow::NextPattern() {
  list_.Next();
  ShowPattern();
}

void ConnectivityWindow::IncludePattern() {
  list_.SetList(listField_->text().toStdString());
  list_.Include();
  listField_->setText(ToQString(list_.list()));
  ShowPattern();
}

void ConnectivityWindow::ShowTypedPattern() {
  if (list_.Show(numberField_->text().toStdString())) ShowPattern();
}

void ConnectivityWindow::ShowPattern() {
  numberField_->setText(ToQString(list_.NumberText()));
  const auto cells = list_.Cells();
  for (int k = 1; k <= kPatternCells; ++k) {
    QPalette palette = cells_[k - 1]->palette();
    palette.setColor(QPalette::Window, cells[k - 1] ? SetColour(this) : ClearColour(this));
    cells_[k - 1]->setPalette(palette);
  }
  // Changing a palette schedules the repaint; the event loop paints it as
  // soon as the button's click handler returns.
}

}  // namespace vertolin

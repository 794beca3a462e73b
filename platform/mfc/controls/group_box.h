// The widget of a button with the group-box style.
#pragma once

#include <QString>
#include <QWidget>

namespace tlx::mfc {

// A group box: an etched frame whose top edge runs through the middle of the
// caption, which stands on it near the left. The inside is left unpainted, so
// the frame shows around the controls it holds and never over them. It takes
// no focus.
class GroupBoxWidget : public QWidget {
 public:
  using QWidget::QWidget;
  void SetCaption(const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
};

}  // namespace tlx::mfc

// Content of the small help popover: one label.
#pragma once

#include <QLabel>
#include <QWidget>

// The controller's view is the widget itself; `theShowTextLab` is its label.
class PRPopViewController : public QWidget {
    Q_OBJECT
  public:
    explicit PRPopViewController(QWidget* parent = nullptr);

    QWidget* view() { return this; }
    QLabel* theShowTextLab() const { return theShowTextLab_; }

    // Sets the label's text unless `text` is null, then redraws in either case.
    void ChangeText(const QString& text);

  private:
    QLabel* theShowTextLab_ = nullptr;
};

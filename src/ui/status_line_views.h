// One status line under several views of a page, kept per view: what the line said about one
// view stays with that view. When another of the views is shown, the line shows what it last
// said while that view was on show (hidden when nothing), and keeps the text it had for the view
// that went. The page goes on setting the line's text and visibility as before; this only swaps
// them when the view changes. GUI thread only.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

class QLabel;
class QWidget;

namespace nimbara::ui {

class StatusLineViews : public QObject {
    Q_OBJECT
  public:
    // Watches `views` for the page's `line`; the object belongs to the line.
    StatusLineViews(QLabel* line, const std::vector<QWidget*>& views);

    // Takes `text` back wherever it is said: from the line, and from every view that kept it.
    void withdraw(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void viewShown(QWidget* view);

    QPointer<QLabel> line_;
    QPointer<QWidget> current_;
    QHash<const QWidget*, QString> texts_;
};

// Keeps `line`'s text per view of `views` (see StatusLineViews).
void keepStatusPerView(QLabel* line, const std::vector<QWidget*>& views);
// Takes `text` back from `line` and from every view that kept it (a line that keeps no text per
// view is only cleared when it says it): what it said no longer holds.
void withdrawStatus(QLabel* line, const QString& text);

}  // namespace nimbara::ui

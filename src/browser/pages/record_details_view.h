// The panel beside a record table that shows the chosen record's details: one plain-text label
// per detail line, made on first use under the line's object name (inside a scroll view named
// after the line's holder, when it has one), and an optional picture above them.
#pragma once

#include <QWidget>

#include <vector>

class QLabel;
class QVBoxLayout;

namespace nimbara::browser {

struct DetailLine;

class RecordDetailsView : public QWidget {
  public:
    explicit RecordDetailsView(const char* objectName, QWidget* parent = nullptr);

    // Shows `lines`: each outlet takes its text, and its widget (or holder) is shown or hidden.
    void setLines(const std::vector<DetailLine>& lines);
    // A picture above the lines, made on first use under `objectName`; a null pixmap hides it.
    QLabel* picture(const char* objectName);
    // Hides every line and the picture (no record chosen, or an empty list).
    void clearLines();

  private:
    QWidget* lineWidget(const DetailLine& line, QLabel** label);

    QVBoxLayout* layout_;
    QLabel* picture_ = nullptr;
};

}  // namespace nimbara::browser

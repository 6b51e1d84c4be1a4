// A row view with a check box for the quick-scan result tables, and a table view that reports
// clicks instead of selecting rows.
#pragma once

#include <QLabel>
#include <QTableView>
#include <QWidget>

#include "ui/image_button.h"

// A table cell view: the row's check box (`checkBtn`) and its text (`textField`). The check box
// keeps its state as its image name. A click on it toggles between "unselectedstate.png" and
// "selectedstate.png" and then posts "tableCheckButtonNotification" with this view as object;
// the observer reads `currentRow` and `blargeFile`.
class PRCustomCellView : public QWidget {
    Q_OBJECT
  public:
    explicit PRCustomCellView(QWidget* parent = nullptr);

    int currentRow() const { return currentRow_; }
    void setCurrentRow(int row) { currentRow_ = row; }
    // True for a row of the large-file list, false for the large-app list.
    bool blargeFile() const { return blargeFile_; }
    void setBlargeFile(bool largeFile) { blargeFile_ = largeFile; }

    // The check box; the view creates one showing "unselectedstate.png". setCheckBtn replaces it
    // (the view takes the new one into its layout; the old one is deleted). Null is ignored.
    nimbara::ui::ImageButton* checkBtn() const { return checkBtn_; }
    void setCheckBtn(nimbara::ui::ImageButton* button);
    QLabel* textField() const { return textField_; }

    // The check box's action: toggles its image, then posts.
    void ClickCheckBtn(QObject* sender = nullptr);

  private:
    void connectCheckBtn();

    nimbara::ui::ImageButton* checkBtn_ = nullptr;
    QLabel* textField_ = nullptr;
    int currentRow_ = 0;
    bool blargeFile_ = false;
};

// A table whose mouse-down only posts "PRBackViewMouseDown" with the table as object: the
// clicked row is not selected, dragging selects nothing and no delegate sees the press.
class PRTableView : public QTableView {
    Q_OBJECT
  public:
    explicit PRTableView(QWidget* parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

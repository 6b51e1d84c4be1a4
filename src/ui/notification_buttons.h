// Buttons that report mouse events as named notifications on the default centre, with the
// button itself as object. The owning controller observes the name and compares the object
// with its own outlets. Apart from PRButton (which keeps the standard click and its clicked()
// signal) their mouse-down handling replaces the standard one entirely: no highlight, no
// clicked() signal; the post is the whole effect.
#pragma once

#include "ui/image_button.h"

// Hover posts "PRbuttonMouseEntered" / "PRbuttonMouseExited"; clicks as a normal push button.
class PRButton : public nimbara::ui::ImageButton {
    Q_OBJECT
  public:
    using ImageButton::ImageButton;

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// Base of the buttons whose mouse-down is only a post. Sends no clicked() signal, takes no
// keyboard focus (so it can't be pressed from the keyboard either).
class PRNotifyingButton : public nimbara::ui::ImageButton {
    Q_OBJECT
  public:
    explicit PRNotifyingButton(QWidget* parent = nullptr);
    explicit PRNotifyingButton(const QString& title, QWidget* parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The post of a left mouse-down; the default does nothing.
    virtual void handleMouseDown() {}
};

// Hover "MyTablebuttonMouseEnter" / "MyTablebuttonMouseExit"; down "MyTablebuttonMouseDown".
class PRTableButton : public PRNotifyingButton {
    Q_OBJECT
  public:
    using PRNotifyingButton::PRNotifyingButton;

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void handleMouseDown() override;
};

// A tab that stays down until its observer resets it. Posts its hover names only while not
// down; a mouse-down sets it down first, then posts its down name.
class PRDownStateButton : public PRNotifyingButton {
    Q_OBJECT
  public:
    PRDownStateButton(const char* enteredName, const char* exitedName, const char* downName,
                      QWidget* parent);

    bool btnDown() const { return btnDown_; }
    void setBtnDown(bool down) { btnDown_ = down; }

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void handleMouseDown() override;

  private:
    const char* enteredName_;
    const char* exitedName_;
    const char* downName_;
    bool btnDown_ = false;
};

// Feature tab of the main window: "PRBannerButtonMouseEntered", "PRBannerButtonMouseExited",
// "PRBannerButtonMouseDown".
class PRBannerButton : public PRDownStateButton {
    Q_OBJECT
  public:
    explicit PRBannerButton(QWidget* parent = nullptr);
};

// Category button of the privacy page: "PRPrivacyButtonEntered", "PRPrivacyButtonExited",
// "PRPrivacyButtonMouseDown".
class PRPrivacyButton : public PRDownStateButton {
    Q_OBJECT
  public:
    explicit PRPrivacyButton(QWidget* parent = nullptr);
};

// A button whose only effect is one post of a fixed name on mouse-down.
class PRMouseDownButton : public PRNotifyingButton {
    Q_OBJECT
  public:
    PRMouseDownButton(const char* downName, QWidget* parent);

  protected:
    void handleMouseDown() override;

  private:
    const char* downName_;
};

// "MyScanbuttonMouseDown"
class PRScanButton : public PRMouseDownButton {
    Q_OBJECT
  public:
    explicit PRScanButton(QWidget* parent = nullptr);
};

// "MyClosebuttonMouseDown"
class PRClosedButton : public PRMouseDownButton {
    Q_OBJECT
  public:
    explicit PRClosedButton(QWidget* parent = nullptr);
};

// "MyOneCopyButtonMouseDown"
class PROneCopyButton : public PRMouseDownButton {
    Q_OBJECT
  public:
    explicit PROneCopyButton(QWidget* parent = nullptr);
};

// "MyAppCleanbuttonMouseDown"
class PRAppCleanButton : public PRMouseDownButton {
    Q_OBJECT
  public:
    explicit PRAppCleanButton(QWidget* parent = nullptr);
};

// "MyDiskManagebuttonMouseDown"
class PRDiskManagButton : public PRMouseDownButton {
    Q_OBJECT
  public:
    explicit PRDiskManagButton(QWidget* parent = nullptr);
};

// "MyLargeFileButtonMouseDown"
class PRLargeFileButton : public PRMouseDownButton {
    Q_OBJECT
  public:
    explicit PRLargeFileButton(QWidget* parent = nullptr);
};

// A link: pointing-hand cursor while hovered; "PRLinkButtonMouseDown" on mouse-down.
class PRLinkButton : public PRMouseDownButton {
    Q_OBJECT
  public:
    explicit PRLinkButton(QWidget* parent = nullptr);

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// The reject button of a device row. Hover shows "reject_down.png" with the pointing hand and
// posts "PRRejectButtonMouseEnter"; leaving shows "reject.png" and posts
// "PRRejectButtonMouseExit". A mouse-down shows "reject_down.png", posts
// "PRRejectButtonMouseDown" and then shows "reject.png" again.
class PRRejectButton : public PRNotifyingButton {
    Q_OBJECT
  public:
    explicit PRRejectButton(QWidget* parent = nullptr);

    // The table row the button belongs to.
    int theIndex() const { return theIndex_; }
    void setTheIndex(int index) { theIndex_ = index; }

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void handleMouseDown() override;

  private:
    int theIndex_ = 0;
};

// Text views the user can read but not select, edit or copy, and a feedback box whose
// placeholder text clears on the first click.
#pragma once

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTextEdit>

// Swallows every mouse-down, right mouse-down, drag, double click, key-down and context-menu
// request, so the text of `Base` can't be selected or copied.
template <class Base>
class InputSwallowing : public Base {
  public:
    using Base::Base;

  protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
    void mouseMoveEvent(QMouseEvent* event) override { event->accept(); }
    void keyPressEvent(QKeyEvent* event) override { event->accept(); }
    void contextMenuEvent(QContextMenuEvent* event) override { event->accept(); }
};

// A read-only text view: no context menu; mouse-down, right mouse-down and key-down are
// consumed, so its text can't be selected or copied.
class PRTextView : public InputSwallowing<QTextEdit> {
    Q_OBJECT
  public:
    explicit PRTextView(QWidget* parent = nullptr);

    void setString(const QString& text) { setPlainText(text); }
    QString string() const { return toPlainText(); }
};

// A read-only one-line field with the same restrictions.
class PRTextFiled : public InputSwallowing<QLineEdit> {
    Q_OBJECT
  public:
    explicit PRTextFiled(QWidget* parent = nullptr);

    void setStringValue(const QString& text) { setText(text); }
    QString stringValue() const { return text(); }
};

// An editable text view whose placeholder text ("Provide any suggestions or problems to us." or
// "write something.") is cleared by a click, which also switches to the 11-point font in black.
// Text the user wrote stays. A mouse-down is not passed on: it focuses but doesn't move the
// cursor.
class PRFeedBackView : public QTextEdit {
    Q_OBJECT
  public:
    explicit PRFeedBackView(QWidget* parent = nullptr);

    void setString(const QString& text) { setPlainText(text); }
    QString string() const { return toPlainText(); }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

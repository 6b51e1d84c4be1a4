// The name label above a conversation's bubbles: plain text, no border, no background.
#pragma once

#include <QColor>
#include <QLabel>

class PRChatNameView : public QLabel {
    Q_OBJECT
  public:
    explicit PRChatNameView(QWidget* parent = nullptr);

    // Sets the label up to show `name` in "Lucida Grande" 11; returns this label.
    PRChatNameView* initwithNameString(const QString& name);

    // The background colour (219, 226, 236), kept but not drawn.
    QColor backgroundColor() const { return backgroundColor_; }

  private:
    QColor backgroundColor_;
};

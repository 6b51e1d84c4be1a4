// Views that paint a fixed background over their whole area, and a light scroll bar.
#pragma once

#include <QScrollBar>
#include <QWidget>

// A solid grey (85, 85, 85) background.
class PRView : public QWidget {
    Q_OBJECT
  public:
    explicit PRView(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Paints a named image scaled to the whole view.
class PRImageBackgroundView : public QWidget {
    Q_OBJECT
  public:
    PRImageBackgroundView(const char* imageName, QWidget* parent);
    QString backgroundImageName() const { return imageName_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString imageName_;
};

// "WindowTopImage.png"
class PRBackView : public PRImageBackgroundView {
    Q_OBJECT
  public:
    explicit PRBackView(QWidget* parent = nullptr);
};

// "connectdevice.png"
class PRDeviceView : public PRImageBackgroundView {
    Q_OBJECT
  public:
    explicit PRDeviceView(QWidget* parent = nullptr);
};

// "messageGround.png"
class PRPrivacyMessageView : public PRImageBackgroundView {
    Q_OBJECT
  public:
    explicit PRPrivacyMessageView(QWidget* parent = nullptr);
};

// A scroll bar drawn as a light (248, 248, 248) area with only the knob: no track, no arrows.
class QMScroller : public QScrollBar {
    Q_OBJECT
  public:
    explicit QMScroller(QWidget* parent = nullptr);
    explicit QMScroller(Qt::Orientation orientation, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The busy spinner: the image "load.png" turning about its centre.
#pragma once

#include <QPixmap>
#include <QWidget>

class QVariantAnimation;

// startFlash starts an endless rotation (one turn every 2 seconds, linear); stopFlash stops it
// and the image rests unrotated. Starting while running restarts the turn. The animation is a
// child of the view, so it stops and goes away with it.
class FlashView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kTurnMilliseconds = 2000;

    explicit FlashView(QWidget* parent = nullptr);
    ~FlashView() override;

    void startFlash();
    void stopFlash();
    bool isFlashing() const;
    // The current rotation in degrees, in [0, 360).
    double rotationDegrees() const { return rotation_; }
    // The image being turned.
    QPixmap diskImage() const { return diskImage_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap diskImage_;
    QVariantAnimation* animation_ = nullptr;
    double rotation_ = 0.0;
};

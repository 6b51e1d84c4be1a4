// A window with an image title strip.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>

// A strip that draws its image scaled over its whole area. Until an image is given it shows
// "whitewindowtitleimage.png".
class QMHeaderView : public QWidget {
    Q_OBJECT
  public:
    explicit QMHeaderView(QWidget* parent = nullptr);

    QPixmap headImage() const;
    // Sets the image (a null pixmap returns to the default) and redraws.
    void UpdateWindowImage(const QPixmap& image);
    void UpdateWindowImage(const QString& imageName);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap headImage_;
};

// A top-level window with a 22-point QMHeaderView across its top edge that follows the
// window's width. White background; dragging its background (or the strip) moves the window.
// The window flags are used as given.
class PRCustomeWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kHeaderHeight = 22;

    explicit PRCustomeWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);

    QMHeaderView* headerView() const { return headerView_; }
    void UpdateWindowImage(const QPixmap& image);
    void UpdateWindowImage(const QString& imageName);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void layoutHeader();
    bool dragPress(QMouseEvent* event);
    bool dragMove(QMouseEvent* event);

    QMHeaderView* headerView_ = nullptr;
    QPoint dragOffset_;
    bool dragging_ = false;
};

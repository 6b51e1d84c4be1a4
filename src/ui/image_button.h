// A push button that can show a named application image instead of the platform bezel.
#pragma once

#include <QPushButton>
#include <QString>

namespace nimbara::ui {

// Without an image it draws exactly as a QPushButton. With one, the image is drawn scaled over
// the whole button and the title, if any, is drawn centred on top of it.
class ImageButton : public QPushButton {
    Q_OBJECT
  public:
    explicit ImageButton(QWidget* parent = nullptr);
    explicit ImageButton(const QString& title, QWidget* parent = nullptr);

    // Shows the image called `imageName` (see namedImage); an empty name restores the bezel.
    void setImage(const QString& imageName);
    // The name last given to setImage (empty when none). Controls that keep state in their
    // image (check boxes) compare this name.
    QString imageName() const { return imageName_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Posts `name` with this button as object.
    void post(const char* name);

  private:
    QString imageName_;
};

}  // namespace nimbara::ui

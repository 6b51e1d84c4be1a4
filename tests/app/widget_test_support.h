// Recording the notifications widgets post, and sending them synthetic mouse events.
#pragma once

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "platform/notification_center.h"

namespace nimbara::test {

// Records every post of the given names (name and object) while it lives.
class PostRecorder {
  public:
    explicit PostRecorder(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            bag_.add(NotificationCenter::defaultCenter().addObserver(
                name, [this](const Notification& n) {
                    posts.emplace_back(n.name, n.objectAs<QObject*>());
                }));
        }
    }

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& post : posts) {
            result.push_back(post.first);
        }
        return result;
    }

    std::vector<std::pair<std::string, QObject*>> posts;

  private:
    ObserverBag bag_;
};

inline void sendEnter(QWidget* widget, QPointF pos = {2, 2}) {
    QEnterEvent event(pos, pos, widget->mapToGlobal(pos));
    QCoreApplication::sendEvent(widget, &event);
}

inline void sendLeave(QWidget* widget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

inline void sendMouse(QWidget* widget, QEvent::Type type, QPointF pos = {2, 2},
                      Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(button);
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// A full left click: press then release.
inline void sendClick(QWidget* widget, QPointF pos = {2, 2}) {
    sendMouse(widget, QEvent::MouseButtonPress, pos);
    sendMouse(widget, QEvent::MouseButtonRelease, pos);
}

}  // namespace nimbara::test

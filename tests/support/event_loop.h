// Turning the event loop in tests until something happened.
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace nimbara::test {

// Runs the event loop until `condition` holds or `rounds` turns (a short pause each) passed.
inline bool pumpUntil(const std::function<bool()>& condition, int rounds = 2000) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents();
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

// Runs the event loop `rounds` times with a short pause in between.
inline void pumpEvents(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace nimbara::test

#include "platform/speech.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <mutex>
#include <utility>

namespace nimbara {

namespace {

std::mutex g_speakerMutex;

Speaker& speaker() {
    static Speaker current;
    return current;
}

void speakAloud(const QString& text) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    if (program.isEmpty()) {
        return;
    }
    // "--" ends the options: the text is never read as one.
    QProcess::startDetached(program, {QStringLiteral("--"), text});
}

}  // namespace

void speak(const QString& text) {
    Speaker current;
    {
        std::lock_guard<std::mutex> lock(g_speakerMutex);
        current = speaker();
    }
    if (current) {
        current(text);
    } else {
        speakAloud(text);
    }
}

void setSpeaker(Speaker replacement) {
    std::lock_guard<std::mutex> lock(g_speakerMutex);
    speaker() = std::move(replacement);
}

}  // namespace nimbara

// Spoken notices (the end of a backup): espeak-ng, started as a child process with the text as
// its argument, where it is installed; silent where it is not. Speaking never waits for the
// speech, and the GUI thread never waits for it either.
#pragma once

#include <QString>

#include <functional>

namespace nimbara {

// Speaks `text` with the default voice.
void speak(const QString& text);

// Replaces what speak() does (tests); an empty function restores espeak-ng.
using Speaker = std::function<void(const QString& text)>;
void setSpeaker(Speaker speaker);

}  // namespace nimbara

// Spoken notices: espeak-ng gets the text as one argument after "--" (so a text is never taken
// for an option), and without espeak-ng nothing is spoken and nothing fails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QString>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/speech.h"
#include "test_support.h"

namespace nimbara {
namespace {

namespace fs = std::filesystem;

class SpeechTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* path = std::getenv("PATH")) {
            savedPath_ = path;
        }
        ::setenv("PATH", (tmp_ / "bin").c_str(), 1);
        fs::create_directories(tmp_ / "bin");
    }
    void TearDown() override {
        setSpeaker({});
        if (savedPath_) {
            ::setenv("PATH", savedPath_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }

    test::TempDir tmp_;
    std::optional<std::string> savedPath_;
};

TEST_F(SpeechTest, EspeakGetsTheTextAsOneArgument) {
    // A stand-in for espeak-ng that writes down its arguments, one a line, into the file that
    // SPEECH_HEARD names.
    const fs::path heard = tmp_ / "heard";
    ::setenv("SPEECH_HEARD", heard.c_str(), 1);
    const fs::path program = tmp_ / "bin" / "espeak-ng";
    test::writeText(program,
                    "#!/bin/sh\n"
                    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$SPEECH_HEARD.part\"\n"
                    "/bin/mv \"$SPEECH_HEARD.part\" \"$SPEECH_HEARD\"\n");
    ::chmod(program.c_str(), 0755);

    speak(QStringLiteral("-v the backup; has been \"completed\""));
    for (int i = 0; i < 2500 && !fs::exists(heard); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::unsetenv("SPEECH_HEARD");
    EXPECT_EQ(test::readText(heard), "--\n-v the backup; has been \"completed\"\n");
}

TEST_F(SpeechTest, WithoutEspeakNothingIsSpokenAndAReplacementHearsIt) {
    speak(QStringLiteral("silence"));  // no espeak-ng on the path: nothing happens
    std::vector<QString> said;
    setSpeaker([&said](const QString& text) { said.push_back(text); });
    speak(QStringLiteral("The Backup operation has been completed"));
    EXPECT_EQ(said, std::vector<QString>{"The Backup operation has been completed"});
}

}  // namespace
}  // namespace nimbara

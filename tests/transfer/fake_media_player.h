// A player that plays nothing: it records what it was told and reports what a test makes it
// report, so the page's players run without sound or video hardware.
#pragma once

#include <memory>
#include <vector>

#include "transfer/pages/media_player_view.h"

namespace nimbara::test {

class FakeMediaPlayer : public transfer::MediaPlayerBackend {
  public:
    void setSource(const QString& localFile) override {
        source = localFile;
        playing_ = false;
    }
    void play() override { setPlaying(true); }
    void pause() override { setPlaying(false); }
    void setPosition(qint64 ms) override {
        positions.push_back(ms);
        emit positionChanged(ms);
    }
    bool isPlaying() const override { return playing_; }

    QString source;
    std::vector<qint64> positions;

  private:
    void setPlaying(bool on) {
        playing_ = on;
        emit playingChanged(on);
    }
    bool playing_ = false;
};

inline transfer::MediaPlayerFactory fakePlayerFactory() {
    return [](bool) -> std::unique_ptr<transfer::MediaPlayerBackend> {
        return std::make_unique<FakeMediaPlayer>();
    };
}

}  // namespace nimbara::test

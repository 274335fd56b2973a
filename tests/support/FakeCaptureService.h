#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "capture/CaptureService.h"

namespace glimmora {

/// What the fake knows about one stream it made; outlives the stream, so that tests can see
/// what became of it after its owner let it go.
struct FakeStream {
    CaptureDisplay display;
    std::optional<quint32> excludedWindow;
    CaptureConfiguration configuration;
    CaptureStreamDelegate* delegate = nullptr;
    bool started = false;    // start() succeeded
    bool stopped = false;    // stop() was asked for, or the source ended the stream
    bool destroyed = false;  // the session object is gone
    std::function<void(std::optional<QString>)> heldReply = nullptr;  // when replies are held

    bool isDelivering() const { return started && !stopped && !destroyed; }
    /// Sends the held reply of start() or stop().
    void reply(std::optional<QString> error = std::nullopt) {
        started = started || (!stopped && !error);
        std::exchange(heldReply, nullptr)(std::move(error));
    }
    void endBySource(const QString& error) {
        stopped = true;
        delegate->didStopWithError(error);
    }
};

/// Scripted CaptureService: each test sets the answers; replies come at once unless the test
/// holds them and sends them itself. Queries are stamped with `clock`.
class FakeCaptureService final : public CaptureService {
public:
    std::optional<ShareableContent> content = ShareableContent{{{1920, 1080}}, {42}};
    QString contentError;
    std::optional<QString> startError;
    std::optional<QString> stopError;
    bool holdStartReplies = false;
    bool holdStopReplies = false;

    std::function<double()> clock = [] { return 0.0; };
    std::vector<double> queryTimes;
    std::vector<std::shared_ptr<FakeStream>> streams;

    void queryShareableContent(
        std::function<void(std::optional<ShareableContent>, QString)> done) override {
        queryTimes.push_back(clock());
        done(content, content ? QString() : contentError);
    }

    std::unique_ptr<CaptureStreamSession> makeStream(const CaptureDisplay& display,
                                                     std::optional<quint32> excludedWindow,
                                                     const CaptureConfiguration& configuration,
                                                     CaptureStreamDelegate& delegate,
                                                     QString* /*error*/) override {
        streams.push_back(std::make_shared<FakeStream>(
            FakeStream{display, excludedWindow, configuration, &delegate}));
        return std::make_unique<Session>(*this, streams.back());
    }

    void deliver(const CaptureSample& sample) {
        for (const auto& stream : streams) {
            if (stream->isDelivering()) {
                stream->delegate->didOutputSample(sample);
            }
        }
    }

private:
    class Session final : public CaptureStreamSession {
    public:
        Session(FakeCaptureService& service, std::shared_ptr<FakeStream> stream)
            : service_(service), stream_(std::move(stream)) {}
        ~Session() override { stream_->destroyed = true; }

        void start(std::function<void(std::optional<QString>)> done) override {
            answer(std::move(done), service_.holdStartReplies, service_.startError);
        }
        void stop(std::function<void(std::optional<QString>)> done) override {
            stream_->stopped = true;
            answer(std::move(done), service_.holdStopReplies, service_.stopError);
        }

    private:
        void answer(std::function<void(std::optional<QString>)> done, bool hold,
                    std::optional<QString> error) {
            stream_->heldReply = std::move(done);
            if (!hold) {
                stream_->reply(std::move(error));
            }
        }

        FakeCaptureService& service_;
        std::shared_ptr<FakeStream> stream_;
    };
};

}  // namespace glimmora

#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "capture/CaptureService.h"

namespace glimmora {

/// What the fake knows about one stream it made; outlives the stream so tests can check what
/// happened to it after its owner dropped it.
struct FakeStreamRecord {
    using Reply = std::function<void(std::optional<QString>)>;

    CaptureDisplay display;
    std::optional<quint32> excludedWindow;
    CaptureConfiguration configuration;
    CaptureStreamDelegate* delegate = nullptr;
    bool started = false;    // start() succeeded
    bool stopped = false;    // stop() was asked for
    bool destroyed = false;  // the session object is gone
    double stopTime = -1;    // clock reading at stop(), when the service has a clock
    Reply pendingStart;      // held start reply, when replies are held
    Reply pendingStop;

    /// Delivers like the platform: only between a successful start and a stop or destruction.
    bool isDelivering() const { return started && !stopped && !destroyed; }
    void deliver(const CaptureSample& sample) {
        if (isDelivering()) {
            delegate->didOutputSample(sample);
        }
    }
    void completeStart(std::optional<QString> error = std::nullopt) {
        started = !error;
        std::exchange(pendingStart, nullptr)(std::move(error));
    }
    void completeStop(std::optional<QString> error = std::nullopt) {
        std::exchange(pendingStop, nullptr)(std::move(error));
    }
    /// The source went away: delivery ends and the delegate hears why.
    void endBySource(const QString& error) {
        stopped = true;
        delegate->didStopWithError(error);
    }
};

/// Scripted CaptureService: each test sets the answers; replies come at once unless the test
/// asks to hold them and completes them later itself.
class FakeCaptureService final : public CaptureService {
public:
    // Answers.
    std::optional<ShareableContent> content = ShareableContent{{{1920, 1080}}, {42}};
    QString contentError;
    QString makeStreamError;  // non-empty: makeStream fails
    std::optional<QString> startError;
    std::optional<QString> stopError;
    bool holdStartReplies = false;
    bool holdStopReplies = false;

    // What happened.
    std::function<double()> clock;  // stamps queries when set
    std::vector<double> queryTimes;
    int queryCount = 0;
    std::vector<std::shared_ptr<FakeStreamRecord>> streams;

    void queryShareableContent(
        std::function<void(std::optional<ShareableContent>, QString)> done) override {
        ++queryCount;
        if (clock) {
            queryTimes.push_back(clock());
        }
        done(content, content ? QString() : contentError);
    }

    std::unique_ptr<CaptureStreamSession> makeStream(const CaptureDisplay& display,
                                                     std::optional<quint32> excludedWindow,
                                                     const CaptureConfiguration& configuration,
                                                     CaptureStreamDelegate& delegate,
                                                     QString* error) override {
        if (!makeStreamError.isEmpty()) {
            *error = makeStreamError;
            return nullptr;
        }
        auto record = std::make_shared<FakeStreamRecord>();
        record->display = display;
        record->excludedWindow = excludedWindow;
        record->configuration = configuration;
        record->delegate = &delegate;
        streams.push_back(record);
        return std::make_unique<Session>(*this, record);
    }

    /// Streams currently delivering; the owner should never have more than one.
    int deliveringCount() const {
        int count = 0;
        for (const auto& stream : streams) {
            count += stream->isDelivering() ? 1 : 0;
        }
        return count;
    }
    FakeStreamRecord& last() { return *streams.back(); }
    /// Delivers to every delivering stream, as the platform would.
    void deliver(const CaptureSample& sample) {
        for (const auto& stream : streams) {
            stream->deliver(sample);
        }
    }

private:
    class Session final : public CaptureStreamSession {
    public:
        Session(FakeCaptureService& service, std::shared_ptr<FakeStreamRecord> record)
            : service_(service), record_(std::move(record)) {}
        ~Session() override { record_->destroyed = true; }

        void start(std::function<void(std::optional<QString>)> done) override {
            record_->pendingStart = std::move(done);
            if (!service_.holdStartReplies) {
                record_->completeStart(service_.startError);
            }
        }
        void stop(std::function<void(std::optional<QString>)> done) override {
            record_->stopped = true;
            record_->stopTime = service_.clock ? service_.clock() : -1;
            record_->pendingStop = std::move(done);
            if (!service_.holdStopReplies) {
                record_->completeStop(service_.stopError);
            }
        }

    private:
        FakeCaptureService& service_;
        std::shared_ptr<FakeStreamRecord> record_;
    };
};

}  // namespace glimmora

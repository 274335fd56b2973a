#include "platform/atspi/AtspiCaretSource.h"

#include <utility>

namespace glimmora {

namespace {
/// How long the owner waits for the reader to restore the accessibility setting and stop.
constexpr unsigned long kShutdownWaitMs = 2000;
}  // namespace

AtspiCaretSource::AtspiCaretSource(Options options) {
    AtspiCaretReader::Options readerOptions;
    readerOptions.sessionBusAddress = std::move(options.sessionBusAddress);
    readerOptions.activeTopLevel = std::move(options.activeTopLevel);
    readerOptions.publish = [this](std::optional<CaretReading> reading) {
        const std::lock_guard lock(latestMutex_);
        latest_ = std::move(reading);
    };
    // The source outlives the reader's thread (it ends the thread before it goes), so `this`
    // is valid when the answer arrives on the main thread.
    readerOptions.started = [this](bool trusted) {
        QMetaObject::invokeMethod(
            this,
            [this, trusted] {
                if (onStarted_) {
                    std::exchange(onStarted_, {})(trusted);
                }
            },
            Qt::QueuedConnection);
    };
    reader_ = std::make_unique<AtspiCaretReader>(std::move(readerOptions));
    thread_.setObjectName(QStringLiteral("glimmora-caret"));
    reader_->moveToThread(&thread_);
    thread_.start();
}

AtspiCaretSource::~AtspiCaretSource() {
    // The reader's thread restores the setting (one call, bounded by its timeout) and stops;
    // then the thread ends and the reader goes with no event loop left to call into it.
    AtspiCaretReader* reader = reader_.get();
    QMetaObject::invokeMethod(
        reader, [reader] { reader->shutdown(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait(kShutdownWaitMs);
}

void AtspiCaretSource::onReaderThread(std::function<void()> task) {
    QMetaObject::invokeMethod(reader_.get(), std::move(task), Qt::QueuedConnection);
}

void AtspiCaretSource::start(std::function<void(bool trusted)> onStarted) {
    onStarted_ = std::move(onStarted);
    onReaderThread([reader = reader_.get()] { reader->start(); });
}

void AtspiCaretSource::stop() {
    onStarted_ = nullptr;
    onReaderThread([reader = reader_.get()] { reader->stop(); });
    const std::lock_guard lock(latestMutex_);
    latest_.reset();
}

std::optional<CaretReading> AtspiCaretSource::latest() {
    const std::lock_guard lock(latestMutex_);
    return latest_;
}

void AtspiCaretSource::setAccessibilityWanted(bool wanted) {
    onReaderThread([reader = reader_.get(), wanted] { reader->setAccessibilityWanted(wanted); });
}

}  // namespace glimmora

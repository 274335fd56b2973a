#pragma once

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/atspi/AtspiCaretReader.h"
#include "trackers/CaretSource.h"

namespace glimmora {

/// The caret source of the running application: an AtspiCaretReader on a thread of its own,
/// seen from the main thread. The reader hands each measurement over under a lock that is held
/// only to copy it, so latest() costs the main thread a copy and never a wait on D-Bus.
///
/// Created and used on the main thread, which must run a Qt event loop for the start-up answer.
/// When it goes it has the reader leave the desktop's accessibility setting as it found it
/// (waiting at most a second for that) and ends the thread.
class AtspiCaretSource final : public QObject, public CaretSource {
public:
    struct Options {
        /// The session bus; empty for the one in DBUS_SESSION_BUS_ADDRESS.
        QString sessionBusAddress;
        /// The active window; called on the reader's thread.
        std::function<std::optional<ActiveTopLevel>()> activeTopLevel;
    };

    explicit AtspiCaretSource(Options options);
    ~AtspiCaretSource() override;

    void start(std::function<void(bool trusted)> onStarted) override;
    void stop() override;
    std::optional<CaretReading> latest() override;
    void setAccessibilityWanted(bool wanted) override;

    CaretReaderStatistics statistics() const { return reader_->statistics(); }

private:
    /// Runs `task` on the reader's thread, in order with the other tasks.
    void onReaderThread(std::function<void()> task);

    QThread thread_;
    std::unique_ptr<AtspiCaretReader> reader_;
    std::function<void(bool)> onStarted_;
    std::mutex latestMutex_;
    std::optional<CaretReading> latest_;
};

}  // namespace glimmora

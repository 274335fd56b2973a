#include "core/QtScheduler.h"

#include <QTimer>
#include <cmath>

namespace glimmora {

void QtScheduler::after(double seconds, std::function<void()> task) {
    const int milliseconds = static_cast<int>(std::lround(std::max(seconds, 0.0) * 1000.0));
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &context_, std::move(task));
}

}  // namespace glimmora

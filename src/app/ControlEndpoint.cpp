#include "app/ControlEndpoint.h"

#include "core/ApplicationId.h"

namespace glimmora {

QString controlInterfaceName() {
    return QLatin1String(kApplicationId);
}

QString controlObjectPath() {
    return QLatin1Char('/') +
           QString(QLatin1String(kApplicationId)).replace(QLatin1Char('.'), QLatin1Char('/'));
}

QString controlInvalidArgumentError() {
    return QLatin1String(kApplicationId) + QLatin1String(".Error.InvalidArgument");
}

QString controlServiceName(const QString& display) {
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QString() : display.left(colon);
    QString number = colon < 0 ? display : display.mid(colon + 1);
    number = number.section(QLatin1Char('.'), 0, 0);
    // "unix:0" is the local display ":0" reached the same way.
    if (host == QLatin1String("unix")) {
        host.clear();
    }
    QString element = QLatin1String("Display");
    for (const QString& part : {host, number}) {
        if (part.isEmpty()) {
            continue;
        }
        element += QLatin1Char('_');
        // Bus name elements take letters, digits, '_' and '-' only.
        for (const QChar c : part) {
            const bool allowed =
                (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-');
            element += allowed ? c : QLatin1Char('_');
        }
    }
    return QLatin1String(kApplicationId) + QLatin1Char('.') + element;
}

}  // namespace glimmora

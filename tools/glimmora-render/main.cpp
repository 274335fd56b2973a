// glimmora-render: draws one overlay frame over a desktop picture, offscreen. See renderUsage().

#include <QCoreApplication>
#include <cstdio>

#include "OfflineRender.h"
#include "RenderOptions.h"

namespace {

/// Error lines are one line each, whatever text the user's arguments carried into them.
void printError(QString message) {
    message.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QByteArray line =
        (QStringLiteral("glimmora-render: ") + message + QLatin1Char('\n')).toLocal8Bit();
    std::fputs(line.constData(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
    // A core application only: no display server is needed, and it decodes the arguments and
    // lets QImageReader find its format plugins.
    QCoreApplication application(argc, argv);
    const glimmora::ParsedCommandLine parsed =
        glimmora::parseRenderCommandLine(QCoreApplication::arguments().mid(1));
    if (parsed.isHelpRequested) {
        std::fputs(glimmora::renderUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parsed.options) {
        printError(parsed.error);
        return static_cast<int>(parsed.exitStatus());
    }
    const glimmora::RenderResult result = glimmora::renderToFile(*parsed.options);
    if (result.status != glimmora::RenderExit::Success) {
        printError(result.error);
    }
    return static_cast<int>(result.status);
}

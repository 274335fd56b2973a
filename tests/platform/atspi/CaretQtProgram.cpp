// A Qt window with a QLineEdit over a QTextEdit that prints the focused one's caret as Qt places
// it, for the caret tracker's end-to-end tests: "caret 0 X Y W H" in root pixels whenever it
// changes; with a selection in the text edit, the box around its two ends.

#include <QApplication>
#include <QLineEdit>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("caret-qt"));
    window.resize(400, 240);
    auto* layout = new QVBoxLayout(&window);
    auto* line = new QLineEdit;
    auto* edit = new QTextEdit;
    layout->addWidget(line);
    layout->addWidget(edit);
    window.show();

    QRect last;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* focused = edit->hasFocus() ? static_cast<QWidget*>(edit) : line;
        QRect rect = focused->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        rect.moveTopLeft(focused->mapToGlobal(rect.topLeft()));
        const QTextCursor cursor = edit->textCursor();
        if (focused == edit && cursor.hasSelection()) {
            QTextCursor end = cursor;
            end.setPosition(cursor.selectionStart());
            const QRect first = edit->cursorRect(end);
            end.setPosition(cursor.selectionEnd());
            rect = first.united(edit->cursorRect(end));
            rect.moveTopLeft(edit->viewport()->mapToGlobal(rect.topLeft()));
        }
        if (rect != last) {
            last = rect;
            std::printf("caret 0 %d %d %d %d\n", rect.x(), rect.y(), rect.width(), rect.height());
            std::fflush(stdout);
        }
    });
    timer.start(20);
    return application.exec();
}

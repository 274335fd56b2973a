#include "SampleDesktop.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>

namespace glimmora {

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kTitleBarHeight = 28;

QFont font(int pixelSize, bool bold = false, bool monospace = false) {
    QFont f(monospace ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    // Hinting differs between font set-ups; without it the same fonts give the same pixels.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void paintWallpaper(QPainter& p) {
    QLinearGradient sky(0, 0, kWidth, kHeight);
    sky.setColorAt(0.0, QColor(0x1b, 0x3a, 0x6b));
    sky.setColorAt(0.55, QColor(0x3d, 0x5a, 0x9e));
    sky.setColorAt(1.0, QColor(0x7b, 0x3f, 0x8c));
    p.fillRect(QRect(0, 0, kWidth, kHeight), sky);

    QRadialGradient glow(QPointF(1050, 620), 420);
    glow.setColorAt(0.0, QColor(255, 190, 120, 110));
    glow.setColorAt(1.0, QColor(255, 190, 120, 0));
    p.fillRect(QRect(0, 0, kWidth, kHeight), glow);
}

void paintMenuBar(QPainter& p) {
    p.fillRect(QRect(0, 0, kWidth, 26), QColor(245, 245, 248, 215));
    p.setPen(QColor(0x20, 0x20, 0x24));
    p.setFont(font(13, true));
    p.drawText(QRect(14, 0, 120, 26), Qt::AlignVCenter, QStringLiteral("Notes"));
    p.setFont(font(13));
    const std::array<const char*, 5> menus{"File", "Edit", "View", "Window", "Help"};
    int x = 80;
    for (const char* menu : menus) {
        const QString label = QString::fromLatin1(menu);
        p.drawText(QRect(x, 0, 80, 26), Qt::AlignVCenter, label);
        x += p.fontMetrics().horizontalAdvance(label) + 26;
    }
    p.drawText(QRect(kWidth - 220, 0, 206, 26), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("Tue 14 May  09:41"));
}

/// A window frame with a soft shadow and a title bar; returns the content area.
QRect paintWindow(QPainter& p, const QRect& frame, const QString& title, const QColor& body) {
    p.setPen(Qt::NoPen);
    for (int i = 1; i <= 6; ++i) {
        p.setBrush(QColor(0, 0, 0, 12));
        p.drawRoundedRect(frame.adjusted(-i, -i + 4, i, i + 4), 10 + i, 10 + i);
    }
    QPainterPath outline;
    outline.addRoundedRect(QRectF(frame), 10, 10);
    p.save();
    p.setClipPath(outline);
    p.fillRect(frame, body);
    QLinearGradient bar(frame.topLeft(), QPoint(frame.left(), frame.top() + kTitleBarHeight));
    bar.setColorAt(0, QColor(0xee, 0xee, 0xf0));
    bar.setColorAt(1, QColor(0xd9, 0xd9, 0xdd));
    p.fillRect(QRect(frame.left(), frame.top(), frame.width(), kTitleBarHeight), bar);
    p.restore();

    const std::array<QColor, 3> buttons{QColor(0xff, 0x5f, 0x57), QColor(0xfe, 0xbc, 0x2e),
                                        QColor(0x28, 0xc8, 0x40)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(buttons[i]);
        p.drawEllipse(QPoint(frame.left() + 18 + 20 * i, frame.top() + kTitleBarHeight / 2), 6, 6);
    }
    p.setPen(QColor(0x3a, 0x3a, 0x40));
    p.setFont(font(13, true));
    p.drawText(QRect(frame.left(), frame.top(), frame.width(), kTitleBarHeight), Qt::AlignCenter,
               title);
    return frame.adjusted(0, kTitleBarHeight, 0, 0);
}

void paintDocument(QPainter& p) {
    const QRect content = paintWindow(
        p, QRect(60, 56, 650, 600), QStringLiteral("Reading notes.txt"), QColor(0xfd, 0xfd, 0xfb));
    QRect text = content.adjusted(30, 22, -30, -20);
    p.setPen(QColor(0x1c, 0x1c, 0x22));
    p.setFont(font(22, true));
    p.drawText(text, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Keeping your place on screen"));
    text.adjust(0, 44, 0, 0);

    const std::array<const char*, 6> paragraphs{
        "Long lines of text are hard to follow. The eye jumps back to the start of the next "
        "line and lands one line too high or too low, and the sentence suddenly stops making "
        "sense.",
        "A reading ruler magnifies the line under the pointer and leaves the rest alone. A "
        "focus band keeps a strip of the screen clear and quietly dims everything around it, "
        "so the page stops competing for attention.",
        "Tinted backgrounds help some readers with dyslexia: cream, soft blue, green or pink "
        "take the glare out of white paper. A thin guide line under the current line does the "
        "rest.",
        "None of this changes the documents themselves. It is a layer over the whole screen, "
        "drawn sixty times a second, that you switch on and off from the menu bar.",
        "When the day runs long, a slow breathing pacer can pulse gently at the edges of the "
        "screen: in while it brightens, out while it fades.",
        "And if a full-screen effect ever gets in the way, one hot key always quits.",
    };
    p.setFont(font(16));
    p.setPen(QColor(0x2a, 0x2a, 0x30));
    for (const char* paragraph : paragraphs) {
        const QString words = QString::fromUtf8(paragraph);
        const QRect used = p.boundingRect(text, Qt::TextWordWrap, words);
        p.drawText(text, Qt::TextWordWrap, words);
        text.adjust(0, used.height() + 18, 0, 0);
    }
}

void paintChart(QPainter& p) {
    const QRect content =
        paintWindow(p, QRect(745, 76, 480, 330), QStringLiteral("Sales by region"), Qt::white);
    const QRect plot = content.adjusted(50, 40, -24, -46);
    p.setFont(font(14, true));
    p.setPen(QColor(0x20, 0x20, 0x26));
    p.drawText(content.adjusted(20, 10, 0, 0), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("North vs. South, per quarter"));

    p.setFont(font(11));
    p.setPen(QColor(0xd8, 0xd8, 0xde));
    for (int i = 0; i <= 4; ++i) {
        const int y = plot.bottom() - i * plot.height() / 4;
        p.drawLine(plot.left(), y, plot.right(), y);
    }
    p.setPen(QColor(0x70, 0x70, 0x78));
    for (int i = 0; i <= 4; ++i) {
        const int y = plot.bottom() - i * plot.height() / 4;
        p.drawText(QRect(plot.left() - 44, y - 8, 38, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(i * 25));
    }

    // Red and green side by side: the pair a red-green colour deficiency cannot tell apart.
    const QColor north(0xd7, 0x26, 0x1e);
    const QColor south(0x2e, 0xa0, 0x43);
    const std::array<std::array<int, 2>, 4> values{{{62, 48}, {75, 81}, {54, 90}, {88, 70}}};
    const int group = plot.width() / 4;
    for (int q = 0; q < 4; ++q) {
        const int left = plot.left() + q * group + group / 2 - 34;
        for (int s = 0; s < 2; ++s) {
            const int h = values[q][s] * plot.height() / 100;
            p.fillRect(QRect(left + s * 36, plot.bottom() - h, 32, h), s == 0 ? north : south);
        }
        p.setPen(QColor(0x50, 0x50, 0x58));
        p.drawText(QRect(plot.left() + q * group, plot.bottom() + 4, group, 18), Qt::AlignCenter,
                   QStringLiteral("Q%1").arg(q + 1));
    }
    const int legendY = content.bottom() - 18;
    p.fillRect(QRect(content.left() + 60, legendY - 6, 12, 12), north);
    p.drawText(QPoint(content.left() + 78, legendY + 5), QStringLiteral("North"));
    p.fillRect(QRect(content.left() + 150, legendY - 6, 12, 12), south);
    p.drawText(QPoint(content.left() + 168, legendY + 5), QStringLiteral("South"));
}

void paintPalette(QPainter& p) {
    const QRect content = paintWindow(p, QRect(745, 424, 480, 128), QStringLiteral("Palette"),
                                      QColor(0xf6, 0xf6, 0xf8));
    struct Swatch {
        QColor color;
        const char* name;
    };
    const std::array<Swatch, 8> swatches{{
        {QColor(0xe5, 0x1c, 0x23), "Red"},
        {QColor(0x2e, 0xb8, 0x3b), "Green"},
        {QColor(0x1f, 0x5f, 0xe0), "Blue"},
        {QColor(0xff, 0xd4, 0x00), "Yellow"},
        {QColor(0xff, 0x8a, 0x00), "Orange"},
        {QColor(0x8e, 0x3c, 0xcf), "Purple"},
        {QColor(0x00, 0xbc, 0xd4), "Cyan"},
        {QColor(0xe9, 0x1e, 0x8c), "Magenta"},
    }};
    p.setFont(font(11));
    const int step = (content.width() - 24) / static_cast<int>(swatches.size());
    for (int i = 0; i < static_cast<int>(swatches.size()); ++i) {
        const QRect box(content.left() + 14 + i * step, content.top() + 14, step - 10, 52);
        p.setPen(Qt::NoPen);
        p.setBrush(swatches[i].color);
        p.drawRoundedRect(box, 6, 6);
        p.setPen(QColor(0x40, 0x40, 0x48));
        p.drawText(QRect(box.left() - 4, box.bottom() + 4, box.width() + 8, 16), Qt::AlignCenter,
                   QString::fromLatin1(swatches[i].name));
    }
}

void paintTerminal(QPainter& p) {
    const QRect content = paintWindow(p, QRect(745, 570, 480, 132), QStringLiteral("Terminal"),
                                      QColor(0x1e, 0x1f, 0x26));
    p.setFont(font(13, false, true));
    const std::array<std::pair<QColor, const char*>, 4> lines{{
        {QColor(0x8a, 0xe2, 0x34), "$ make gallery"},
        {QColor(0xd0, 0xd0, 0xd8), "rendering 14 effects at 1280x720"},
        {QColor(0xd0, 0xd0, 0xd8), "wrote docs/gallery/focus-band-dim.png"},
        {QColor(0x8a, 0xe2, 0x34), "$ _"},
    }};
    int y = content.top() + 24;
    for (const auto& [color, line] : lines) {
        p.setPen(color);
        p.drawText(QPoint(content.left() + 16, y), QString::fromLatin1(line));
        y += 22;
    }
}

}  // namespace

QImage paintSampleDesktop() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    paintWallpaper(p);
    paintMenuBar(p);
    paintDocument(p);
    paintChart(p);
    paintPalette(p);
    paintTerminal(p);
    p.end();
    return image;
}

}  // namespace glimmora

// Draws the call dialog's skin: every image at scale 1 and 2, as PNG files
// named after their role (the @2x file for scale 2). The window shape comes
// from the magenta key of the backgrounds, so their edges are drawn crisp:
// a pixel is either fully panel or fully magenta, and antialiased edges are
// blended against the panel's rim colour, never against magenta.
//
//   pellandor-skin-gen [--bgra] OUTPUT_DIR
//
// --bgra writes NAME.bgra (and NAME@2x.bgra) instead, for the Windows build:
// width and height as 32-bit little-endian numbers, then the rows top down
// as premultiplied B, G, R, A pixels (a 32-bit DIB's own layout), run-length
// coded: a 32-bit little-endian count with the top bit set is followed by
// one pixel repeated that many times, one without it by that many pixels.
// The images are mostly flat colour and the key, so the program carries a
// tenth of their size.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kMagenta(255, 0, 255);
const QColor kPanelTop(0x2c, 0x31, 0x3a);
const QColor kPanelBottom(0x1d, 0x20, 0x26);
const QColor kPanelRim(0x46, 0x4c, 0x57);
const QColor kGlyph(0xc9, 0xcf, 0xd8);

using Painter = std::function<void(QPainter&)>;

QImage render(QSize size, int scale, const Painter& paint) {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    paint(p);
    p.end();
    return image;
}

bool gBgra = false;

void appendWord(QByteArray& data, quint32 v) {
    for (int shift = 0; shift < 32; shift += 8) data.append(char((v >> shift) & 0xff));
}

constexpr quint32 kRepeatBit = 0x80000000u;

bool saveBgra(const QImage& image, const QString& path) {
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    std::vector<quint32> all;
    all.reserve(std::size_t(pixels.width()) * pixels.height());
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(pixels.constScanLine(y));
        all.insert(all.end(), row, row + pixels.width());
    }
    QByteArray data;
    appendWord(data, quint32(pixels.width()));
    appendWord(data, quint32(pixels.height()));
    const std::size_t n = all.size();
    std::size_t i = 0;
    while (i < n) {
        std::size_t same = i + 1;
        while (same < n && all[same] == all[i]) ++same;
        if (same - i >= 2) {
            appendWord(data, kRepeatBit | quint32(same - i));
            appendWord(data, all[i]);
            i = same;
            continue;
        }
        // Literal pixels up to where the next run of two starts.
        std::size_t end = i + 1;
        while (end < n && !(end + 1 < n && all[end + 1] == all[end])) ++end;
        appendWord(data, quint32(end - i));
        for (; i < end; ++i) appendWord(data, all[i]);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.flush();
}

bool save(const QImage& image, const QString& dir, const QString& name, int scale) {
    const QString path = dir + '/' + name + (scale == 2 ? "@2x" : "") + (gBgra ? ".bgra" : ".png");
    if (gBgra ? saveBgra(image, path) : image.save(path)) return true;
    std::fprintf(stderr, "pellandor-skin-gen: cannot write %s\n", qPrintable(path));
    return false;
}

// ---- backgrounds -------------------------------------------------------

QPainterPath panelShape(QSize size) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, size.width(), size.height()), 11, 11);
    return path;
}

void paintPanel(QPainter& p, QSize size, bool full) {
    const QRectF r(0, 0, size.width(), size.height());
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, kPanelTop);
    fill.setColorAt(1, kPanelBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(panelShape(size));
    // A one-pixel rim, lighter at the top like light falling on an edge.
    QLinearGradient rim(r.topLeft(), r.bottomLeft());
    rim.setColorAt(0, kPanelRim);
    rim.setColorAt(1, QColor(0x30, 0x34, 0x3c));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(rim), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 10.5, 10.5);

    if (full) {
        // Brand mark top left: a green dot with a small handset.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2e, 0xc2, 0x6f));
        p.drawEllipse(QRectF(15, 13, 16, 16));
        QPainterPath handset;
        handset.moveTo(19.2, 17.0);
        handset.cubicTo(19.2, 22.5, 22.5, 25.8, 28.0, 25.8);
        p.setPen(QPen(QColor(0x10, 0x2a, 0x1b), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(handset);
        // Separator between the title row and the dialling row.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 16));
        p.drawRect(QRectF(12, 39, size.width() - 24, 1));
    }
}

// Flattens an antialiased panel onto magenta with a crisp edge. `keep`
// (scale 1) decides which pixels belong to the window; a scale-2 image uses
// the scale-1 decision so its visible pixels match the window mask exactly.
QImage keyOut(const QImage& panel, const QImage* keep1x, int scale) {
    QImage out(panel.size(), QImage::Format_RGB32);
    for (int y = 0; y < panel.height(); ++y) {
        for (int x = 0; x < panel.width(); ++x) {
            const QColor c = QColor::fromRgba(panel.pixel(x, y));  // premultiplied -> plain
            bool inside = c.alpha() >= 128;
            if (keep1x) inside = keep1x->pixel(x / scale, y / scale) != kMagenta.rgb();
            if (!inside) {
                out.setPixel(x, y, kMagenta.rgb());
                continue;
            }
            const double a = c.alphaF();
            const auto blend = [a](int fg, int bg) { return int(std::lround(fg * a + bg * (1 - a))); };
            QColor solid(blend(c.red(), kPanelRim.red()), blend(c.green(), kPanelRim.green()),
                         blend(c.blue(), kPanelRim.blue()));
            if (solid.rgb() == kMagenta.rgb()) solid = QColor(254, 0, 254);  // never the key by accident
            out.setPixel(x, y, solid.rgb());
        }
    }
    return out;
}

bool background(const QString& dir, const QString& name, QSize size, bool full) {
    const auto paint = [&](QPainter& p) { paintPanel(p, size, full); };
    QImage one = keyOut(render(size, 1, paint), nullptr, 1);
    QImage two = keyOut(render(size, 2, paint), &one, 2);
    return save(one, dir, name, 1) && save(two, dir, name, 2);
}

// ---- glyphs ------------------------------------------------------------

// A telephone handset in a 20 x 20 box, earpiece top left.
QPainterPath handset() {
    QPainterPath body;
    body.moveTo(4.2, 3.2);
    body.cubicTo(2.6, 4.2, 2.4, 7.6, 5.6, 11.8);
    body.cubicTo(8.9, 16.0, 12.6, 18.0, 15.2, 16.8);
    QPainterPathStroker stroker;
    stroker.setWidth(3.4);
    stroker.setCapStyle(Qt::RoundCap);
    QPainterPath path = stroker.createStroke(body);
    // Ear and mouth pieces.
    QPainterPath ends;
    ends.addRoundedRect(QRectF(2.3, 1.6, 6.2, 3.8), 1.8, 1.8);
    QTransform ear;
    ear.translate(5.4, 3.5);
    ear.rotate(28);
    ear.translate(-5.4, -3.5);
    path = path.united(ear.map(ends));
    QPainterPath mouth;
    mouth.addRoundedRect(QRectF(13.2, 13.8, 3.8, 6.2), 1.8, 1.8);
    QTransform m;
    m.translate(15.1, 16.9);
    m.rotate(-28);
    m.translate(-15.1, -16.9);
    path = path.united(m.map(mouth));
    return path.simplified();
}

void drawHandset(QPainter& p, QPointF centre, double size, double rotation, const QColor& colour) {
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(rotation);
    t.scale(size / 20.0, size / 20.0);
    t.translate(-10, -10);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(t.map(handset()));
}

enum class State { Normal, Hover, Pressed };

struct Tone {
    QColor light, dark;
};

// A rounded, softly lit key; pressed keys sink a pixel and lose their shine.
void key(QPainter& p, QRectF r, double radius, Tone tone, State state) {
    QColor top = tone.light, bottom = tone.dark;
    if (state == State::Hover) top = top.lighter(112), bottom = bottom.lighter(112);
    if (state == State::Pressed) top = tone.dark.darker(108), bottom = tone.dark.darker(118);
    // drop shadow under a raised key.
    if (state != State::Pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawRoundedRect(r.translated(0, 1.2), radius, radius);
    } else {
        r.translate(0, 0.8);
    }
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(bottom.darker(125), 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    if (state != State::Pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 60), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1, radius - 1);
    }
}

const Tone kGreen{QColor(0x3b, 0xd4, 0x7e), QColor(0x1f, 0x9d, 0x55)};
const Tone kRed{QColor(0xf0, 0x5a, 0x4f), QColor(0xc2, 0x2f, 0x26)};

Painter dialKey(QSize size, Tone tone, double rotation, State state) {
    return [=](QPainter& p) {
        const QRectF r = QRectF(0, 0, size.width(), size.height()).adjusted(2, 2, -2, -3);
        key(p, r, 9, tone, state);
        const double glyph = std::min(r.width(), r.height()) * 0.55;
        QPointF centre = r.center() + QPointF(0, state == State::Pressed ? 0.8 : 0);
        drawHandset(p, centre, glyph, rotation, QColor(255, 255, 255, state == State::Pressed ? 225 : 255));
    };
}

// Window buttons: a quiet glyph; hover and press light up a soft plate.
Painter windowKey(QSize size, double inset, double radius, QColor plateHover,
                  const std::function<void(QPainter&, QRectF)>& glyph, QColor glyphHover, State state) {
    return [=](QPainter& p) {
        const QRectF r = QRectF(0, 0, size.width(), size.height()).adjusted(inset, inset, -inset, -inset);
        QColor pen = kGlyph;
        if (state != State::Normal) {
            QColor plate = plateHover;
            if (state == State::Pressed) plate = plate.darker(130);
            p.setPen(Qt::NoPen);
            p.setBrush(plate);
            p.drawRoundedRect(r, radius, radius);
            pen = glyphHover;
        }
        p.setPen(QPen(pen, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        glyph(p, r);
    };
}

void drawCross(QPainter& p, QRectF r, double half) {
    const QPointF c = r.center();
    p.drawLine(c + QPointF(-half, -half), c + QPointF(half, half));
    p.drawLine(c + QPointF(-half, half), c + QPointF(half, -half));
}

void dash(QPainter& p, QRectF r) {
    const QPointF c = r.center();
    p.drawLine(c + QPointF(-4.5, 0), c + QPointF(4.5, 0));
}

void expand(QPainter& p, QRectF r) {
    // Chevron opening downwards: "show the full dialog".
    const QPointF c = r.center();
    QPainterPath v;
    v.moveTo(c + QPointF(-3.5, -1.5));
    v.lineTo(c + QPointF(0, 2));
    v.lineTo(c + QPointF(3.5, -1.5));
    p.drawPath(v);
}

Painter arrow(QSize size, bool pressed) {
    return [=](QPainter& p) {
        QPainterPath v;
        const double w = size.width(), h = size.height();
        v.moveTo(w / 2 - 4, 0.8);
        v.lineTo(w / 2, h - 0.8);
        v.lineTo(w / 2 + 4, 0.8);
        p.setPen(QPen(pressed ? QColor(0x3a, 0x3f, 0x47) : QColor(255, 255, 255), 1.6, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(v);
    };
}

bool image(const QString& dir, const QString& name, QSize size, const Painter& paint) {
    return save(render(size, 1, paint), dir, name, 1) && save(render(size, 2, paint), dir, name, 2);
}

bool threeStates(const QString& dir, const QString& name, QSize size, const std::function<Painter(State)>& make) {
    return image(dir, name, size, make(State::Normal)) && image(dir, name + "_hover", size, make(State::Hover)) &&
           image(dir, name + "_pressed", size, make(State::Pressed));
}

}  // namespace

int main(int argc, char** argv) {
    gBgra = argc == 3 && QByteArray(argv[1]) == "--bgra";
    if (argc != 2 && !gBgra) {
        std::fprintf(stderr, "usage: pellandor-skin-gen [--bgra] OUTPUT_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[argc - 1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "pellandor-skin-gen: cannot create %s\n", argv[argc - 1]);
        return 1;
    }
    const QColor closeRed(0xe0, 0x3e, 0x36);
    const QColor plate(255, 255, 255, 34);
    const QColor white(255, 255, 255);
    const auto cross = [](double half) { return [half](QPainter& p, QRectF r) { drawCross(p, r, half); }; };

    bool ok =
        background(dir, "background_full", {282, 94}, true) && background(dir, "background_small", {280, 51}, false);
    ok = ok && threeStates(dir, "call", {39, 45}, [&](State s) { return dialKey({39, 45}, kGreen, 0, s); });
    ok = ok && threeStates(dir, "hangup", {39, 45}, [&](State s) { return dialKey({39, 45}, kRed, 135, s); });
    ok = ok && threeStates(dir, "call_min", {37, 37}, [&](State s) { return dialKey({37, 37}, kGreen, 0, s); });
    ok = ok && threeStates(dir, "hangup_min", {37, 37}, [&](State s) { return dialKey({37, 37}, kRed, 135, s); });
    ok = ok && threeStates(dir, "minimize", {29, 31}, [&](State s) {
             return windowKey({29, 31}, 3, 6, plate, dash, white, s);
         });
    ok = ok && threeStates(dir, "exit", {29, 31}, [&](State s) {
             return windowKey({29, 31}, 3, 6, closeRed, cross(4.0), white, s);
         });
    ok = ok && threeStates(dir, "maximize", {18, 18}, [&](State s) {
             return windowKey({18, 18}, 1, 4, plate, expand, white, s);
         });
    ok = ok && threeStates(dir, "exit_min", {18, 18}, [&](State s) {
             return windowKey({18, 18}, 1, 4, closeRed, cross(3.0), white, s);
         });
    ok = ok && image(dir, "arrow", {14, 5}, arrow({14, 5}, false)) &&
         image(dir, "arrow_pressed", {14, 5}, arrow({14, 5}, true));
    return ok ? 0 : 1;
}

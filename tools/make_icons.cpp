// Draws the application's icons and the main window's logo and writes them
// as PNG files: make_icons <output folder> [<sheet.png>]. The committed
// files under resources/icons/ are this program's output. With a second
// argument it also writes a sheet of every icon at 20, 24, 32 and 48
// pixels on the dark and the light window colours, to look at them.
//
// Every icon is drawn on a 48-unit grid in one flat style: objects are
// light shapes with a dark outline (so they read on dark and on light
// backgrounds alike), actions are round badges, and one red accent marks
// what matters (the ECG trace, recording, the plus and minus badges).
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor Ink(60, 70, 86);        // outlines and dark glyphs
const QColor Paper(245, 247, 249);   // light fill of objects
const QColor Muted(120, 132, 148);   // secondary marks (text lines)
const QColor Accent(208, 53, 63);    // the one accent colour
const QColor AccentTint(242, 190, 190);
const QColor Brand(170, 24, 44);     // the logo's badge, as on the report logo
const QColor LogoText(125, 135, 148);

constexpr double Grid = 48.0;
constexpr double Stroke = 3.0;

QPen inkPen(double width = Stroke, const QColor& color = Ink)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A light shape with the dark outline.
void object(QPainter& p, const QPainterPath& path)
{
    p.setPen(inkPen());
    p.setBrush(Paper);
    p.drawPath(path);
}

QPainterPath roundedRect(const QRectF& rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath polygon(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QVector<QPointF>(points)));
    path.closeSubpath();
    return path;
}

void line(QPainter& p, const QPointF& from, const QPointF& to, const QPen& pen)
{
    p.setPen(pen);
    p.drawLine(from, to);
}

// A round badge of the given colour filling the icon.
void badge(QPainter& p, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(24, 24), 21, 21);
}

// A page with a folded top-right corner.
void page(QPainter& p, const QRectF& r)
{
    const double fold = r.width() * 0.3;
    object(p, polygon({r.topLeft(), QPointF(r.right() - fold, r.top()), QPointF(r.right(), r.top() + fold),
                       r.bottomRight(), r.bottomLeft()}));
    p.setPen(inkPen());
    p.setBrush(Qt::NoBrush);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.drawPath(corner);
}

// Lines of text from `top` down, 6 units apart, the last one shorter.
void textLines(QPainter& p, double left, double right, double top, int count)
{
    for (int i = 0; i < count; ++i) {
        const double end = i == count - 1 ? left + (right - left) * 0.6 : right;
        line(p, QPointF(left, top + 6 * i), QPointF(end, top + 6 * i), inkPen(2.5, Muted));
    }
}

// One ECG complex along `base` from x0 to x1, peaks scaled by `h`.
QPainterPath heartbeat(double x0, double x1, double base, double h)
{
    const double w = x1 - x0;
    QPainterPath path;
    path.moveTo(x0, base);
    path.lineTo(x0 + 0.18 * w, base);
    path.quadTo(x0 + 0.25 * w, base - 0.25 * h, x0 + 0.32 * w, base);
    path.lineTo(x0 + 0.40 * w, base);
    path.lineTo(x0 + 0.45 * w, base + 0.2 * h);
    path.lineTo(x0 + 0.52 * w, base - h);
    path.lineTo(x0 + 0.59 * w, base + 0.45 * h);
    path.lineTo(x0 + 0.64 * w, base);
    path.lineTo(x0 + 0.72 * w, base);
    path.quadTo(x0 + 0.80 * w, base - 0.35 * h, x0 + 0.88 * w, base);
    path.lineTo(x1, base);
    return path;
}

void trace(QPainter& p, const QPainterPath& path, double width = 3.0)
{
    p.setPen(inkPen(width, Accent));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// An arrow head at `tip` pointing along `angle` (degrees, y down).
void arrowHead(QPainter& p, const QPointF& tip, double angle, double size, const QColor& color)
{
    const double a = qDegreesToRadians(angle);
    const QPointF back(std::cos(a) * size, std::sin(a) * size);
    const QPointF side(-std::sin(a) * size * 0.75, std::cos(a) * size * 0.75);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF({tip, tip - back + side, tip - back - side}));
}

// --- the icons -----------------------------------------------------------

void drawExit(QPainter& p)
{
    object(p, roundedRect(QRectF(7, 6, 22, 36), 2));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(24, 25), 2, 2);
    line(p, QPointF(18, 24), QPointF(36, 24), inkPen(4, Accent));
    arrowHead(p, QPointF(44, 24), 0, 10, Accent);
}

void drawSettings(QPainter& p)
{
    QPainterPath gear;
    gear.addEllipse(QPointF(24, 24), 14, 14);
    for (int tooth = 0; tooth < 8; ++tooth) {
        QPainterPath rect;
        rect.addRoundedRect(QRectF(-4.5, -21, 9, 10), 1.5, 1.5);
        QTransform turn;
        turn.translate(24, 24);
        turn.rotate(45.0 * tooth);
        gear = gear.united(turn.map(rect));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(24, 24), 6, 6);
    object(p, gear.subtracted(hole));
}

void drawHeartMonitor(QPainter& p)
{
    object(p, roundedRect(QRectF(4, 7, 40, 28), 3));
    object(p, polygon({QPointF(20, 35), QPointF(28, 35), QPointF(30, 42), QPointF(18, 42)}));
    line(p, QPointF(13, 42), QPointF(35, 42), inkPen());
    trace(p, heartbeat(8, 40, 24, 12));
}

QPainterPath folderBack(double top)
{
    QPainterPath path;
    path.moveTo(5, 40);
    path.lineTo(5, top);
    path.lineTo(17, top);
    path.lineTo(21, top + 4);
    path.lineTo(41, top + 4);
    path.lineTo(41, 40);
    path.closeSubpath();
    return path;
}

void drawFolder(QPainter& p)
{
    object(p, folderBack(9));
    line(p, QPointF(5, 18), QPointF(41, 18), inkPen());
}

void drawOpenFolder(QPainter& p)
{
    object(p, folderBack(8));
    object(p, polygon({QPointF(5, 40), QPointF(11, 20), QPointF(45, 20), QPointF(39, 40)}));
}

void drawPatient(QPainter& p)
{
    QPainterPath shoulders;
    shoulders.moveTo(7, 44);
    shoulders.cubicTo(7, 29, 15, 27, 24, 27);
    shoulders.cubicTo(33, 27, 41, 29, 41, 44);
    shoulders.closeSubpath();
    object(p, shoulders);
    QPainterPath head;
    head.addEllipse(QPointF(24, 15), 9, 9);
    object(p, head);
}

void drawClinic(QPainter& p)
{
    object(p, polygon({QPointF(6, 43), QPointF(6, 16), QPointF(24, 6), QPointF(42, 16), QPointF(42, 43)}));
    object(p, roundedRect(QRectF(19, 31, 10, 12), 1));
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawRect(QRectF(21.5, 13, 5, 15));
    p.drawRect(QRectF(16.5, 18, 15, 5));
    p.setBrush(Ink);
    for (double x : {10.0, 34.0})
        p.drawRect(QRectF(x, 31, 4, 4));
}

void drawPlus(QPainter& p)
{
    badge(p, Accent);
    line(p, QPointF(14, 24), QPointF(34, 24), inkPen(5.5, Qt::white));
    line(p, QPointF(24, 14), QPointF(24, 34), inkPen(5.5, Qt::white));
}

void drawMinus(QPainter& p)
{
    badge(p, Accent);
    line(p, QPointF(14, 24), QPointF(34, 24), inkPen(5.5, Qt::white));
}

void drawEdit(QPainter& p)
{
    page(p, QRectF(6, 4, 26, 36));
    textLines(p, 11, 26, 16, 3);
    p.save();
    p.translate(33, 29);
    p.rotate(45);
    // Along the pencil: x from the tip (negative) to the eraser.
    object(p, polygon({QPointF(-17, 0), QPointF(-10, -4.5), QPointF(10, -4.5), QPointF(10, 4.5), QPointF(-10, 4.5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawPolygon(QPolygonF({QPointF(-17, 0), QPointF(-13.5, -2.2), QPointF(-13.5, 2.2)}));
    p.setPen(inkPen());
    p.setBrush(Accent);
    p.drawRoundedRect(QRectF(10, -4.5, 6, 9), 1.5, 1.5);
    p.restore();
}

void drawDelete(QPainter& p)
{
    object(p, polygon({QPointF(11, 15), QPointF(37, 15), QPointF(34.5, 44), QPointF(13.5, 44)}));
    object(p, roundedRect(QRectF(18, 5, 12, 6), 1.5));
    line(p, QPointF(7, 12), QPointF(41, 12), inkPen(3.5));
    for (double x : {19.0, 24.0, 29.0})
        line(p, QPointF(x, 21), QPointF(x, 38), inkPen(2.5));
}

void drawHighPriority(QPainter& p)
{
    badge(p, Accent);
    line(p, QPointF(24, 12), QPointF(24, 28), inkPen(6, Qt::white));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(24, 36), 3.5, 3.5);
}

void drawShare(QPainter& p)
{
    const QPointF from(13, 24), up(35, 11), down(35, 37);
    line(p, from, up, inkPen(3.5, Muted));
    line(p, from, down, inkPen(3.5, Muted));
    for (const QPointF& node : {up, down}) {
        QPainterPath circle;
        circle.addEllipse(node, 6.5, 6.5);
        object(p, circle);
    }
    p.setPen(inkPen());
    p.setBrush(Accent);
    p.drawEllipse(from, 6.5, 6.5);
}

void drawViewFile(QPainter& p)
{
    page(p, QRectF(5, 3, 28, 38));
    textLines(p, 10, 27, 16, 3);
    line(p, QPointF(36, 36), QPointF(44, 44), inkPen(5));
    QPainterPath lens;
    lens.addEllipse(QPointF(31, 31), 8, 8);
    object(p, lens);
    p.setPen(inkPen(2.5, Accent));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(26.5, 26.5, 9, 9), 100 * 16, 80 * 16);
}

// The round frame shared by the record and stop buttons.
void mediaFrame(QPainter& p)
{
    QPainterPath ring;
    ring.addEllipse(QPointF(24, 24), 20, 20);
    object(p, ring);
}

void drawRecord(QPainter& p)
{
    mediaFrame(p);
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawEllipse(QPointF(24, 24), 11, 11);
}

void drawStop(QPainter& p)
{
    mediaFrame(p);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawRoundedRect(QRectF(15, 15, 18, 18), 2, 2);
}

void drawLowBattery(QPainter& p)
{
    object(p, roundedRect(QRectF(4, 14, 35, 20), 3));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawRoundedRect(QRectF(40, 19, 4, 10), 1.5, 1.5);
    p.setBrush(Accent);
    p.drawRect(QRectF(8, 18, 7, 12));
}

void drawConnecting(QPainter& p)
{
    QPainterPath disc;
    disc.addEllipse(QPointF(24, 24), 21, 21);
    object(p, disc);
    const QRectF arc(12, 12, 24, 24);
    p.setPen(QPen(Accent, 4, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    // Two arcs chasing each other round the centre (Qt angles run
    // counter-clockwise from three o'clock, in 1/16 degree).
    p.drawArc(arc, 30 * 16, 120 * 16);
    p.drawArc(arc, 210 * 16, 120 * 16);
    arrowHead(p, QPointF(12.5, 30), 100, 8, Accent);
    arrowHead(p, QPointF(35.5, 18), 280, 8, Accent);
}

void drawGrid(QPainter& p)
{
    object(p, roundedRect(QRectF(5, 5, 38, 38), 2));
    for (double v = 12.5; v < 42; v += 7.5) {
        line(p, QPointF(v, 6.5), QPointF(v, 41.5), inkPen(1.2, AccentTint));
        line(p, QPointF(6.5, v), QPointF(41.5, v), inkPen(1.2, AccentTint));
    }
    p.setPen(inkPen());
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(5, 5, 38, 38), 2, 2);
    trace(p, heartbeat(8, 40, 28, 16));
}

void drawDocument(QPainter& p)
{
    page(p, QRectF(9, 4, 30, 40));
    textLines(p, 14, 34, 17, 4);
}

// A card with a title letter and lines of text.
void drawText(QPainter& p)
{
    object(p, roundedRect(QRectF(4, 6, 40, 36), 3));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawRect(QRectF(9, 11, 14, 4));
    p.drawRect(QRectF(14, 11, 4, 15));
    textLines(p, 24, 39, 14, 2);
    textLines(p, 9, 39, 31, 2);
}

void drawPrint(QPainter& p)
{
    object(p, roundedRect(QRectF(13, 4, 22, 14), 1));
    object(p, roundedRect(QRectF(4, 16, 40, 19), 3));
    object(p, roundedRect(QRectF(13, 28, 22, 16), 1));
    textLines(p, 17, 31, 34, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawEllipse(QPointF(38, 22), 2.2, 2.2);
}

// The main window's logo: the brand badge with an ECG complex and the
// company name in a grey that reads on both style sheets.
QImage drawLogo()
{
    const int width = 228, height = 56;
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF badgeRect(4, 4, height - 8, height - 8);
    p.setPen(Qt::NoPen);
    p.setBrush(Brand);
    p.drawRoundedRect(badgeRect, 9, 9);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(heartbeat(badgeRect.left() + 4, badgeRect.right() - 4, badgeRect.center().y() + 5, 22));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(32);
    font.setWeight(QFont::Bold);
    p.setFont(font);
    p.setPen(LogoText);
    p.drawText(QRectF(height + 6, 0, width - height - 6, height), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Pulsorix"));
    return image;
}

struct Icon {
    const char* file;
    int size;
    std::function<void(QPainter&)> draw;
};

const std::vector<Icon>& icons()
{
    static const std::vector<Icon> all = {
        {"exit.png", 50, drawExit},
        {"settings3-50.png", 50, drawSettings},
        {"heart_monitor-50.png", 50, drawHeartMonitor},
        {"open48.png", 48, drawOpenFolder},
        {"patient.png", 50, drawPatient},
        {"clinic-50.png", 50, drawClinic},
        {"Plus-50.png", 50, drawPlus},
        {"Minus-50.png", 50, drawMinus},
        {"edit.png", 50, drawEdit},
        {"delete-50.png", 50, drawDelete},
        {"folder-50.png", 50, drawFolder},
        {"high_priority-50.png", 50, drawHighPriority},
        {"share-50.png", 50, drawShare},
        {"view_file-50.png", 50, drawViewFile},
        {"Record-50.png", 50, drawRecord},
        {"Stop-50.png", 50, drawStop},
        {"low-battery.png", 50, drawLowBattery},
        {"connecting.png", 50, drawConnecting},
        {"Grid-50.png", 50, drawGrid},
        {"Document-50.png", 50, drawDocument},
        {"text-50.png", 50, drawText},
        {"print.png", 50, drawPrint},
    };
    return all;
}

QImage render(const Icon& icon, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / Grid, size / Grid);
    icon.draw(p);
    return image;
}

// Every icon at four sizes on the two style sheets' button and window
// colours, with the logo below.
QImage drawSheet()
{
    const int sizes[] = {20, 24, 32, 48};
    const QColor backgrounds[] = {QColor(0x34, 0x39, 0x41), QColor(0x1c, 0x1f, 0x23), QColor(0xe9, 0xec, 0xef),
                                  QColor(0xff, 0xff, 0xff)};
    const int cell = 56, label = 150;
    const int columns = 4 * 4;
    const int rows = int(icons().size());
    QImage sheet(label + columns * cell, rows * cell + 80, QImage::Format_ARGB32);
    sheet.fill(QColor(0x80, 0x80, 0x80));
    QPainter p(&sheet);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    p.setFont(font);
    for (int row = 0; row < rows; ++row) {
        const Icon& icon = icons()[std::size_t(row)];
        p.setPen(Qt::black);
        p.drawText(QRect(4, row * cell, label - 8, cell), Qt::AlignVCenter, QLatin1String(icon.file));
        for (int b = 0; b < 4; ++b) {
            for (int s = 0; s < 4; ++s) {
                const QRect box(label + (b * 4 + s) * cell, row * cell, cell, cell);
                p.fillRect(box, backgrounds[b]);
                const int size = sizes[s];
                p.drawImage(box.center() - QPoint(size / 2, size / 2), render(icon, size));
            }
        }
    }
    for (int b = 0; b < 4; ++b) {
        const QRect box(label + b * 4 * cell, rows * cell, 4 * cell, 80);
        p.fillRect(box, backgrounds[b]);
        const QImage logo = drawLogo();
        p.drawImage(box.center() - QPoint(logo.width() / 2, logo.height() / 2), logo);
    }
    return sheet;
}

bool save(const QImage& image, const QString& path)
{
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_icons <output folder> [<sheet.png>]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool written = save(drawLogo(), folder + QStringLiteral("/logo-pulsorix.png"));
    for (const Icon& icon : icons())
        written = save(render(icon, icon.size), folder + QLatin1Char('/') + QLatin1String(icon.file)) && written;
    if (argc == 3)
        written = save(drawSheet(), QString::fromLocal8Bit(argv[2])) && written;
    return written ? 0 : 1;
}

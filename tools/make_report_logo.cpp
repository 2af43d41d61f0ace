// Draws the brand logo printed in the footer of every report page and
// writes it as a PNG: make_report_logo <output.png>. The committed file
// resources/logo-pulsorix-report.png is this program's output.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The footer field is 126 x 25 template units; the image keeps that shape
// at 8 pixels per unit, enough for a 1200 dpi printout.
constexpr int Width = 1008;
constexpr int Height = 200;

const QColor Brand(170, 24, 44);
const QColor Ink(40, 48, 64);

// A white ECG complex (P wave, QRS, T wave) across the badge.
QPainterPath heartbeat(const QRectF& badge)
{
    const double x = badge.left();
    const double w = badge.width();
    const double base = badge.center().y() + badge.height() * 0.08;
    const double h = badge.height();
    QPainterPath path;
    path.moveTo(x + 0.08 * w, base);
    path.lineTo(x + 0.22 * w, base);
    path.quadTo(x + 0.28 * w, base - 0.12 * h, x + 0.34 * w, base);
    path.lineTo(x + 0.40 * w, base);
    path.lineTo(x + 0.44 * w, base + 0.08 * h);
    path.lineTo(x + 0.50 * w, base - 0.36 * h);
    path.lineTo(x + 0.56 * w, base + 0.20 * h);
    path.lineTo(x + 0.60 * w, base);
    path.lineTo(x + 0.66 * w, base);
    path.quadTo(x + 0.75 * w, base - 0.18 * h, x + 0.84 * w, base);
    path.lineTo(x + 0.92 * w, base);
    return path;
}

QImage drawLogo()
{
    QImage image(Width, Height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF badge(8, 8, Height - 16, Height - 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Brand);
    painter.drawRoundedRect(badge, 32, 32);
    QPen trace(Qt::white, 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(trace);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(heartbeat(badge));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(118);
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(Ink);
    const QRectF words(Height + 12, 0, Width - Height - 20, Height);
    painter.drawText(words, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Pulsorix"));
    painter.end();
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_report_logo <output.png>\n");
        return 2;
    }
    if (!drawLogo().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

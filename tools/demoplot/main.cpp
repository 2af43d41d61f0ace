// demoplot: draws one lead of a demo recording (the acquisition frame format) on
// ECG paper as a PNG, to look at what the converter made.
//
//   demoplot [--lead NAME] [--row-seconds S] [--seam-only] [--zoom F] FILE RATE OUTPUT.png
//
// The whole file is drawn in rows of S seconds (default 10) at 25 mm/s and
// 10 mm/mV (4 pixels per mm, F times that with --zoom); a last row shows the
// loop seam: the final 2.5 s of the file followed by its first 2.5 s, with
// the wrap marked in red. --seam-only draws that row alone.
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int LeadCount = 14;
constexpr double MillivoltsPerCount = 600.0 / 65536.0;
double PixelsPerMm = 4.0;
double PixelsPerSecond = 25.0 * PixelsPerMm;
double PixelsPerMillivolt = 10.0 * PixelsPerMm;
constexpr int Margin = 30;
int RowHeight = int(4.5 * PixelsPerMillivolt);

const char* const LeadNames[LeadCount] = {"I",  "II", "III", "aVR", "aVL", "aVF", "V1",
                                          "V2", "V3", "V4",  "V5",  "V6",  "CM5", "CR5"};

int usage()
{
    std::fprintf(stderr, "usage: demoplot [--lead NAME] [--row-seconds S] [--seam-only] [--zoom F] FILE RATE OUTPUT.png\n");
    return 2;
}

void drawGrid(QPainter& painter, const QRectF& area)
{
    for (double x = area.left(), i = 0; x <= area.right() + 0.5; x += PixelsPerMm, ++i) {
        painter.setPen(QPen(int(i) % 5 == 0 ? QColor(240, 150, 150) : QColor(252, 215, 215), 1));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    for (double y = area.top(), i = 0; y <= area.bottom() + 0.5; y += PixelsPerMm, ++i) {
        painter.setPen(QPen(int(i) % 5 == 0 ? QColor(240, 150, 150) : QColor(252, 215, 215), 1));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
}

// Draws samples [from, from + count) of `values` (wrapping) in the area,
// centred on the median of what is drawn.
void drawTrace(QPainter& painter, const QRectF& area, const std::vector<double>& values, long from, long count,
               int rate)
{
    std::vector<double> shown;
    for (long i = 0; i < count; ++i)
        shown.push_back(values[std::size_t(((from + i) % long(values.size()) + long(values.size())) % long(values.size()))]);
    std::vector<double> sorted = shown;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double centre = sorted[sorted.size() / 2];
    const double zeroY = area.top() + area.height() * 0.6;
    QPainterPath path;
    for (long i = 0; i < count; ++i) {
        const QPointF point(area.left() + double(i) / rate * PixelsPerSecond,
                            zeroY - (shown[std::size_t(i)] - centre) * PixelsPerMillivolt);
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    painter.setPen(QPen(Qt::black, 1.3));
    painter.drawPath(path);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString leadName = QStringLiteral("II");
    double rowSeconds = 10.0;
    double zoom = 1.0;
    bool seamOnly = false;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seam-only"))
            seamOnly = true;
        else if (args[i] == QLatin1String("--zoom") && i + 1 < args.size())
            zoom = args[++i].toDouble();
        else if (args[i] == QLatin1String("--lead") && i + 1 < args.size())
            leadName = args[++i];
        else if (args[i] == QLatin1String("--row-seconds") && i + 1 < args.size())
            rowSeconds = args[++i].toDouble();
        else
            positional.append(args[i]);
    }
    if (positional.size() != 3 || rowSeconds <= 0.0 || zoom <= 0.0)
        return usage();
    PixelsPerMm *= zoom;
    PixelsPerSecond = 25.0 * PixelsPerMm;
    PixelsPerMillivolt = 10.0 * PixelsPerMm;
    RowHeight = int(4.5 * PixelsPerMillivolt);
    int lead = -1;
    for (int l = 0; l < LeadCount; ++l)
        if (leadName.compare(QLatin1String(LeadNames[l]), Qt::CaseInsensitive) == 0)
            lead = l;
    const int rate = positional[1].toInt();
    if (lead < 0 || rate <= 0)
        return usage();

    QFile file(positional[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "demoplot: cannot open %s\n", qPrintable(positional[0]));
        return 1;
    }
    const QByteArray bytes = file.readAll();
    const long frames = bytes.size() / (2 * LeadCount);
    if (frames == 0) {
        std::fprintf(stderr, "demoplot: no whole frame in the file\n");
        return 1;
    }
    std::vector<double> values(static_cast<std::size_t>(frames));
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    for (long f = 0; f < frames; ++f)
        values[std::size_t(f)] = qFromLittleEndian<qint16>(data + (f * LeadCount + lead) * 2) * MillivoltsPerCount;

    const long rowSamples = long(rowSeconds * rate);
    // A remainder shorter than a tenth of a row joins the last row.
    const int rows = std::max(1, int((frames - rowSamples / 10 + rowSamples - 1) / rowSamples));
    const long longestRow = seamOnly ? long(5.0 * rate) : std::max(frames - (rows - 1) * rowSamples, rowSamples);
    const int width = int(2 * Margin + double(longestRow) / rate * PixelsPerSecond);
    const int height = ((seamOnly ? 0 : rows) + 1) * (RowHeight + Margin) + Margin;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);

    for (int row = seamOnly ? rows : 0; row <= rows; ++row) {
        const double top = Margin + (seamOnly ? 0 : row) * (RowHeight + Margin);
        const bool seam = row == rows;
        const long from = seam ? frames - long(2.5 * rate) : row * rowSamples;
        const long count = seam ? std::min(frames, long(5.0 * rate))
                                : row == rows - 1 ? frames - from : std::min(rowSamples, frames - from);
        const QRectF area(Margin, top, count / double(rate) * PixelsPerSecond, RowHeight);
        drawGrid(painter, area);
        drawTrace(painter, area, values, from, count, rate);
        painter.setPen(Qt::darkBlue);
        const QString label = seam ? QStringLiteral("%1, loop seam: last 2.5 s | first 2.5 s").arg(leadName)
                                   : QStringLiteral("%1, %2 s to %3 s")
                                         .arg(leadName)
                                         .arg(double(from) / rate)
                                         .arg(double(from + count) / rate);
        painter.drawText(QPointF(Margin, top - 8), label);
        if (seam) {
            const double x = Margin + 2.5 * PixelsPerSecond;
            painter.setPen(QPen(Qt::red, 1, Qt::DashLine));
            painter.drawLine(QPointF(x, top), QPointF(x, top + RowHeight));
        }
    }
    painter.end();
    if (!image.save(positional[2])) {
        std::fprintf(stderr, "demoplot: cannot write %s\n", qPrintable(positional[2]));
        return 1;
    }
    std::printf("drew %ld frames (%.3f s) of lead %s into %s\n", frames, double(frames) / rate,
                qPrintable(leadName), qPrintable(positional[2]));
    return 0;
}

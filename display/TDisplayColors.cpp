#include "display/TDisplayColors.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double MinimumContrast = 4.5;
constexpr int MixSteps = 20;

// Relative luminance of a colour on the sRGB scale, 0 (black) to 1 (white).
double luminance(const QColor& color)
{
    const auto linear = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor mix(const QColor& from, const QColor& to, double share)
{
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                            from.greenF() + (to.greenF() - from.greenF()) * share,
                            from.blueF() + (to.blueF() - from.blueF()) * share, from.alphaF());
}

} // namespace

TDisplayColors::TDisplayColors(std::initializer_list<std::pair<int, QColor>> colors)
{
    for (const auto& entry : colors)
        set(entry.first, entry.second);
}

bool TDisplayColors::set(int role, QColor color)
{
    if (role == Highlight)
        color.setAlpha(HighlightAlpha);
    m_colors.insert(role, color);
    return role == Background || role == Grid;
}

QColor TDisplayColors::readable(int role) const
{
    const QColor background = at(Background);
    const QColor target = contrast(Qt::black, background) > contrast(Qt::white, background) ? QColor(Qt::black)
                                                                                             : QColor(Qt::white);
    QColor color = at(role);
    for (int step = 1; step <= MixSteps && contrast(color, background) < MinimumContrast; ++step)
        color = mix(at(role), target, double(step) / MixSteps);
    return color;
}

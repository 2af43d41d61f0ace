#include "display/DisplayColorSchemes.h"

#include "display/QSignalBrowseDisplay.h"
#include "display/QSignalMonitorDisplay.h"

namespace {

using Scheme = QMap<int, QColor>;

const QMap<QString, Scheme>& registry()
{
    static const QMap<QString, Scheme> schemes = {
        {QStringLiteral("Light"),
         {{0, QColor(0, 0, 0)}, {1, QColor(255, 255, 255)}, {2, QColor(220, 200, 180)},
          {3, QColor(192, 192, 192)}, {4, QColor(0, 0, 128)}, {5, QColor(0, 128, 0)},
          {6, QColor(255, 128, 0, 128)}, {7, QColor(0, 0, 255)}, {8, QColor(160, 160, 164)},
          {9, QColor(128, 0, 0)}}},
        {QStringLiteral("Blue"),
         {{0, QColor(255, 255, 255)}, {1, QColor(0, 0, 64)}, {2, QColor(96, 96, 128)},
          {3, QColor(160, 160, 164)}, {4, QColor(0, 255, 255)}, {5, QColor(0, 255, 0)},
          {6, QColor(255, 128, 0, 128)}, {7, QColor(255, 255, 0)}, {8, QColor(128, 128, 128)},
          {9, QColor(255, 0, 0)}}},
        {QStringLiteral("Black"),
         {{0, QColor(0, 255, 0)}, {1, QColor(0, 0, 0)}, {2, QColor(96, 96, 96)},
          {3, QColor(160, 160, 164)}, {4, QColor(255, 255, 0)}, {5, QColor(255, 255, 255)},
          {6, QColor(255, 128, 0, 128)}, {7, QColor(0, 255, 255)}, {8, QColor(128, 128, 128)},
          {9, QColor(255, 0, 0)}}},
    };
    return schemes;
}

template <typename Display>
void applyTo(Display* display, const QString& name)
{
    const auto scheme = registry().constFind(name);
    if (!display || scheme == registry().constEnd())
        return;
    for (auto role = scheme->constBegin(); role != scheme->constEnd(); ++role)
        display->setColor(role.key(), role.value());
    display->refresh();
}

} // namespace

QStringList colorSchemeNames()
{
    return registry().keys();
}

QMap<int, QColor> colorScheme(const QString& name)
{
    return registry().value(name);
}

void applyColorScheme(QSignalMonitorDisplay* display, const QString& name)
{
    applyTo(display, name);
}

void applyColorScheme(QSignalBrowseDisplay* display, const QString& name)
{
    applyTo(display, name);
}

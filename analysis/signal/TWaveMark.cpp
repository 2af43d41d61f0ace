#include "analysis/signal/TWaveMark.h"

TWaveMark::TWaveMark(const QString& name, Kind kind)
    : m_name(name)
    , m_kind(kind)
{
}

void TWaveMark::appendPoint(double timestamp, double value)
{
    m_timestamps.append(timestamp);
    m_values.append(value);
}

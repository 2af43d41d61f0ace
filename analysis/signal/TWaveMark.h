#pragma once

#include <QString>
#include <QVector>

// One named result of an averaged beat. The kind decides which of the
// values is meaningful and how the result is stored: a single value, an
// array of values, or a trend of (timestamp, value) points.
class TWaveMark
{
public:
    enum Kind {
        SingleValue = 0,
        ValueArray = 1,
        Trend = 4,
    };

    explicit TWaveMark(const QString& name, Kind kind = SingleValue);

    const QString& name() const { return m_name; }
    Kind kind() const { return m_kind; }

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    const QString& text() const { return m_text; }
    void setText(const QString& text) { m_text = text; }

    // Single value (seconds for the wave marks).
    double value() const { return m_value; }
    void setValue(double value) { m_value = value; }

    // Value array.
    const QVector<double>& values() const { return m_values; }
    void setValues(const QVector<double>& values) { m_values = values; }

    // Trend points; a point index outside the trend reads 0.
    int pointCount() const { return m_timestamps.size(); }
    double timestamp(int point) const { return m_timestamps.value(point); }
    double pointValue(int point) const { return m_values.value(point); }
    void appendPoint(double timestamp, double value);

private:
    QString m_name;
    Kind m_kind;
    int m_tag = 0;
    QString m_text;
    double m_value = 0.0;
    // The array values, or the trend's point values alongside m_timestamps.
    QVector<double> m_values;
    QVector<double> m_timestamps;
};

#pragma once

#include <QColor>
#include <QDomElement>
#include <QFont>
#include <QPen>
#include <QRect>
#include <QString>

class QPainter;
class TReportExpression;

// One TContainerField of a template band: its attributes with the
// highlighting rules already applied, the geometry in device pixels, and
// the drawing that needs nothing from the application (fills, borders,
// shapes, embedded images, label text).
class TReportField
{
public:
    enum Type {
        Label,
        LabelImage,
        Image,
        Diagram,
        Rectangle,
        RoundedRectangle,
        Circle,
        Triangle,
        Rhombus,
    };

    // Reads the field and applies its "highlighting" rules through the
    // expression evaluator (which requests the parameters they name).
    TReportField(const QDomElement& element, TReportExpression& expression);

    // Whether the "printing" attribute lets the field be laid out: a single
    // character is an integer, a longer text an expression.
    static bool isVisible(const QDomElement& element, TReportExpression& expression);

    const QDomElement& element() const { return m_element; }
    Type type() const { return m_type; }
    bool isShape() const { return m_type >= Rectangle; }
    int top() const;
    bool autoHeight() const;
    QString value() const;
    QString format() const;
    // The value with every "[" and "]" removed: the name of a drawing.
    QString parameterName() const;

    // The field's rectangle in device pixels for a band laid out at
    // bandTop (template units) whose real height is bandHeight.
    QRect deviceRect(float scaleX, float scaleY, int bandTop, int bandHeight) const;

    QFont font() const;
    QColor fontColor() const;
    QPen borderPen() const;
    int textFlags() const;
    // Where the label text goes inside the device rectangle.
    static QRect textRect(const QRect& rect);

    void drawBackground(QPainter& painter, const QRect& rect) const;
    void drawBorders(QPainter& painter, const QRect& rect) const;
    // Corner radii of rounded rectangles scale like the template.
    void drawShape(QPainter& painter, const QRect& rect, float scaleX, float scaleY) const;
    void drawImage(QPainter& painter, const QRect& rect) const;

private:
    static Type typeOf(const QDomElement& element);
    void applyHighlighting(TReportExpression& expression);
    int intAttribute(const char* name, int defaultValue = 0) const;

    QDomElement m_element;
    Type m_type;
    bool m_bold;
    bool m_italic;
    bool m_underline;
    bool m_strikeout;
    QString m_fontColor;
    QString m_backgroundColor;
};

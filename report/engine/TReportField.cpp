#include "report/engine/TReportField.h"

#include "report/engine/TReportColor.h"
#include "report/engine/TReportExpression.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

namespace {

// Device pixels per unit of "borderWidth".
constexpr int BorderWidthPixels = 5;
// Corner radius of rounded rectangles, template units.
constexpr float CornerRadius = 4;

Qt::PenStyle penStyle(const QString& name)
{
    if (name == QLatin1String("dashed"))
        return Qt::DashLine;
    if (name == QLatin1String("dotted"))
        return Qt::DotLine;
    if (name == QLatin1String("dot-dash"))
        return Qt::DashDotLine;
    if (name == QLatin1String("dot-dot-dash"))
        return Qt::DashDotDotLine;
    return Qt::SolidLine;
}

int horizontalAlignment(const QString& name)
{
    if (name == QLatin1String("hLeft"))
        return Qt::AlignLeft;
    if (name == QLatin1String("hRight"))
        return Qt::AlignRight;
    if (name == QLatin1String("hCenter"))
        return Qt::AlignHCenter;
    if (name == QLatin1String("hJustify"))
        return Qt::AlignJustify;
    return 0;
}

int verticalAlignment(const QString& name)
{
    if (name == QLatin1String("vTop"))
        return Qt::AlignTop;
    if (name == QLatin1String("vBottom"))
        return Qt::AlignBottom;
    if (name == QLatin1String("vCenter"))
        return Qt::AlignVCenter;
    return 0;
}

// A script result read as a switch: a non-zero integer, or true.
bool isTrue(const QString& text)
{
    return text.trimmed().toInt() != 0 || text.trimmed() == QLatin1String("true");
}

} // namespace

TReportField::TReportField(const QDomElement& element, TReportExpression& expression)
    : m_element(element),
      m_type(typeOf(element)),
      m_bold(intAttribute("fontBold") != 0),
      m_italic(intAttribute("fontItalic") != 0),
      m_underline(intAttribute("fontUnderline") != 0),
      m_strikeout(intAttribute("fontStrikeout") != 0),
      m_fontColor(element.attribute(QStringLiteral("fontColor"))),
      m_backgroundColor(element.attribute(QStringLiteral("backgroundColor")))
{
    applyHighlighting(expression);
}

bool TReportField::isVisible(const QDomElement& element, TReportExpression& expression)
{
    const QString printing = element.attribute(QStringLiteral("printing"));
    if (printing.isEmpty())
        return true;
    if (printing.size() == 1)
        return printing.toInt() != 0;
    return isTrue(expression.evaluate(printing));
}

TReportField::Type TReportField::typeOf(const QDomElement& element)
{
    const QString picture = element.attribute(QStringLiteral("picture"), QStringLiteral("text"));
    if (picture != QLatin1String("text"))
        return Image;
    static const QStringList names = {
        QStringLiteral("label"),      QStringLiteral("labelImage"),
        QStringLiteral("image"),      QStringLiteral("diagram"),
        QStringLiteral("reactangle"), QStringLiteral("roundedReactangle"),
        QStringLiteral("circle"),     QStringLiteral("triangle"),
        QStringLiteral("rhombus"),
    };
    const int index = names.indexOf(element.attribute(QStringLiteral("type")));
    return index < 0 ? Label : Type(index);
}

// Rules are "condition;effect;effect...". A style effect ("bold=?1:0")
// is appended to the condition and its integer result is the style; a
// colour effect ("fontColor=?rgba(...)") becomes condition ? 'colour' :
// 'own colour', and its text result is the colour.
void TReportField::applyHighlighting(TReportExpression& expression)
{
    const QStringList parts = m_element.attribute(QStringLiteral("highlighting"))
                                  .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return;
    const QString condition = parts.first();
    const auto colour = [&](const QString& part, const QString& name, QString& target) {
        QString effect = part.trimmed();
        effect.remove(name + QLatin1Char('='));
        if (!effect.startsWith(QLatin1Char('?')))
            return;
        target = expression
                     .script(condition + QStringLiteral("?'") + effect.mid(1) +
                             QStringLiteral("':'") + target + QLatin1Char('\''))
                     .toString();
    };
    const auto style = [&](const QString& part, const QString& name, bool& target) {
        QString effect = part.trimmed();
        effect.remove(name + QLatin1Char('='));
        target = expression.script(condition + effect).toInt() != 0;
    };
    for (int i = 1; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part.contains(QLatin1String("fontColor")))
            colour(part, QStringLiteral("fontColor"), m_fontColor);
        else if (part.contains(QLatin1String("backgroundColor")))
            colour(part, QStringLiteral("backgroundColor"), m_backgroundColor);
        else if (part.contains(QLatin1String("bold")))
            style(part, QStringLiteral("bold"), m_bold);
        else if (part.contains(QLatin1String("italic")))
            style(part, QStringLiteral("italic"), m_italic);
        else if (part.contains(QLatin1String("underline")))
            style(part, QStringLiteral("underline"), m_underline);
        else if (part.contains(QLatin1String("strikeout")))
            style(part, QStringLiteral("strikeout"), m_strikeout);
    }
}

int TReportField::intAttribute(const char* name, int defaultValue) const
{
    bool ok = false;
    const int value = m_element.attribute(QLatin1String(name)).toInt(&ok);
    return ok ? value : defaultValue;
}

int TReportField::top() const
{
    return intAttribute("top");
}

bool TReportField::autoHeight() const
{
    return intAttribute("autoHeight") == 1;
}

QString TReportField::value() const
{
    return m_element.attribute(QStringLiteral("value"));
}

QString TReportField::format() const
{
    return m_element.attribute(QStringLiteral("format"));
}

QString TReportField::parameterName() const
{
    return value().remove(QLatin1Char('[')).remove(QLatin1Char(']'));
}

QRect TReportField::deviceRect(float scaleX, float scaleY, int bandTop, int bandHeight) const
{
    const int left = int(float(intAttribute("left")) * scaleX);
    const int width = int(float(intAttribute("width") - 1) * scaleX);
    const int height = autoHeight() ? int(float(bandHeight) * scaleY)
                                    : int(float(intAttribute("height")) * scaleY);
    const int top = int(float(intAttribute("top") + bandTop) * scaleY);
    return QRect(left, top, width, height);
}

QFont TReportField::font() const
{
    QFont font(m_element.attribute(QStringLiteral("fontFamily")));
    const int size = intAttribute("fontSize");
    if (size > 0)
        font.setPointSize(size);
    font.setWeight(m_bold ? 75 : 50);
    font.setItalic(m_italic);
    font.setUnderline(m_underline);
    font.setStrikeOut(m_strikeout);
    return font;
}

QColor TReportField::fontColor() const
{
    // Without a colour the text is black rather than invisible.
    return m_fontColor.isEmpty() ? QColor(Qt::black) : TReportColor::parse(m_fontColor);
}

QPen TReportField::borderPen() const
{
    const QString width = m_element.attribute(QStringLiteral("borderWidth"), QStringLiteral("1"));
    QPen pen(Qt::black);
    pen.setWidthF(QString(width).remove(QLatin1String("px")).toDouble() * BorderWidthPixels);
    pen.setStyle(penStyle(m_element.attribute(QStringLiteral("borderStyle"))));
    return pen;
}

int TReportField::textFlags() const
{
    return horizontalAlignment(m_element.attribute(QStringLiteral("aligmentH"))) |
           verticalAlignment(m_element.attribute(QStringLiteral("aligmentV"))) |
           Qt::TextWordWrap | Qt::TextDontClip;
}

QRect TReportField::textRect(const QRect& rect)
{
    return QRect(QPoint(rect.left() + 10, rect.top()),
                 QPoint(rect.left() + rect.width() - 6, rect.top() + rect.height() - 1));
}

void TReportField::drawBackground(QPainter& painter, const QRect& rect) const
{
    const QColor colour = TReportColor::parse(m_backgroundColor);
    if (TReportColor::isNone(colour))
        return;
    painter.fillRect(QRect(QPoint(rect.left() + 1, rect.top() + 1),
                           QPoint(rect.left() + rect.width() - 2, rect.top() + rect.height() - 2)),
                     colour);
}

void TReportField::drawBorders(QPainter& painter, const QRect& rect) const
{
    const int left = rect.left();
    const int top = rect.top();
    const int right = left + rect.width();
    const int bottom = top + rect.height();
    const struct
    {
        const char* attribute;
        QLine line;
    } sides[] = {
        {"borderTop", QLine(left, top, right, top)},
        {"borderBottom", QLine(left, bottom, right, bottom)},
        {"borderLeft", QLine(left, top, left, bottom)},
        {"borderRight", QLine(right, top, right, bottom)},
    };
    QPen pen = borderPen();
    for (const auto& side : sides) {
        const QColor colour = TReportColor::parse(m_element.attribute(QLatin1String(side.attribute)));
        if (TReportColor::isNone(colour))
            continue;
        pen.setColor(colour);
        painter.setPen(pen);
        painter.drawLine(side.line);
    }
}

void TReportField::drawShape(QPainter& painter, const QRect& rect, float scaleX, float scaleY) const
{
    QPen pen = borderPen();
    pen.setColor(TReportColor::parse(m_element.attribute(QStringLiteral("borderColor"))));
    painter.setPen(pen);
    painter.setBrush(TReportColor::parse(m_backgroundColor));
    const int left = rect.left();
    const int top = rect.top();
    const int width = rect.width();
    const int height = rect.height();
    QPainterPath path;
    switch (m_type) {
    case Rectangle:
        painter.drawRect(left, top, width - 2, height - 2);
        return;
    case RoundedRectangle:
        painter.drawRoundedRect(QRect(left, top, width - 2, height - 2), CornerRadius * scaleX,
                                CornerRadius * scaleY);
        return;
    case Circle:
        painter.drawEllipse(QRect(QPoint(left, top), QPoint(left + width - 1, top + height - 1)));
        return;
    case Triangle:
        path.moveTo(left, top + height - 1);
        path.lineTo(left + width, top + height - 1);
        path.lineTo(left + width / 2, top);
        break;
    case Rhombus:
        path.moveTo(left + width / 2, top + height - 1);
        path.lineTo(left + width, top + height / 2);
        path.lineTo(left + width / 2, top + 1);
        path.lineTo(left + 1, top + height / 2);
        break;
    default:
        return;
    }
    path.closeSubpath();
    painter.drawPath(path);
}

void TReportField::drawImage(QPainter& painter, const QRect& rect) const
{
    const QByteArray png =
        QByteArray::fromBase64(m_element.attribute(QStringLiteral("picture")).toLatin1());
    painter.drawImage(rect, QImage::fromData(png, "PNG"));
}

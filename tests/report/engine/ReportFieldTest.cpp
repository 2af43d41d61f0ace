#include "FakeExpressionSource.h"

#include "report/engine/TReportAggregates.h"
#include "report/engine/TReportColor.h"
#include "report/engine/TReportField.h"

#include <QBuffer>
#include <QDomDocument>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

class ReportFieldTest : public ::testing::Test
{
protected:
    // The field element of `<TContainerField attributes/>`.
    QDomElement element(const QString& attributes)
    {
        document.setContent(QStringLiteral("<TContainerField %1/>").arg(attributes));
        return document.documentElement();
    }

    TReportField field(const QString& attributes) { return TReportField(element(attributes), expression); }

    bool visible(const QString& attributes)
    {
        return TReportField::isVisible(element(attributes), expression);
    }

    // A 100 x 100 image of one colour.
    static QImage canvas(const QColor& colour)
    {
        QImage image(100, 100, QImage::Format_ARGB32);
        image.fill(colour);
        return image;
    }

    QDomDocument document;
    FakeExpressionSource source;
    TReportAggregates aggregates;
    TReportExpression expression{source, &aggregates};
};

TEST_F(ReportFieldTest, TypeComesFromTypeOrPicture)
{
    EXPECT_EQ(field(QString()).type(), TReportField::Label);
    EXPECT_EQ(field(QStringLiteral("type=\"text\"")).type(), TReportField::Label);
    EXPECT_EQ(field(QStringLiteral("type=\"labelImage\"")).type(), TReportField::LabelImage);
    EXPECT_EQ(field(QStringLiteral("type=\"image\"")).type(), TReportField::Image);
    EXPECT_EQ(field(QStringLiteral("type=\"diagram\" picture=\"text\"")).type(), TReportField::Diagram);
    EXPECT_EQ(field(QStringLiteral("type=\"label\" picture=\"iVBORw0=\"")).type(), TReportField::Image);
    const char* shapes[] = {"reactangle", "roundedReactangle", "circle", "triangle", "rhombus"};
    for (int i = 0; i < 5; ++i) {
        const TReportField shape = field(QStringLiteral("type=\"%1\"").arg(QLatin1String(shapes[i])));
        EXPECT_EQ(shape.type(), TReportField::Rectangle + i) << shapes[i];
        EXPECT_TRUE(shape.isShape());
    }
    EXPECT_FALSE(field(QStringLiteral("type=\"labelImage\"")).isShape());
}

TEST_F(ReportFieldTest, PrintingIsAnIntegerOrAnExpression)
{
    EXPECT_TRUE(visible(QString()));
    EXPECT_TRUE(visible(QStringLiteral("printing=\"1\"")));
    EXPECT_FALSE(visible(QStringLiteral("printing=\"0\"")));
    EXPECT_FALSE(visible(QStringLiteral("printing=\"x\"")));
    source.values[QStringLiteral("n")] = QStringLiteral("3");
    EXPECT_TRUE(visible(QStringLiteral("printing=\"&lt;[n] - 2&gt;\"")));
    EXPECT_TRUE(visible(QStringLiteral("printing=\"&lt;[n] == 3&gt;\"")));
    source.values[QStringLiteral("n")] = QStringLiteral("2");
    EXPECT_FALSE(visible(QStringLiteral("printing=\"&lt;[n] - 2&gt;\"")));
    EXPECT_FALSE(visible(QStringLiteral("printing=\"&lt;[n] == 3&gt;\"")));
}

TEST_F(ReportFieldTest, DeviceRectangleScalesUnitsAndFollowsTheBand)
{
    const QString geometry = QStringLiteral("left=\"10\" top=\"5\" width=\"101\" height=\"20\"");
    EXPECT_EQ(field(geometry).deviceRect(2, 3, 100, 40), QRect(20, 315, 200, 60));
    EXPECT_EQ(field(geometry + QStringLiteral(" autoHeight=\"1\"")).deviceRect(2, 3, 100, 50),
              QRect(20, 315, 200, 150));
    // Products are single precision and truncated.
    EXPECT_EQ(field(geometry).deviceRect(1.5f, 1.5f, 0, 0), QRect(15, 7, 150, 30));
    EXPECT_EQ(TReportField::textRect(QRect(100, 200, 300, 40)),
              QRect(QPoint(110, 200), QPoint(394, 239)));
}

TEST_F(ReportFieldTest, FontPenAndAlignmentComeFromAttributes)
{
    const TReportField label = field(QStringLiteral(
        "fontFamily=\"Helvetica\" fontSize=\"11\" fontBold=\"1\" fontItalic=\"1\" fontUnderline=\"0\" "
        "aligmentH=\"hRight\" aligmentV=\"vCenter\" borderWidth=\"2px\" borderStyle=\"dotted\""));
    EXPECT_EQ(label.font().family(), QStringLiteral("Helvetica"));
    EXPECT_EQ(label.font().pointSize(), 11);
    EXPECT_EQ(label.font().weight(), 75);
    EXPECT_TRUE(label.font().italic());
    EXPECT_FALSE(label.font().underline());
    EXPECT_EQ(label.textFlags(), Qt::AlignRight | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextDontClip);
    EXPECT_EQ(label.borderPen().widthF(), 10.0);
    EXPECT_EQ(label.borderPen().style(), Qt::DotLine);

    const TReportField plain = field(QStringLiteral("fontBold=\"0\""));
    EXPECT_EQ(plain.font().weight(), 50);
    EXPECT_EQ(plain.textFlags(), Qt::TextWordWrap | Qt::TextDontClip);
    EXPECT_EQ(plain.borderPen().widthF(), 5.0);
    EXPECT_EQ(plain.borderPen().style(), Qt::SolidLine);
    // Text without a colour is black, not invisible.
    EXPECT_EQ(plain.fontColor(), QColor(Qt::black));
    EXPECT_EQ(field(QStringLiteral("fontColor=\"rgba(0,0,255,255)\"")).fontColor(), QColor(Qt::blue));
}

TEST_F(ReportFieldTest, ColoursParseFourComponents)
{
    EXPECT_EQ(TReportColor::parse(QStringLiteral("rgba( 10 , 20,30 ,40 )")), QColor(10, 20, 30, 40));
    EXPECT_EQ(TReportColor::parse(QString()), QColor(0, 0, 0, 0));
    EXPECT_EQ(TReportColor::parse(QStringLiteral("red")), QColor(0, 0, 0, 0));
    EXPECT_EQ(TReportColor::parse(QStringLiteral("rgba(1,2,3)")), QColor(0, 0, 0, 0));
    EXPECT_TRUE(TReportColor::isNone(TReportColor::parse(QStringLiteral("rgba(255, 255, 255, 0)"))));
    EXPECT_FALSE(TReportColor::isNone(TReportColor::parse(QStringLiteral("rgba(255,255,255,255)"))));
    EXPECT_FALSE(TReportColor::isNone(TReportColor::parse(QString())));
}

// Borders on a black canvas: white with alpha 0 draws nothing, opaque
// white draws white, an absent colour draws an invisible line.
TEST_F(ReportFieldTest, OnlyTransparentWhiteSuppressesABorder)
{
    const TReportField framed = field(QStringLiteral(
        "borderTop=\"rgba(255,255,255,255)\" borderBottom=\"rgba(255,255,255,0)\" "
        "borderRight=\"rgba(255,0,0,255)\" borderWidth=\"1px\""));
    QImage image = canvas(Qt::black);
    QPainter painter(&image);
    framed.drawBorders(painter, QRect(20, 20, 60, 60));
    painter.end();
    EXPECT_EQ(image.pixelColor(50, 20), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(50, 80), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(20, 50), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(80, 50), QColor(Qt::red));
}

TEST_F(ReportFieldTest, BackgroundFillsInsideTheBorders)
{
    QImage image = canvas(Qt::white);
    QPainter painter(&image);
    field(QStringLiteral("backgroundColor=\"rgba(0,0,0,255)\"")).drawBackground(painter, QRect(20, 20, 60, 60));
    field(QStringLiteral("backgroundColor=\"rgba(255,255,255,0)\"")).drawBackground(painter, QRect(0, 0, 100, 15));
    painter.end();
    EXPECT_EQ(image.pixelColor(21, 21), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(78, 78), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(20, 20), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(79, 79), QColor(Qt::white));
}

TEST_F(ReportFieldTest, HighlightingSwitchesStyleAndColours)
{
    const QString rules = QStringLiteral(
        "fontColor=\"rgba(0,0,0,255)\" backgroundColor=\"rgba(255,255,255,255)\" "
        "highlighting=\"[v] &gt; 100;bold=?1:0;italic=?0:1;fontColor=?rgba(255,0,0,255);"
        "backgroundColor=?rgba(0,255,0,255)\"");
    const auto background = [](const TReportField& f) {
        QImage image = canvas(Qt::black);
        QPainter painter(&image);
        f.drawBackground(painter, QRect(0, 0, 100, 100));
        painter.end();
        return image.pixelColor(50, 50);
    };

    source.values[QStringLiteral("v")] = QStringLiteral("150");
    const TReportField high = field(rules);
    EXPECT_EQ(high.font().weight(), 75);
    EXPECT_FALSE(high.font().italic());
    EXPECT_EQ(high.fontColor(), QColor(Qt::red));
    EXPECT_EQ(background(high), QColor(Qt::green));

    source.values[QStringLiteral("v")] = QStringLiteral("50");
    const TReportField low = field(rules);
    EXPECT_EQ(low.font().weight(), 50);
    EXPECT_TRUE(low.font().italic());
    EXPECT_EQ(low.fontColor(), QColor(Qt::black));
    EXPECT_EQ(background(low), QColor(Qt::white));
}

TEST_F(ReportFieldTest, ShapesFillTheirOutline)
{
    struct Case
    {
        const char* type;
        QPoint inside;
        QPoint outside;
    };
    const Case cases[] = {
        {"reactangle", {10, 10}, {95, 95}},
        {"roundedReactangle", {40, 40}, {95, 95}},
        {"circle", {40, 40}, {3, 3}},
        {"triangle", {40, 65}, {5, 5}},
        {"rhombus", {40, 40}, {5, 5}},
    };
    for (const Case& shape : cases) {
        QImage image = canvas(Qt::white);
        QPainter painter(&image);
        field(QStringLiteral("type=\"%1\" backgroundColor=\"rgba(0,0,255,255)\" "
                             "borderColor=\"rgba(0,0,0,255)\"")
                  .arg(QLatin1String(shape.type)))
            .drawShape(painter, QRect(0, 0, 80, 80), 1, 1);
        painter.end();
        EXPECT_EQ(image.pixelColor(shape.inside), QColor(Qt::blue)) << shape.type;
        EXPECT_EQ(image.pixelColor(shape.outside), QColor(Qt::white)) << shape.type;
    }
}

TEST_F(ReportFieldTest, ImageFieldsDrawTheirEmbeddedPng)
{
    QImage red(4, 4, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    red.save(&buffer, "PNG");

    QImage image = canvas(Qt::white);
    QPainter painter(&image);
    field(QStringLiteral("picture=\"%1\"").arg(QString::fromLatin1(png.toBase64())))
        .drawImage(painter, QRect(10, 10, 40, 40));
    painter.end();
    EXPECT_EQ(image.pixelColor(30, 30), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(70, 70), QColor(Qt::white));
}

TEST_F(ReportFieldTest, ParameterNameDropsTheBrackets)
{
    EXPECT_EQ(field(QStringLiteral("value=\"[ecgGraphic/6by2/1]\"")).parameterName(),
              QStringLiteral("ecgGraphic/6by2/1"));
}

} // namespace

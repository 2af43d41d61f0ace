// The averaged-beat result registry: its entries, their order, lookup and
// copying.
#include "analysis/signal/TWaveMarks.h"

#include <QStringList>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

QStringList cursorNames(const TWaveMarks& marks)
{
    QStringList names;
    for (QString name = marks.firstName(); !name.isEmpty(); name = marks.nextName())
        names << name;
    return names;
}

QStringList iteratedNames(const TWaveMarks& marks)
{
    QStringList names;
    for (const TWaveMark& mark : marks)
        names << mark.name();
    return names;
}

TEST(WaveMarksTest, NewRegistryHoldsTheEightResultsInByteOrder)
{
    const TWaveMarks marks;
    const QStringList order = {"POffset", "POnset", "PPeak", "QRSOffset",
                               "QRSOnset", "TOffset", "TOnset", "avgRRInterval"};
    EXPECT_EQ(marks.count(), 8);
    EXPECT_EQ(cursorNames(marks), order);
    EXPECT_EQ(iteratedNames(marks), order);
    for (const TWaveMark& mark : marks) {
        EXPECT_EQ(mark.kind(), TWaveMark::SingleValue);
        EXPECT_EQ(mark.value(), 0.0);
        EXPECT_EQ(mark.tag(), 0);
        EXPECT_TRUE(mark.text().isEmpty());
    }
    // Past the end the cursor keeps answering empty until it restarts.
    EXPECT_EQ(marks.nextName(), "");
    EXPECT_EQ(marks.firstName(), "POffset");
    EXPECT_EQ(marks.nextName(), "POnset");
}

TEST(WaveMarksTest, LookupIsExactByName)
{
    TWaveMarks marks;
    ASSERT_NE(marks.find("QRSOnset"), nullptr);
    marks.find("QRSOnset")->setValue(-0.04);
    EXPECT_EQ(marks.find("QRSOnset")->value(), -0.04);
    EXPECT_EQ(marks.find("QRSOnset")->name(), "QRSOnset");
    EXPECT_EQ(marks.find("qrsonset"), nullptr);
    EXPECT_EQ(marks.find("TPeak"), nullptr);
    EXPECT_EQ(marks.find(""), nullptr);
}

TEST(WaveMarksTest, InsertedEntriesTakeTheirPlaceInOrder)
{
    TWaveMarks marks;
    TWaveMark& trend = marks.insert("Heart", TWaveMark::Trend);
    trend.appendPoint(1.0, 72.0);
    trend.appendPoint(2.5, 75.0);
    marks.insert("avgRRInterval", TWaveMark::ValueArray).setValues({0.8, 0.82});

    EXPECT_THAT(iteratedNames(marks), ElementsAre("Heart", "POffset", "POnset", "PPeak", "QRSOffset",
                                                  "QRSOnset", "TOffset", "TOnset", "avgRRInterval"));
    const TWaveMark* heart = marks.find("Heart");
    ASSERT_NE(heart, nullptr);
    EXPECT_EQ(heart->kind(), TWaveMark::Trend);
    EXPECT_EQ(heart->pointCount(), 2);
    EXPECT_EQ(heart->timestamp(1), 2.5);
    EXPECT_EQ(heart->pointValue(1), 75.0);
    EXPECT_EQ(heart->pointValue(2), 0.0);
    EXPECT_EQ(marks.find("avgRRInterval")->kind(), TWaveMark::ValueArray);
    EXPECT_THAT(marks.find("avgRRInterval")->values(), ElementsAre(0.8, 0.82));
}

TEST(WaveMarksTest, CopiesAreIndependent)
{
    TWaveMarks original;
    original.find("POnset")->setValue(-0.2);
    original.insert("Heart", TWaveMark::Trend).appendPoint(1.0, 60.0);

    TWaveMarks copy(original);
    copy.find("POnset")->setValue(-0.3);
    copy.find("Heart")->appendPoint(2.0, 61.0);
    EXPECT_EQ(original.find("POnset")->value(), -0.2);
    EXPECT_EQ(original.find("Heart")->pointCount(), 1);
    EXPECT_NE(copy.find("POnset"), original.find("POnset"));

    TWaveMarks assigned;
    assigned = copy;
    copy.find("POnset")->setValue(0.0);
    EXPECT_EQ(assigned.find("POnset")->value(), -0.3);
    EXPECT_EQ(assigned.find("Heart")->pointCount(), 2);
    EXPECT_EQ(assigned.count(), 9);
}

} // namespace

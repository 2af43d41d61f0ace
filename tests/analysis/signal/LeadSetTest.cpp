// Lead names, positions and the derivation of the augmented limb leads.
#include "analysis/signal/TAnalysisConstants.h"
#include "analysis/signal/TLeadSet.h"

#include <gtest/gtest.h>

namespace {

TEST(LeadSetTest, NamesFollowTheLeadPositions)
{
    EXPECT_EQ(TLeadSet::leadNames().size(), TLeadSet::LeadCount);
    EXPECT_EQ(TLeadSet::leadName(TLeadSet::LeadI), "I");
    EXPECT_EQ(TLeadSet::leadName(TLeadSet::LeadII), "II");
    EXPECT_EQ(TLeadSet::leadName(TLeadSet::LeadV1), "V1");
    EXPECT_EQ(TLeadSet::leadName(TLeadSet::LeadV6), "V6");
    EXPECT_EQ(TLeadSet::leadName(14), "");
    EXPECT_EQ(TLeadSet::leadName(-1), "");
    EXPECT_EQ(TLeadSet::leadNamesText().split(','), TLeadSet::leadNames());
    EXPECT_EQ(TLeadSet::leadNamesText(), "I,II,III,aVR,aVL,aVF,V1,V2,V3,V4,V5,V6,CM5,CR5");
    EXPECT_EQ(TLeadSet::electrodeNames(), QStringList({"LA", "LL", "RA", "V1", "V2", "V3", "V4", "V5", "V6"}));
}

void expectAugmented(qint16 i, qint16 ii, qint16 iii, int aVR, int aVL, int aVF)
{
    SCOPED_TRACE(testing::Message() << "I " << i << ", II " << ii << ", III " << iii);
    const TLeadSet::AugmentedLeads leads = TLeadSet::deriveAugmented(i, ii, iii);
    EXPECT_EQ(leads.aVR, aVR);
    EXPECT_EQ(leads.aVL, aVL);
    EXPECT_EQ(leads.aVF, aVF);
}

TEST(LeadSetTest, AugmentedLeadsHalveWithTruncationTowardZero)
{
    expectAugmented(100, 51, -49, -75, 74, 1);
    // Odd negative sums: -3 / 2 is -1, not -2.
    expectAugmented(-3, 0, 0, 1, -1, 0);
    expectAugmented(0, -3, 0, 1, 0, -1);
    // Sums beyond 16 bits are formed without wrapping.
    expectAugmented(32767, 32767, -32768, -32767, 32767, 0);
    expectAugmented(0, -32768, -32768, 16384, 16384, -32768);
}

TEST(LeadSetTest, AugmentedRightArmSaturatesAtTheNegativeCorner)
{
    expectAugmented(-32768, -32768, 0, 32767, -16384, -16384);
    expectAugmented(-32768, -32767, 0, 32767, -16384, -16383);
}

TEST(AnalysisConstantsTest, LowBatteryThresholdTakesOnlyPositiveVolts)
{
    EXPECT_EQ(TAnalysisConstants::lowBatteryThreshold(), 2.3);
    TAnalysisConstants::setLowBatteryThreshold(2.6);
    EXPECT_EQ(TAnalysisConstants::lowBatteryThreshold(), 2.6);
    TAnalysisConstants::setLowBatteryThreshold(0.0);
    TAnalysisConstants::setLowBatteryThreshold(-1.0);
    EXPECT_EQ(TAnalysisConstants::lowBatteryThreshold(), 2.6);
    TAnalysisConstants::setLowBatteryThreshold(TAnalysisConstants::DefaultLowBatteryThreshold);
}

} // namespace

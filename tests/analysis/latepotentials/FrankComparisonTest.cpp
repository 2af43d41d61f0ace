// The orthogonal leads synthesised from the twelve standard leads of the
// PTB record in data/ptb against the Frank leads recorded with them, sample
// by sample and as late potentials of the averaged beats.
#include "FrankComparison.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdlib>

TEST(FrankComparisonTest, SynthesisedLeadsFollowTheRecordedFrankLeads)
{
    const QString header = QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea");
    ASSERT_TRUE(QFileInfo::exists(header)) << "PTB record not found at " << header.toStdString();
    const FrankComparison::Result result = FrankComparison::compare(TWfdbRecord::read(header));

    // 38.4 s at about 80 beats a minute, nearly all of them averaged.
    EXPECT_GE(result.beatsFound, 45);
    EXPECT_GE(result.averagedBeatsV5, 45);
    EXPECT_GE(result.averagedBeatsX, 45);

    // X and Y follow closely; the synthesised Z is the weakest of the three.
    for (const auto& correlations : {result.recordCorrelation, result.averageCorrelation}) {
        EXPECT_GT(correlations[0], 0.9);
        EXPECT_GT(correlations[1], 0.9);
        EXPECT_GT(correlations[2], 0.2);
    }

    // Both give a filtered QRS of physiological length, within a few
    // milliseconds of each other, ending in a low-amplitude tail.
    for (const FrankComparison::LatePotentialFigures& figures : {result.synthesised, result.recorded}) {
        EXPECT_GE(figures.qrsd, 90);
        EXPECT_LE(figures.qrsd, 180);
        EXPECT_GT(figures.rms, 0);
        EXPECT_GT(figures.las, 0);
        EXPECT_LT(figures.las, figures.qrsd);
    }
    EXPECT_LE(std::abs(result.synthesised.qrsd - result.recorded.qrsd), 10);
    EXPECT_LE(std::abs(result.synthesised.rms - result.recorded.rms), 10);
    EXPECT_LE(std::abs(result.synthesised.las - result.recorded.las), 15);
}

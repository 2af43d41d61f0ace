// Beats are found again after the events of real recordings. Each class of
// event is cut 20 s after the start of the demo recording (fourteen leads
// at 1000 Hz) and of a two-lead MIT-BIH excerpt (360 Hz), and the recording
// goes through the acquisition pipeline into a study. Against the beats stored for the same recording without
// the event: those before the event are stored unchanged, the beats are
// found again within 2 s of the event's end (with the five after them),
// and from 2 s after it on no beat is stored that the recording without
// the event does not have.
#include "RecordingEvents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace {

using namespace recordingevents;

constexpr double EventAt = 20.0;     // s
constexpr double After = 20.0;       // s recorded after the event's end
constexpr double Recovery = 2.0;     // s
constexpr double BeforeMargin = 1.0; // s: the last beat before the event may lose its end

std::vector<double> between(const std::vector<double>& times, double from, double to)
{
    std::vector<double> kept;
    std::copy_if(times.begin(), times.end(), std::back_inserter(kept),
                 [from, to](double time) { return time >= from && time < to; });
    return kept;
}

struct RecoveryCase
{
    const char* recording; // the demo, or a WFDB excerpt's header in data/
    Event event;
};

Recording load(const char* name, double seconds)
{
    const QString path = QStringLiteral(VAROR_DATA_DIR "/") + QLatin1String(name);
    if (path.endsWith(QLatin1String(".hea")))
        return wfdbRecording(path);
    return demoRecording(path, seconds);
}

class DetectionRecovery : public ::testing::TestWithParam<RecoveryCase>
{
};

TEST_P(DetectionRecovery, BeatsComeBackWithinTwoSecondsAndThoseBeforeAreKept)
{
    const Event& event = GetParam().event;
    const double end = event.end(EventAt);
    const Recording original = load(GetParam().recording, end + After);
    const std::vector<double> reference = storedBeats(deviceLeads(original));
    Recording cut = original;
    apply(event, EventAt, cut);
    const std::vector<double> detected = storedBeats(deviceLeads(cut));

    EXPECT_EQ(between(detected, 0.0, EventAt - BeforeMargin), between(reference, 0.0, EventAt - BeforeMargin));
    const double recovered = recovery(reference, detected, end);
    EXPECT_LE(recovered, Recovery);
    // The last two seconds stay out: the end of the recording is where the
    // cut and the uncut one may differ in their final beat.
    for (double time : between(detected, end + Recovery, end + After - Recovery))
        EXPECT_TRUE(found(time, reference)) << "false beat at " << time << " s";
    for (double time : between(reference, end + Recovery, end + After - Recovery))
        EXPECT_TRUE(found(time, detected)) << "beat missed at " << time << " s";
}

Event named(const std::string& name)
{
    for (const Event& event : battery()) {
        if (event.name == name)
            return event;
    }
    throw std::invalid_argument("no event " + name);
}

// One event of each class, at its most demanding size, in the demo; a
// pause in a two-lead record, whose beats are judged by the plain share of
// its leads.
std::vector<RecoveryCase> cases()
{
    std::vector<RecoveryCase> chosen;
    for (const char* name : {"pause_10s", "size_20%_kept", "size_500%_kept", "lead_flat_30s", "dropout_10s",
                             "saturation_5s", "muscle_noise_10s", "baseline_step_3mV"})
        chosen.push_back({"ecg1000.dat", named(name)});
    chosen.push_back({"mitdb/106p.hea", named("pause_10s")});
    return chosen;
}

std::string caseName(const ::testing::TestParamInfo<RecoveryCase>& info)
{
    std::string name = std::string(info.param.recording) + "_" + info.param.event.name;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Events, DetectionRecovery, ::testing::ValuesIn(cases()), caseName);

} // namespace

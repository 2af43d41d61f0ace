#include "windows/EcgReviewWindow.h"

#include "ui_EcgReviewWindow.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/beats/TIntervalMeasures.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/latepotentials/TLatePotentialsAssessment.h"
#include "pipeline/TLatePotentialLimits.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "hospital/TPacsSender.h"
#include "pipeline/TReviewAnalysis.h"
#include "pipeline/TStudyLatePotentials.h"
#include "pipeline/TStudyExport.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "analysis/signal/TElectrodeOff.h"
#include "analysis/signal/TSignalGaps.h"
#include "analysis/signal/TSilentLead.h"
#include "analysis/signal/TWaveMarks.h"
#include "settings/TSettings.h"
#include "display/DisplayColorSchemes.h"
#include "display/TBeatTimeline.h"
#include "report/ReportDialog.h"
#include "report/TReportPdf.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TStudyStore.h"
#include "windows/HospitalSettingsPage.h"
#include "windows/StudyDialog.h"
#include "windows/TClippedSampleRuns.h"
#include "windows/TWaitCursor.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStringListModel>
#include <QTimer>
#include <QToolButton>

#include <array>

namespace {

// Seconds of signal the beat strip of the browse display averages.
constexpr double StripWindowSeconds = 20.0;
constexpr int ReaverageIntervalMs = 200;
constexpr int ConclusionIntervalMs = 500;
constexpr int AnalysisDelayMs = 50;
constexpr int LeadButtonWidth = 30;
constexpr int LeadButtonHeight = 23;
constexpr int HighPassCutoffs[] = {25, 40};

QString criterionText(const QString& name, const TLatePotentialsAssessment::Criterion& criterion,
                      const QString& relation, const QString& unit)
{
    // name, value, unit, relation, limit, unit: whether it holds
    return EcgReviewWindow::tr("%1 %2 %3 %4 %5 %3: %6")
        .arg(name)
        .arg(criterion.value, 0, 'f', 0)
        .arg(unit)
        .arg(relation.toHtmlEscaped())
        .arg(criterion.limit, 0, 'f', 0)
        .arg(criterion.holds ? EcgReviewWindow::tr("<b>holds</b>") : EcgReviewWindow::tr("does not hold"));
}

QStringList translatedReasons(const TLatePotentialsAssessment& assessment)
{
    QStringList reasons;
    for (const TLatePotentialsAssessment::Reason& reason : assessment.reasonDetails)
        reasons << reason.text(QCoreApplication::translate("TLatePotentialsAssessment", reason.wording));
    return reasons;
}

// The verdict with what it rests on, all from the standard analysis: noise
// and beats against their limits, each criterion, the LAS margin and the
// verdict with its reasons. Figures at the settings shown, when they are
// not the standard ones, follow labelled with those settings and without a
// verdict.
QString assessmentText(const TLatePotentialsAssessment& assessment, const TLatePotentials& shown, bool limitsByHand)
{
    using A = TLatePotentialsAssessment;
    const A::Limits limits = TLatePotentialLimits::fromSettings();
    QStringList lines;
    lines << EcgReviewWindow::tr("<b>Verdict at 40 Hz, 40 \u00b5V, 40 ms</b> (the settings of the criteria)");
    lines << EcgReviewWindow::tr("Noise %1 uV (limit %2 uV at 40 Hz), %3 beats averaged (at least %4)")
                 .arg(assessment.noiseMicrovolts, 0, 'f', 2)
                 .arg(limits.noiseMicrovolts, 0, 'f', 1)
                 .arg(assessment.beatsAveraged)
                 .arg(limits.minimumBeats);
    lines << criterionText(QStringLiteral("QRSD"), assessment.qrsd, QStringLiteral(">"), QStringLiteral("ms"))
          << criterionText(QStringLiteral("RMS"), assessment.rms, QStringLiteral("<"), QStringLiteral("uV"))
          << criterionText(QStringLiteral("LAS"), assessment.las, QStringLiteral(">"), QStringLiteral("ms"));
    lines << EcgReviewWindow::tr("LAS threshold margin %1 uV").arg(assessment.lasMarginMicrovolts, 0, 'f', 1);
    QString verdict = EcgReviewWindow::tr("Late potentials: <b>%1</b>")
                          .arg(EcgReviewWindow::tr(qPrintable(A::verdictText(assessment.verdict))));
    if (assessment.verdict != A::Verdict::NotAssessable)
        verdict += EcgReviewWindow::tr(" (%1 of 3 criteria hold)").arg(assessment.criteriaHolding);
    else
        verdict += QStringLiteral(": ") + translatedReasons(assessment).join(QStringLiteral("; ")).toHtmlEscaped();
    lines << verdict;
    const QString shownSettings = A::settingsLabel(shown);
    if (!shownSettings.isEmpty()) {
        const int rate = shown.averager().samplingRate();
        lines << EcgReviewWindow::tr("Shown at %1: QRSD %2 ms, RMS %3 uV, LAS %4 ms (no verdict at these settings)")
                     .arg(shownSettings.toHtmlEscaped())
                     .arg(shown.QRSD() * 1000 / rate)
                     .arg(shown.RMS())
                     .arg(shown.LAS() * 1000 / rate);
    }
    if (limitsByHand)
        lines << EcgReviewWindow::tr("QRS limits set by hand: a new cutoff keeps them.");
    return lines.join(QStringLiteral("<br>"));
}
constexpr double NormalBeatGain = 10.0;
constexpr double MagnifiedBeatGain = 50.0;

static_assert(QBeatDisplayZoom::MarkerCount == TReviewAnalysis::MarkCount,
              "the beat display has one marker per wave mark, in the same order");

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

// Configures a review chain; answers the failure text, empty on success.
// A chain that failed keeps the views built before the failure.
QString configureChain(TReviewFilterChain& chain, bool notch, bool lowPass, bool secondHighPass)
{
    try {
        chain.configure(notch, lowPass, secondHighPass);
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

// The first beat from `index` on, with its QRS before `end`, whose running
// mean RR is known; -1 when none.
int firstRatedBeat(const TBeatsFile& beats, int index, double end)
{
    TBeat beat;
    for (; index >= 0 && beats.read(index, beat) && beat.value(TBeat::QrsTime) < end; ++index) {
        if (beat.value(TBeat::MeanRrInterval) > 0.0)
            return index;
    }
    return -1;
}

} // namespace

template <typename Work>
void EcgReviewWindow::guarded(Work work)
{
    try {
        work();
    } catch (const std::exception& error) {
        showFailure(QString::fromUtf8(error.what()));
    }
}

void EcgReviewWindow::showFailure(const QString& failure)
{
    if (!failure.isEmpty())
        QMessageBox::critical(this, tr("Error"), failure);
}

EcgReviewWindow::EcgReviewWindow(QWidget* parent, TStudy* study, TStudyStore* store)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::EcgReviewWindow>())
    , m_study(study)
    , m_store(store)
    , m_predefinedTexts(new QStringListModel(this))
    , m_reaverageTimer(new QTimer(this))
    , m_conclusionTimer(new QTimer(this))
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window);
    setTitle();
    buildDisplayChain();
    buildAveraging();
    setUpDisplays();
    setUpLatePotentialControls();
    addPacsControls();
    startTimers();
    m_ui->textConclusion->setPlainText(fromUtf8(m_study->propertyValue("conclusion")));
    connect(m_ui->textConclusion, &QTextEdit::textChanged, this, [this] { m_conclusionChanged = true; });
    // Tab moves on, as everywhere else; Ctrl+Tab types a tab.
    m_ui->textConclusion->setTabChangesFocus(true);
    auto* typeTab = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_Tab), m_ui->textConclusion, nullptr, nullptr,
                                  Qt::WidgetShortcut);
    connect(typeTab, &QShortcut::activated, this, [this] { m_ui->textConclusion->insertPlainText(QStringLiteral("\t")); });
    buildLeadButtons();
    m_ui->lblAverageBeatCount->setText(tr("Averaging beats..."));
    loadSettings();
    showEditLock();
}

// A conclusion typed after the last periodic copy is not lost: it goes into
// the study before the caller saves it.
EcgReviewWindow::~EcgReviewWindow()
{
    copyConclusionIfChanged();
    saveSettings();
}

void EcgReviewWindow::setTitle()
{
    const QDateTime studyTime =
        QDateTime::fromString(fromUtf8(m_study->studyDateTime()), QStringLiteral("yyyyMMddHHmmss"));
    setWindowTitle(QStringLiteral("%1, %2 - %3")
                       .arg(fromUtf8(m_study->propertyValue(TStudy::patientKey("lastName"))),
                            fromUtf8(m_study->propertyValue(TStudy::patientKey("firstName"))),
                            QLocale::system().toString(studyTime, QLocale::ShortFormat)));
}

// Marks and late-potential limits stay movable to look at the study; the
// banner says they are not kept.
void EcgReviewWindow::showEditLock()
{
    const QString holder = fromUtf8(m_store->editLockHolder(*m_study));
    if (holder.isEmpty())
        return;
    setWindowTitle(tr("%1 - read-only").arg(windowTitle()));
    auto* banner = new QLabel(tr("Read-only: this study is open for editing by %1. Changes made here are not saved.")
                                  .arg(holder),
                              this);
    banner->setObjectName(QStringLiteral("lblReadOnly"));
    banner->setWordWrap(true);
    // One line or two above the ECG, never a share of its height.
    banner->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    banner->setStyleSheet(QStringLiteral("QLabel#lblReadOnly { background-color: #fff3b0; color: #3d3000; "
                                         "border: 1px solid #c9a400; padding: 6px; font-weight: bold; }"));
    m_ui->layoutWindow->insertWidget(0, banner);
    const QString why = tr("Open for editing by %1: nothing can be saved here").arg(holder);
    for (QWidget* saving : {static_cast<QWidget*>(m_ui->btnStudyData), static_cast<QWidget*>(m_ui->btnReport),
                            findChild<QWidget*>(QStringLiteral("btnSendToPacs"))}) {
        saving->setEnabled(false);
        saving->setToolTip(why);
    }
    m_ui->textConclusion->setReadOnly(true);
    m_ui->textConclusion->setToolTip(why);
}

void EcgReviewWindow::buildDisplayChain()
{
    m_displayChain = std::make_unique<TReviewFilterChain>(m_study->ecgFile());
    m_displayChain->setNotchName(QStringLiteral("50hz"));
    m_displayChain->setLowPassName(QStringLiteral("40hz"));
    m_ui->btnFilterNotch->setChecked(true);
    m_ui->btnFilterLowpass->setChecked(true);
    m_ui->btnFilterBaseline->setChecked(true);
    showFailure(configureChain(*m_displayChain, true, true, true));
}

void EcgReviewWindow::buildAveraging()
{
    m_windowAverager = std::make_unique<TBeatAverager>(*m_displayChain->output(), StripWindowSeconds);
    m_analysis = std::make_unique<TReviewAnalysis>(*m_study);
    guarded([this] {
        m_analysis->configureAveraging(TSettings::flag(TSettings::BeatAveragingNotchFilter),
                                       TSettings::flag(TSettings::BeatAveragingLowpassFilter));
    });
    m_analysis->restoreLatePotentialSettings(TSettings::whole(TSettings::LatePotentialsCutoff));
}

void EcgReviewWindow::setUpDisplays()
{
    QSignalBrowseDisplay* display = m_ui->ecgDisplay1;
    display->setSignal(m_displayChain->output());
    display->setBeatList(m_study->beatsFile());
    display->setAverager(m_windowAverager.get());
    m_clippedRuns = std::make_unique<TClippedSampleRuns>(*m_study->ecgFile());
    display->setMarkedIntervals(m_clippedRuns.get());
    display->setGaps(TSignalGaps::of(m_study->results()));
    display->setPauses(m_analysis->pauses());
    display->setElectrodesOff(TElectrodeOff::of(m_study->results()));
    QVector<int> notRecorded;
    for (int lead = 0; lead < m_study->ecgFile()->channelCount(); ++lead) {
        if (isSilentLead(*m_study->ecgFile(), lead))
            notRecorded << lead;
    }
    display->setLeadsNotRecorded(notRecorded);
    connect(display, &QSignalBrowseDisplay::startTimeChanged, this, &EcgReviewWindow::onStartTimeChanged);

    m_ui->beatDisplayZoom->setAverager(&m_analysis->mainAverager());
    connect(m_ui->beatDisplayZoom, &QBeatDisplayZoom::cursorChanged, this, &EcgReviewWindow::storeWaveMarks);
    m_ui->varorDisplay->setData(&m_analysis->latePotentials());
    connect(m_ui->varorDisplay, &QHRECGDisplay::cursorChanged, this,
            &EcgReviewWindow::onLatePotentialCursorsChanged);
}

void EcgReviewWindow::setUpLatePotentialControls()
{
    m_ui->cboHPCutoff->addItem(tr("25 Hz"));
    m_ui->cboHPCutoff->addItem(tr("40 Hz"));
    m_ui->cboHPCutoff->setCurrentIndex(m_analysis->latePotentials().highPassCutoff() == HighPassCutoffs[0] ? 0 : 1);
    m_ui->numLASThreshold->setValue(m_analysis->latePotentials().lasThreshold());
    m_ui->numRMSDuration->setValue(m_analysis->latePotentials().rmsDuration());
    connect(m_ui->cboHPCutoff, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &EcgReviewWindow::onHighPassCutoffChanged);
    connect(m_ui->numLASThreshold, qOverload<int>(&QSpinBox::valueChanged), this,
            &EcgReviewWindow::onLasThresholdChanged);
    connect(m_ui->numRMSDuration, qOverload<int>(&QSpinBox::valueChanged), this,
            &EcgReviewWindow::onRmsDurationChanged);
}

void EcgReviewWindow::startTimers()
{
    connect(m_reaverageTimer, &QTimer::timeout, this, &EcgReviewWindow::reaverageIfFlagged);
    m_reaverageTimer->start(ReaverageIntervalMs);
    connect(m_conclusionTimer, &QTimer::timeout, this, &EcgReviewWindow::copyConclusionIfChanged);
    m_conclusionTimer->start(ConclusionIntervalMs);
    QTimer::singleShot(AnalysisDelayMs, this, &EcgReviewWindow::runAnalysis);
}

void EcgReviewWindow::buildLeadButtons()
{
    const TEcgFile* ecg = m_study->ecgFile();
    int x = 0;
    for (int lead = 0; lead < ecg->channelCount(); ++lead) {
        auto* button = new QToolButton(m_ui->frameLeads);
        button->setText(ecg->channelName(lead));
        button->setObjectName(QStringLiteral("btnLead") + ecg->channelName(lead));
        button->setCheckable(true);
        button->setAutoExclusive(true);
        // Names such as "aVR" or "CM5" are wider than the usual button
        // under a larger font; each button takes what its name needs.
        const int width = std::max(LeadButtonWidth, button->sizeHint().width());
        button->setGeometry(x, 0, width, LeadButtonHeight);
        x += width;
        connect(button, &QToolButton::toggled, this, [this, lead](bool checked) { onLeadToggled(lead, checked); });
        m_leadButtons.push_back(button);
    }
    m_ui->frameLeads->setMinimumSize(x, LeadButtonHeight);
}

void EcgReviewWindow::loadSettings()
{
    m_predefinedTexts->setStringList(TSettings::list(TSettings::PredefinedConclusionList));
    m_ui->listPredefinedText->setModel(m_predefinedTexts);
    m_colorScheme = TSettings::text(TSettings::ReviewDisplayColorScheme);
    applyColorScheme(m_ui->ecgDisplay1, m_colorScheme);
    m_ui->ecgDisplay1->setShowAverage(TSettings::flag(TSettings::ReviewShowAverageBeat));
}

void EcgReviewWindow::saveSettings() const
{
    TSettings::setValue(TSettings::PredefinedConclusionList, m_predefinedTexts->stringList());
    TSettings::setValue(TSettings::ReviewDisplayColorScheme, m_colorScheme);
    TSettings::setValue(TSettings::ReviewShowAverageBeat, m_ui->ecgDisplay1->showAverage());
}

// --- Analysis run ---------------------------------------------------------

void EcgReviewWindow::runAnalysis()
{
    guarded([this] {
        const TWaitCursor busy;
        m_analysis->addStoredBeats();
        // The beat strip is averaged first, so that the mean RR stored with
        // automatic marks is that of the browsed span rather than 0.
        reaverageIfFlagged();
        if (const std::optional<TReviewAnalysis::Marks> stored = m_analysis->storedMarks()) {
            showWaveMarks(*stored);
            showQtc();
        } else if (const std::optional<TReviewAnalysis::Marks> found = m_analysis->automaticMarks()) {
            showWaveMarks(*found);
            storeWaveMarks();
            m_analysis->storeMultiLeadBoundaries();
            showQtc();
        }
        if (QToolButton* leadII = leadButton(QStringLiteral("II")))
            leadII->setChecked(true);
        computeLatePotentials();
        onStartTimeChanged();
    });
    m_analysed = true;
}

// Marks as the study stores them onto the beat display, whose marker times
// count from the first sample of the averaged beat.
void EcgReviewWindow::showWaveMarks(const TReviewAnalysis::Marks& marks)
{
    for (int marker = 0; marker < QBeatDisplayZoom::MarkerCount; ++marker) {
        const double mark = marks[std::size_t(marker)];
        m_ui->beatDisplayZoom->setMarkerTime(marker, mark == 0.0 ? 0.0 : mark + m_analysis->alignmentTime());
    }
    m_ui->beatDisplayZoom->refresh();
}

// A marker at the very start of the beat stands for a wave that was not
// found, and is stored as "not set".
void EcgReviewWindow::storeWaveMarks()
{
    TReviewAnalysis::Marks marks{};
    for (int marker = 0; marker < QBeatDisplayZoom::MarkerCount; ++marker) {
        const double time = m_ui->beatDisplayZoom->markerTime(marker);
        marks[std::size_t(marker)] = time == 0.0 ? 0.0 : time - m_analysis->alignmentTime();
    }
    m_analysis->storeMarks(marks, m_windowAverager->meanRrInterval());
    showQtc();
}

// QTc from the stored marks and mean RR, as the report prints it.
void EcgReviewWindow::showQtc()
{
    const TIntervalMeasures measures = TIntervalMeasures::fromWaveMarks(m_study->results());
    m_ui->lblQTc->setText(measures.qtc && measures.rr
                              ? tr("QTc %1 ms (RR %2 ms)").arg(*measures.qtc).arg(*measures.rr)
                              : tr("QTc --"));
}

void EcgReviewWindow::computeLatePotentials()
{
    m_analysis->computeLatePotentials();
    showLatePotentials();
}

// The limits on the display, the noise window shaded, and the assessment.
void EcgReviewWindow::showLatePotentials()
{
    const TLatePotentials& potentials = m_analysis->latePotentials();
    const double rate = m_study->ecgFile()->samplingRate();
    m_ui->varorDisplay->setMarkerTime(QHRECGDisplay::QrsOnset, potentials.onset() / rate);
    m_ui->varorDisplay->setMarkerTime(QHRECGDisplay::QrsOffset, potentials.offset() / rate);
    const TLatePotentialsAssessment assessment =
        TStudyLatePotentials::assess(*m_study, potentials, TLatePotentialLimits::fromSettings());
    m_ui->varorDisplay->setNoiseWindow(assessment.noiseStart, assessment.noiseLength);
    const QString settings = TLatePotentialsAssessment::settingsLabel(potentials);
    m_ui->varorDisplay->setSettingsLabel(settings.isEmpty() ? QString() : tr("at %1").arg(settings));
    m_ui->lblLatePotentialsAssessment->setText(
        assessmentText(assessment, potentials, m_analysis->latePotentialLimitsByHand()));
}

// --- Browse display ---------------------------------------------------------

void EcgReviewWindow::reaverageIfFlagged()
{
    if (m_reaverage)
        reaverageBeatStrip();
}

// Averages the valid beats of the last window before the right edge of the
// browse display.
void EcgReviewWindow::reaverageBeatStrip()
{
    QSignalBrowseDisplay* display = m_ui->ecgDisplay1;
    const TBeatsFile& beats = *m_study->beatsFile();
    const double end = display->startTime() + display->visibleSpan();
    m_windowAverager->reset(false);
    TBeat beat;
    for (int index = std::max(0, TBeatTimeline::lastBefore(beats, end - m_windowAverager->windowSeconds()));
         beats.read(index, beat) && beat.value(TBeat::QrsTime) <= end; ++index) {
        if (beat.isValid())
            m_windowAverager->add(beat);
    }
    display->refresh();
    m_reaverage = false;
}

void EcgReviewWindow::onStartTimeChanged()
{
    const double start = m_ui->ecgDisplay1->startTime();
    const int seconds = int(start);
    m_ui->lblTotalElapsedTime->setText(QString::asprintf("%2d:%2.2d", seconds / 60, seconds % 60));
    showHeartRate(start);
    m_reaverage = m_ui->ecgDisplay1->showAverage();
}

// The running heart rate of the last beat before `seconds`. At the start of
// the recording no beat precedes the left edge, and the rate is that of the
// first beat in view whose rate is known.
void EcgReviewWindow::showHeartRate(double seconds)
{
    const TBeatsFile& beats = *m_study->beatsFile();
    TBeat beat;
    int index = TBeatTimeline::lastBefore(beats, seconds);
    if (index < 0)
        index = firstRatedBeat(beats, TBeatTimeline::firstAtOrAfter(beats, seconds),
                               seconds + m_ui->ecgDisplay1->visibleSpan());
    if (index < 0 || !beats.read(index, beat)) {
        m_ui->lblHR->setText(QStringLiteral("---"));
        return;
    }
    const double meanRr = beat.value(TBeat::MeanRrInterval);
    if (meanRr <= 0.0)
        return;
    const int heartRate = int(60.0 / meanRr);
    if (heartRate >= 1)
        m_ui->lblHR->setText(QString::number(heartRate));
}

void EcgReviewWindow::on_btnSpeed12_clicked()
{
    m_ui->ecgDisplay1->setSpeed(12.5);
}

void EcgReviewWindow::on_btnSpeed25_clicked()
{
    m_ui->ecgDisplay1->setSpeed(25.0);
}

void EcgReviewWindow::on_btnSpeed50_clicked()
{
    m_ui->ecgDisplay1->setSpeed(50.0);
}

void EcgReviewWindow::on_btnSpeed100_clicked()
{
    m_ui->ecgDisplay1->setSpeed(100.0);
}

void EcgReviewWindow::on_btnAmp5_clicked()
{
    m_ui->ecgDisplay1->setAmplitude(5.0);
}

void EcgReviewWindow::on_btnAmp10_clicked()
{
    m_ui->ecgDisplay1->setAmplitude(10.0);
}

void EcgReviewWindow::on_btnAmp20_clicked()
{
    m_ui->ecgDisplay1->setAmplitude(20.0);
}

void EcgReviewWindow::on_btnAmp40_clicked()
{
    m_ui->ecgDisplay1->setAmplitude(40.0);
}

void EcgReviewWindow::on_btnFilterNotch_clicked()
{
    applyDisplayFilters();
}

void EcgReviewWindow::on_btnFilterLowpass_clicked()
{
    applyDisplayFilters();
}

void EcgReviewWindow::on_btnFilterBaseline_clicked()
{
    applyDisplayFilters();
}

// The display and the window averager are bound to the new output before a
// failure is shown, so that nothing reads the views the chain discarded.
void EcgReviewWindow::applyDisplayFilters()
{
    const QString failure = configureChain(*m_displayChain, m_ui->btnFilterNotch->isChecked(),
                                           m_ui->btnFilterLowpass->isChecked(),
                                           m_ui->btnFilterBaseline->isChecked());
    auto averager = std::make_unique<TBeatAverager>(*m_displayChain->output(), StripWindowSeconds);
    m_ui->ecgDisplay1->setAverager(averager.get());
    m_windowAverager = std::move(averager);
    m_reaverage = true;
    m_ui->ecgDisplay1->setSignal(m_displayChain->output());
    showFailure(failure);
}

// --- Averaged beat ------------------------------------------------------------

void EcgReviewWindow::onLeadToggled(int lead, bool checked)
{
    const quint32 bit = 1u << lead;
    const quint32 mask = m_ui->beatDisplayZoom->leadMask();
    m_ui->beatDisplayZoom->setLeadMask(checked ? mask | bit : mask & ~bit);
    m_ui->lblAverageBeatCount->setText(tr("%1: %2 averaged beats")
                                           .arg(m_study->ecgFile()->channelName(lead))
                                           .arg(m_analysis->mainAverager().count(lead)));
}

QToolButton* EcgReviewWindow::leadButton(const QString& name) const
{
    return m_ui->frameLeads->findChild<QToolButton*>(QStringLiteral("btnLead") + name);
}

void EcgReviewWindow::on_chkSuperimpose_clicked()
{
    if (m_ui->chkSuperimpose->isChecked()) {
        for (QToolButton* button : m_leadButtons)
            button->setAutoExclusive(false);
        return;
    }
    checkOnlyLeadII();
}

// An exclusive button cannot be unchecked: the buttons are unchecked first
// and made exclusive again afterwards.
void EcgReviewWindow::checkOnlyLeadII()
{
    for (QToolButton* button : m_leadButtons) {
        button->setAutoExclusive(false);
        button->setChecked(false);
    }
    for (QToolButton* button : m_leadButtons)
        button->setAutoExclusive(true);
    if (QToolButton* leadII = leadButton(QStringLiteral("II")))
        leadII->setChecked(true);
}

void EcgReviewWindow::on_btnZoom1_clicked()
{
    m_ui->beatDisplayZoom->setZoom(1);
}

void EcgReviewWindow::on_btnZoom2_clicked()
{
    m_ui->beatDisplayZoom->setZoom(2);
}

void EcgReviewWindow::on_btnZoom3_clicked()
{
    m_ui->beatDisplayZoom->setZoom(3);
}

void EcgReviewWindow::on_btnZoom4_clicked()
{
    m_ui->beatDisplayZoom->setZoom(4);
}

void EcgReviewWindow::on_chkAmp5x_clicked()
{
    m_ui->beatDisplayZoom->setGain(m_ui->chkAmp5x->isChecked() ? MagnifiedBeatGain : NormalBeatGain);
}

// --- Late potentials ------------------------------------------------------------

void EcgReviewWindow::onHighPassCutoffChanged(int index)
{
    m_analysis->setLatePotentialCutoff(index == 1 ? HighPassCutoffs[1] : HighPassCutoffs[0]);
    showLatePotentials();
}

void EcgReviewWindow::onLasThresholdChanged(int microvolts)
{
    m_analysis->setLasThreshold(microvolts);
    showLatePotentials();
}

void EcgReviewWindow::onRmsDurationChanged(int milliseconds)
{
    m_analysis->setRmsDuration(milliseconds);
    showLatePotentials();
}

void EcgReviewWindow::onLatePotentialCursorsChanged()
{
    const TEcgFile* ecg = m_study->ecgFile();
    m_analysis->setLatePotentialLimits(ecg->timeToSamples(m_ui->varorDisplay->markerTime(QHRECGDisplay::QrsOnset)),
                                       ecg->timeToSamples(m_ui->varorDisplay->markerTime(QHRECGDisplay::QrsOffset)));
    showLatePotentials();
}

// --- Conclusion ------------------------------------------------------------------

void EcgReviewWindow::copyConclusionIfChanged()
{
    if (m_conclusionChanged)
        copyConclusion();
}

void EcgReviewWindow::copyConclusion()
{
    m_study->setProperty("conclusion", m_ui->textConclusion->toPlainText().toUtf8().toStdString());
    m_conclusionChanged = false;
}

void EcgReviewWindow::on_btnPredefinedAdd_clicked()
{
    const int row = m_predefinedTexts->rowCount();
    m_predefinedTexts->insertRows(row, 1);
    const QModelIndex index = m_predefinedTexts->index(row);
    m_predefinedTexts->setData(index, tr("Enter conclusion"));
    m_ui->listPredefinedText->setCurrentIndex(index);
    m_ui->listPredefinedText->edit(index);
}

void EcgReviewWindow::on_btnPredefinedRemove_clicked()
{
    const QModelIndex current = m_ui->listPredefinedText->currentIndex();
    if (current.isValid())
        m_predefinedTexts->removeRows(current.row(), 1);
}

void EcgReviewWindow::on_listPredefinedText_doubleClicked(const QModelIndex& index)
{
    if (m_ui->textConclusion->isReadOnly())
        return;
    m_ui->textConclusion->append(index.data().toString());
}

// --- Study data and report --------------------------------------------------------

// The conclusion typed so far goes into the study first, so that the record
// the dialog edits and saves carries it.
void EcgReviewWindow::on_btnStudyData_clicked()
{
    guarded([this] {
        copyConclusionIfChanged();
        StudyDialog dialog(this, m_store->getStudyInfo(*m_study));
        if (dialog.exec() != QDialog::Accepted)
            return;
        m_store->setStudyInfo(*m_study, dialog.studyInfo());
        m_store->saveStudy(m_study);
    });
}

void EcgReviewWindow::on_btnReport_clicked()
{
    guarded([this] {
        copyConclusionIfChanged();
        ReportDialog dialog(this, m_study, &m_analysis->latePotentials(), m_store);
        dialog.setStartTime(m_ui->ecgDisplay1->startTime());
        dialog.setFilters(m_ui->btnFilterNotch->isChecked(), m_ui->btnFilterLowpass->isChecked(),
                          m_ui->btnFilterBaseline->isChecked());
        dialog.setLeadMask(int(m_ui->beatDisplayZoom->leadMask()));
        dialog.exec();
    });
}

// "Send to PACS" beside "Report", a button of its own, and under the
// controls a line telling where the study's sending stands, renewed with
// every pass of the background sender while the window is open. The line
// spans the window, so that a refusal's reason fits without widening the
// control row or wrapping into the displays' height.
void EcgReviewWindow::addPacsControls()
{
    auto* send = new QPushButton(tr("Send to PACS"), this);
    send->setObjectName(QStringLiteral("btnSendToPacs"));
    send->setToolTip(tr("Send the study with its report to the hospital's archive"));
    for (QBoxLayout* layout : findChildren<QBoxLayout*>()) {
        const int report = layout->indexOf(m_ui->btnReport);
        if (report >= 0) {
            layout->insertWidget(report + 1, send);
            break;
        }
    }
    m_pacsState = new QLabel(this);
    m_pacsState->setObjectName(QStringLiteral("lblPacsState"));
    m_pacsState->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pacsState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_ui->layoutWindow->addWidget(m_pacsState);
    connect(send, &QPushButton::clicked, this, &EcgReviewWindow::sendToPacs);
    connect(&pacsSender(), &TPacsSender::passFinished, this, &EcgReviewWindow::showPacsState);
    showPacsState();
}

TPacsSender& EcgReviewWindow::pacsSender() const
{
    return TPacsSender::of(QString::fromStdString(m_store->dataPath()));
}

// "not sent", "queued ...", "sent at ..." or "failed: ...", as the study
// list shows it.
void EcgReviewWindow::showPacsState()
{
    m_pacsState->setToolTip(tr("PACS: %1").arg(pacsSender().stateText(m_study->id())));
    fitPacsState();
}

// A refusal's reason is long: on a narrow window the line loses its end to
// an ellipsis rather than its start ("failed"); the tooltip holds it whole.
void EcgReviewWindow::fitPacsState()
{
    m_pacsState->setText(
        m_pacsState->fontMetrics().elidedText(m_pacsState->toolTip(), Qt::ElideRight, m_pacsState->width()));
}

void EcgReviewWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_pacsState)
        fitPacsState();
}

// The study as reviewed, saved first, with its late potentials and report
// into the outbox; the archive is reached in the background (TPacsSender).
void EcgReviewWindow::sendToPacs()
{
    guarded([this] {
        copyConclusionIfChanged();
        m_store->saveStudy(m_study);
        const QByteArray report = TReportPdf::of(*m_study, m_analysis->latePotentials());
        pacsSender().send(m_study->id(), TStudyExport::dicomObjects(*m_study, *m_analysis, report));
        showPacsState();
        QMessageBox::information(this, QString(),
                                 tr("The study was queued for the PACS.") + HospitalSettingsPage::unconfiguredNote());
    });
}

// --- Context menu -------------------------------------------------------------------

void EcgReviewWindow::on_ecgDisplay1_customContextMenuRequested(const QPoint& point)
{
    while (execContextMenu(point)) {
    }
}

bool EcgReviewWindow::execContextMenu(const QPoint& point)
{
    QSignalBrowseDisplay* display = m_ui->ecgDisplay1;
    if (!m_contextMenu) {
        m_contextMenu = new QMenu(this);
        m_leadMenu = m_contextMenu->addMenu(tr("Show leads"));
        m_contextMenu->addSeparator();
        m_averageBeatAction = m_contextMenu->addAction(tr("Average beat"));
        m_averageBeatAction->setCheckable(true);
        m_colorSchemeMenu = m_contextMenu->addMenu(tr("Color scheme"));
    }
    fillLeadMenu();
    m_averageBeatAction->setChecked(display->showAverage());
    fillColorSchemeMenu();

    QAction* chosen = m_contextMenu->exec(display->mapToGlobal(point));
    if (!chosen)
        return false;
    if (m_leadMenu->actions().contains(chosen)) {
        display->setLeadVisible(chosen->data().toInt(), chosen->isChecked());
        return true;
    }
    if (chosen == m_averageBeatAction) {
        if (chosen->isChecked())
            reaverageBeatStrip();
        display->setShowAverage(chosen->isChecked());
    } else if (chosen->isChecked()) {
        m_colorScheme = chosen->data().toString();
        applyColorScheme(display, m_colorScheme);
    }
    return false;
}

void EcgReviewWindow::fillLeadMenu()
{
    const TSignal* signal = m_ui->ecgDisplay1->signal();
    m_leadMenu->clear();
    for (int lead = 0; signal && lead < signal->channelCount(); ++lead) {
        QAction* action = m_leadMenu->addAction(signal->channelName(lead));
        action->setCheckable(true);
        action->setChecked(m_ui->ecgDisplay1->isLeadVisible(lead));
        action->setData(lead);
    }
}

void EcgReviewWindow::fillColorSchemeMenu()
{
    m_colorSchemeMenu->clear();
    for (const QString& name : colorSchemeNames()) {
        QAction* action = m_colorSchemeMenu->addAction(tr(name.toUtf8().constData()));
        action->setCheckable(true);
        action->setChecked(name == m_colorScheme);
        action->setData(name);
    }
}

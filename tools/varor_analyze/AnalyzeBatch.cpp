#include "AnalyzeBatch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QThread>

#include "formats/TImportedRecording.h"
#include "storage/TPrivateFiles.h"

#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace AnalyzeBatch {

namespace {

bool isStudyId(const QString& input)
{
    bool number = false;
    input.toInt(&number);
    return number;
}

// One output name per record: the file's base name, the study's id, with
// a number added when two records share it.
QStringList outputNames(const QStringList& records)
{
    QStringList names;
    QSet<QString> taken;
    for (const QString& record : records) {
        const QString base = isStudyId(record) ? QStringLiteral("study-%1").arg(record)
                                               : QFileInfo(record).completeBaseName();
        QString name = base;
        for (int copy = 2; taken.contains(name); ++copy)
            name = QStringLiteral("%1-%2").arg(base).arg(copy);
        taken.insert(name);
        names << name;
    }
    return names;
}

// Written whole or not at all, for the owner only. A save file buffers: a
// full disk shows only when the buffer is handed over, which commit does
// not check, so the flush is checked before.
void writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        TPrivateFiles::restrict(file);
        written = file.write(bytes) == bytes.size() && file.flush();
        if (!written)
            file.cancelWriting();
        written = file.commit() && written;
    }
    if (!written)
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

// What a failed run said of its failure (its own message, without the
// usage text or the libraries' warnings), or how it ended.
QString errorOf(QProcess& process)
{
    const QString prefix = QStringLiteral("varor-analyze: ");
    QStringList messages;
    for (const QString& line : QString::fromLocal8Bit(process.readAllStandardError()).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            messages << line.mid(prefix.size()).trimmed();
    }
    if (!messages.isEmpty())
        return messages.join(QStringLiteral("; "));
    return process.exitStatus() == QProcess::CrashExit ? QStringLiteral("the analysis crashed")
                                                        : QStringLiteral("the analysis ended with exit code %1")
                                                              .arg(process.exitCode());
}

struct Outcome {
    bool done = false;
    QJsonObject results; // empty when the record failed
    QString error;
    double seconds = 0.0;
};

// A CSV field: quoted when it holds a separator, a quote or a line break.
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// A figure of the results by its path ("intervals/QRS"); empty when absent
// or null.
QString figure(const QJsonObject& results, const QString& path)
{
    QJsonValue value = results;
    for (const QString& key : path.split(QLatin1Char('/')))
        value = value.toObject().value(key);
    if (value.isString())
        return value.toString();
    return value.isDouble() ? QString::number(value.toDouble()) : QString();
}

const char* const SummaryFigures[][2] = {
    {"duration_s", "duration"},
    {"beats_detected", "beats/detected"},
    {"beats_normal", "beats/normal"},
    {"beats_rejected", "beats/rejected"},
    {"heart_rate_bpm", "heartRate"},
    {"pr_ms", "intervals/PR"},
    {"qrs_ms", "intervals/QRS"},
    {"qt_ms", "intervals/QT"},
    {"qtc_ms", "intervals/QTc"},
    {"rr_ms", "intervals/RR"},
    {"qrsd_ms", "latePotentials/QRSD"},
    {"rms_uv", "latePotentials/RMS"},
    {"las_ms", "latePotentials/LAS"},
    {"noise_uv", "quality/noise"},
    {"verdict", "criteria/verdict"},
};

QByteArray summaryCsv(const QStringList& records, const QStringList& names, const std::vector<Outcome>& outcomes)
{
    QStringList header{QStringLiteral("record"), QStringLiteral("input"), QStringLiteral("status")};
    for (const auto& column : SummaryFigures)
        header << QLatin1String(column[0]);
    header << QStringLiteral("error");
    QString csv = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (int i = 0; i < records.size(); ++i) {
        const Outcome& outcome = outcomes[std::size_t(i)];
        QStringList row{csvField(names[i]), csvField(records[i]),
                        outcome.results.isEmpty() ? QStringLiteral("failed") : QStringLiteral("ok")};
        for (const auto& column : SummaryFigures)
            row << csvField(figure(outcome.results, QLatin1String(column[1])));
        row << csvField(outcome.error);
        csv += row.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv.toUtf8();
}

// The runs of the records, as many at a time as allowed, each one's
// document written when it ends.
class BatchRun
{
public:
    BatchRun(const AnalyzeCommand::Options& options, const QString& program, const QStringList& records,
             std::FILE* progress)
        : m_options(options)
        , m_program(program)
        , m_records(records)
        , m_names(outputNames(records))
        , m_outcomes(std::size_t(records.size()))
        , m_timers(std::size_t(records.size()))
        , m_progress(progress)
        , m_overwrite(progress != nullptr && isatty(fileno(progress)))
    {
    }

    void run(int jobs)
    {
        for (int i = 0; i < jobs && m_next < m_records.size(); ++i)
            startNext();
        if (m_finished < m_records.size())
            m_loop.exec();
        if (m_progress != nullptr && m_overwrite)
            std::fputc('\n', m_progress);
        writeFile(QDir(m_options.batchFolder).filePath(QStringLiteral("summary.csv")),
                  summaryCsv(m_records, m_names, m_outcomes));
    }

    int failures() const
    {
        int count = 0;
        for (const Outcome& outcome : m_outcomes)
            count += outcome.results.isEmpty() ? 1 : 0;
        return count;
    }

private:
    void startNext()
    {
        const int index = m_next++;
        auto* process = new QProcess(&m_owner);
        QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &m_owner,
                         [this, index, process] { finished(index, *process, QString()); });
        QObject::connect(process, &QProcess::errorOccurred, &m_owner, [this, index, process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                finished(index, *process, process->errorString());
        });
        m_timers[std::size_t(index)].start();
        process->start(m_program, AnalyzeCommand::recordArguments(m_options, m_records[index]));
    }

    void finished(int index, QProcess& process, QString failure)
    {
        Outcome& outcome = m_outcomes[std::size_t(index)];
        if (outcome.done)
            return;
        outcome.done = true;
        outcome.seconds = double(m_timers[std::size_t(index)].elapsed()) / 1000.0;
        const QByteArray output = process.readAllStandardOutput();
        if (failure.isEmpty() && (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0))
            failure = errorOf(process);
        process.deleteLater();
        if (failure.isEmpty()) {
            // A record whose document is not in the folder has failed.
            try {
                writeFile(QDir(m_options.batchFolder).filePath(m_names[index] + QStringLiteral(".json")), output);
                outcome.results = QJsonDocument::fromJson(output).object();
                if (outcome.results.isEmpty())
                    failure = QStringLiteral("the analysis gave no results");
            } catch (const std::exception& error) {
                failure = QString::fromLocal8Bit(error.what());
            }
        }
        outcome.error = failure;
        ++m_finished;
        report(index);
        if (m_next < m_records.size())
            startNext();
        else if (m_finished == m_next)
            m_loop.quit();
    }

    void report(int index) const
    {
        if (m_progress == nullptr)
            return;
        const Outcome& outcome = m_outcomes[std::size_t(index)];
        const QString state = outcome.error.isEmpty() ? QStringLiteral("done in %1 s").arg(outcome.seconds, 0, 'f', 1)
                                                      : QStringLiteral("failed: %1").arg(outcome.error);
        const QString line = QStringLiteral("[%1/%2] %3 %4").arg(m_finished).arg(m_records.size()).arg(m_names[index], state);
        // On a terminal each line replaces the one before; failures stay.
        const bool keep = !m_overwrite || !outcome.error.isEmpty();
        std::fprintf(m_progress, "%s%s%s", m_overwrite ? "\r\033[K" : "", qPrintable(line), keep ? "\n" : "");
        std::fflush(m_progress);
    }

    const AnalyzeCommand::Options& m_options;
    QString m_program;
    QStringList m_records;
    QStringList m_names;
    std::vector<Outcome> m_outcomes;
    std::vector<QElapsedTimer> m_timers;
    std::FILE* m_progress;
    bool m_overwrite;
    int m_next = 0;
    int m_finished = 0;
    QEventLoop m_loop;
    QObject m_owner; // parent of the running processes
};

} // namespace

QStringList records(const QStringList& inputs)
{
    QStringList found;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            const QStringList files = TImportedRecording::recordingsIn(input);
            if (files.isEmpty())
                throw AnalyzeCommand::UsageError(
                    QStringLiteral("%1 holds no record (.hea, .edf, .bdf or a DICOM ECG)").arg(input).toStdString());
            found << files;
        } else if (info.exists() || isStudyId(input)) {
            found << input;
        } else {
            throw AnalyzeCommand::UsageError(QStringLiteral("Cannot open %1: no such file or folder").arg(input).toStdString());
        }
    }
    return found;
}

int run(const AnalyzeCommand::Options& options, const QString& program, std::FILE* progress)
{
    const QStringList found = records(options.inputs);
    if (!QDir().mkpath(options.batchFolder))
        throw std::runtime_error(QStringLiteral("Cannot make the folder %1").arg(options.batchFolder).toStdString());
    BatchRun batch(options, program, found, progress);
    batch.run(options.jobs > 0 ? options.jobs : std::max(1, QThread::idealThreadCount()));
    return batch.failures();
}

} // namespace AnalyzeBatch

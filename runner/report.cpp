#include "runner/report.h"

#include "monitor/lineformat.h"
#include "runner/judge.h"
#include "runner/portrun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace Runner {

namespace {

const char *verdictWord(StepResult::Verdict verdict)
{
    switch (verdict) {
    case StepResult::Verdict::Pass:
        return "PASS";
    case StepResult::Verdict::Fail:
        return "FAIL";
    case StepResult::Verdict::Skip:
        return "SKIP";
    case StepResult::Verdict::Pending:
        break;
    }
    return "----";
}

struct Counts
{
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    double ms = 0;
};

Counts count(const PortRun &run)
{
    Counts c;
    for (const StepResult &result : run.results()) {
        c.passed += result.verdict == StepResult::Verdict::Pass;
        c.failed += result.verdict == StepResult::Verdict::Fail;
        c.skipped += result.verdict == StepResult::Verdict::Skip;
        c.ms += result.totalMs;
    }
    if (!run.failure().isEmpty())
        ++c.failed;
    return c;
}

// XML 1.0 has no place for most control characters, and replies are bytes:
// those that cannot stand in a document are written as \xHH.
QString xmlSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF)
            safe += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        else
            safe += ch;
    }
    return safe;
}

QString lineText(const LineSettings &line)
{
    static const char *parity[] = {"none", "?", "even", "odd", "space", "mark"};
    const char *stop = line.stopBits == QSerialPort::OneStop ? "1"
        : line.stopBits == QSerialPort::TwoStop              ? "2"
                                                             : "1.5";
    const char *flow = line.flow == QSerialPort::NoFlowControl ? "none"
        : line.flow == QSerialPort::HardwareControl            ? "rtscts"
                                                               : "xonxoff";
    return QStringLiteral("%1 baud, %2 data bits, parity %3, %4 stop, flow %5")
        .arg(line.baud)
        .arg(int(line.dataBits))
        .arg(QLatin1String(parity[int(line.parity) < 6 ? int(line.parity) : 1]),
             QLatin1String(stop), QLatin1String(flow));
}

QString seconds(double ms)
{
    return QString::number(ms / 1000.0, 'f', 3);
}

} // namespace

ConsoleReport::ConsoleReport(FILE *out, bool colour, bool verbose, bool severalPorts)
    : m_out(out)
    , m_colour(colour)
    , m_verbose(verbose)
    , m_severalPorts(severalPorts)
{
}

void ConsoleReport::print(const QString &text) const
{
    std::fputs(text.toLocal8Bit().constData(), m_out);
    std::fflush(m_out);
}

QString ConsoleReport::coloured(const QString &text, const char *code) const
{
    if (!m_colour)
        return text;
    return QStringLiteral("\x1b[%1m%2\x1b[0m").arg(QLatin1String(code), text);
}

void ConsoleReport::follow(PortRun *run)
{
    QObject::connect(run, &PortRun::opened, run, [this, run] {
        const QString prefix
            = m_severalPorts ? QStringLiteral("[%1] ").arg(run->port()) : QString();
        print(QStringLiteral("%1connected to %2: %3\n")
                  .arg(prefix, run->port(), lineText(run->line())));
        if (!run->connectionNote().isEmpty())
            print(QStringLiteral("%1  %2\n")
                      .arg(prefix,
                           QString(run->connectionNote())
                               .replace(QLatin1Char('\n'), QStringLiteral("\n  "))));
    });
    QObject::connect(run, &PortRun::finished, run, [this, run] {
        if (!run->failure().isEmpty()) {
            const QString prefix
                = m_severalPorts ? QStringLiteral("[%1] ").arg(run->port()) : QString();
            print(QStringLiteral("%1%2 %3: %4\n")
                      .arg(prefix, coloured(QStringLiteral("FAIL"), "31"), run->port(),
                           run->failure()));
        }
    });
    QObject::connect(run, &PortRun::stepFinished, run, [this, run](int index) {
        if (!run->failure().isEmpty())
            return; // the port's own line says it all
        stepLine(*run, index);
    });
}

void ConsoleReport::stepLine(const PortRun &run, int index) const
{
    const StepResult &result = run.results().at(index);
    const Step &step = run.steps().at(index);
    const QString prefix = m_severalPorts ? QStringLiteral("[%1] ").arg(run.port()) : QString();
    const char *colour = result.verdict == StepResult::Verdict::Pass ? "32"
        : result.verdict == StepResult::Verdict::Fail                ? "31"
                                                                     : "33";
    QString line = QStringLiteral("%1%2  %3")
                       .arg(prefix, coloured(QLatin1String(verdictWord(result.verdict)), colour))
                       .arg(step.name, -28);
    if (result.verdict != StepResult::Verdict::Skip) {
        line += QStringLiteral(" %1 ms").arg(result.wireMs, 9, 'f', 1);
        if (!result.received.isEmpty())
            line += QStringLiteral("  ") + replyPreview(result.received);
    }
    QString text = line.trimmed() + QLatin1Char('\n');
    if (!result.message.isEmpty())
        text += QStringLiteral("%1      %2\n").arg(prefix, result.message);
    if (m_verbose && !result.log.isEmpty()) {
        QString log = result.log;
        text
            += QStringLiteral("%1      | %2\n")
                   .arg(prefix,
                        log.replace(QLatin1Char('\n'), QStringLiteral("\n%1      | ").arg(prefix)));
    }
    print(text);
}

void ConsoleReport::summary(const QList<PortRun *> &runs) const
{
    QString text = QStringLiteral("\n%1 %2 %3 %4 %5\n")
                       .arg(QStringLiteral("port"), -32)
                       .arg(QStringLiteral("passed"), 7)
                       .arg(QStringLiteral("failed"), 7)
                       .arg(QStringLiteral("skipped"), 8)
                       .arg(QStringLiteral("seconds"), 9);
    for (const PortRun *run : runs) {
        const Counts c = count(*run);
        text += QStringLiteral("%1 %2 %3 %4 %5\n")
                    .arg(run->port(), -32)
                    .arg(c.passed, 7)
                    .arg(c.failed, 7)
                    .arg(c.skipped, 8)
                    .arg(run->elapsedMs() / 1000.0, 9, 'f', 2);
    }
    print(text);
}

bool allPassed(const QList<PortRun *> &runs)
{
    for (const PortRun *run : runs) {
        const Counts c = count(*run);
        if (c.failed > 0 || c.skipped > 0)
            return false;
    }
    return true;
}

QString writeJUnit(const QString &path, const QString &planName, const QList<PortRun *> &runs)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    Counts total;
    int tests = 0;
    double seconds = 0;
    for (const PortRun *run : runs) {
        const Counts c = count(*run);
        total.failed += c.failed;
        total.skipped += c.skipped;
        tests += int(run->results().size()) + (run->failure().isEmpty() ? 0 : 1);
        seconds = std::max(seconds, run->elapsedMs());
    }
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), planName);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(total.failed));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(total.skipped));
    xml.writeAttribute(QStringLiteral("time"), Runner::seconds(seconds));
    const QString timestamp = QDateTime::currentDateTime().toString(Qt::ISODate);
    for (const PortRun *run : runs) {
        const Counts c = count(*run);
        const QString suite = QStringLiteral("%1: %2").arg(planName, run->port());
        xml.writeStartElement(QStringLiteral("testsuite"));
        xml.writeAttribute(QStringLiteral("name"), suite);
        xml.writeAttribute(
            QStringLiteral("tests"),
            QString::number(run->results().size() + (run->failure().isEmpty() ? 0 : 1)));
        xml.writeAttribute(QStringLiteral("failures"), QString::number(c.failed));
        xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("skipped"), QString::number(c.skipped));
        xml.writeAttribute(QStringLiteral("time"), Runner::seconds(run->elapsedMs()));
        xml.writeAttribute(QStringLiteral("timestamp"), timestamp);
        xml.writeAttribute(QStringLiteral("hostname"), QSysInfo::machineHostName());
        xml.writeStartElement(QStringLiteral("properties"));
        for (const auto &[name, value] :
             {std::pair{QStringLiteral("port"), run->port()},
              std::pair{QStringLiteral("line"), lineText(run->line())}}) {
            xml.writeEmptyElement(QStringLiteral("property"));
            xml.writeAttribute(QStringLiteral("name"), name);
            xml.writeAttribute(QStringLiteral("value"), value);
        }
        xml.writeEndElement();
        if (!run->failure().isEmpty()) {
            xml.writeStartElement(QStringLiteral("testcase"));
            xml.writeAttribute(QStringLiteral("name"), QStringLiteral("connect"));
            xml.writeAttribute(QStringLiteral("classname"), suite);
            xml.writeAttribute(QStringLiteral("time"), QStringLiteral("0"));
            xml.writeStartElement(QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("message"), xmlSafe(run->failure()));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("port"));
            xml.writeCharacters(xmlSafe(run->failure()));
            xml.writeEndElement();
            xml.writeEndElement();
        }
        for (qsizetype i = 0; i < run->results().size(); ++i) {
            const StepResult &result = run->results().at(i);
            xml.writeStartElement(QStringLiteral("testcase"));
            xml.writeAttribute(QStringLiteral("name"), run->steps().at(i).name);
            xml.writeAttribute(QStringLiteral("classname"), suite);
            xml.writeAttribute(QStringLiteral("time"), Runner::seconds(result.totalMs));
            if (result.verdict == StepResult::Verdict::Fail) {
                xml.writeStartElement(QStringLiteral("failure"));
                xml.writeAttribute(QStringLiteral("message"), xmlSafe(result.message));
                xml.writeAttribute(QStringLiteral("type"), QStringLiteral("step"));
                xml.writeCharacters(xmlSafe(result.message));
                xml.writeEndElement();
            } else if (result.verdict == StepResult::Verdict::Skip) {
                xml.writeEmptyElement(QStringLiteral("skipped"));
                xml.writeAttribute(QStringLiteral("message"), xmlSafe(result.message));
            }
            if (result.verdict != StepResult::Verdict::Skip) {
                QString out = result.log;
                if (!out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
                    out += QLatin1Char('\n');
                out += QStringLiteral("sent %1 bytes in %2 ms\n")
                           .arg(result.sent.size())
                           .arg(result.wireMs, 0, 'f', 1);
                out += result.received.isEmpty()
                    ? QStringLiteral("no reply\n")
                    : QStringLiteral("reply, %1 bytes:\n%2")
                          .arg(result.received.size())
                          .arg(QString::fromLatin1(LineFormat::hexDump(result.received)));
                xml.writeTextElement(QStringLiteral("system-out"), xmlSafe(out));
            }
            xml.writeEndElement();
        }
        QString note = QStringLiteral("%1\n").arg(lineText(run->line()));
        if (!run->connectionNote().isEmpty())
            note += run->connectionNote() + QLatin1Char('\n');
        xml.writeTextElement(QStringLiteral("system-out"), xmlSafe(note));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (!file.commit())
        return file.errorString();
    return QString();
}

QString fileNamePart(const QString &name)
{
    QString part;
    for (QChar ch : name) {
        if (ch.isLetterOrNumber() || ch == QLatin1Char('.') || ch == QLatin1Char('_')
            || ch == QLatin1Char('-'))
            part += ch;
        else if (!part.endsWith(QLatin1Char('-')))
            part += QLatin1Char('-');
    }
    while (part.startsWith(QLatin1Char('-')) || part.startsWith(QLatin1Char('.')))
        part.remove(0, 1);
    while (part.endsWith(QLatin1Char('-')))
        part.chop(1);
    return part.isEmpty() ? QStringLiteral("step") : part;
}

static QString writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return QString();
}

QString writeCaptures(const QString &folder, const QList<PortRun *> &runs)
{
    QStringList used;
    for (const PortRun *run : runs) {
        QDir dir(folder);
        if (runs.size() > 1) {
            QString sub = fileNamePart(run->port());
            for (int n = 2; used.contains(sub); ++n)
                sub = fileNamePart(run->port()) + QStringLiteral("-%1").arg(n);
            used << sub;
            if (!dir.mkpath(sub))
                return QStringLiteral("cannot make the folder %1")
                    .arg(QDir::toNativeSeparators(dir.filePath(sub)));
            dir.cd(sub);
        }
        const int digits = std::max(2, int(QString::number(run->results().size()).size()));
        for (qsizetype i = 0; i < run->results().size(); ++i) {
            const StepResult &result = run->results().at(i);
            if (result.verdict == StepResult::Verdict::Skip
                || result.verdict == StepResult::Verdict::Pending)
                continue;
            const QString base = QStringLiteral("%1-%2")
                                     .arg(i + 1, digits, 10, QLatin1Char('0'))
                                     .arg(fileNamePart(run->steps().at(i).name));
            for (const auto &[suffix, bytes] : {std::pair{".sent.bin", &result.sent},
                                                std::pair{".received.bin", &result.received}}) {
                const QString error = writeFile(dir.filePath(base + QLatin1String(suffix)), *bytes);
                if (!error.isEmpty())
                    return error;
            }
        }
    }
    return QString();
}

} // namespace Runner

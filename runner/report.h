#ifndef TELVAR_RUNNER_REPORT_H
#define TELVAR_RUNNER_REPORT_H

// What a run tells: a line per step on standard output as the steps end,
// the summary table, the JUnit XML that CI systems read, and the bytes of
// every step as files.

#include <QList>
#include <QString>

#include <cstdio>

namespace Runner {

class PortRun;

class ConsoleReport
{
public:
    ConsoleReport(FILE *out, bool colour, bool verbose, bool severalPorts);

    // Prints the run's steps as they end, and its connection note.
    void follow(PortRun *run);
    void summary(const QList<PortRun *> &runs) const;

private:
    void stepLine(const PortRun &run, int index) const;
    void print(const QString &text) const;
    QString coloured(const QString &text, const char *code) const;

    FILE *m_out = nullptr;
    bool m_colour = false;
    bool m_verbose = false;
    bool m_severalPorts = false;
};

// Everything passed: no failure and no port that could not be used.
bool allPassed(const QList<PortRun *> &runs);

// One testsuite per port, one testcase per step. Empty when written, else why not.
QString writeJUnit(const QString &path, const QString &planName, const QList<PortRun *> &runs);

// NN-name.sent.bin and NN-name.received.bin per step that ran, in `folder`
// or, for several ports, in a folder per port. Empty when written, else why not.
QString writeCaptures(const QString &folder, const QList<PortRun *> &runs);

// A step or port name as a file name: letters, digits, . _ and - kept.
QString fileNamePart(const QString &name);

} // namespace Runner

#endif

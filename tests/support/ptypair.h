#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for the controller: the program opens the
// slave path like any serial device, the test reads and writes the master.
// Reads keep the Qt event loop running, because the port only transmits from
// there.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Reads until `count` bytes have arrived or `timeoutMs` has passed.
    QByteArray read(qsizetype count, int timeoutMs = 5000);
    // Reads until the line has been quiet for `quietMs`.
    QByteArray readUntilQuiet(int quietMs = 150, int timeoutMs = 10000);
    // Reads whatever is there now, without waiting.
    QByteArray readAvailable();
    void write(const QByteArray &bytes);
    // Writes what the terminal takes now, without waiting; returns how much.
    qint64 writeSome(const char *bytes, qint64 size);
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

#endif // PTYPAIR_H

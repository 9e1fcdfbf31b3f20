#include "telvartest.h"

#include "decoder/decoder.h"
#include "monitor/linemodel.h"
#include "monitor/linemonitor.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

// The Line Monitor on a real window and a real pseudo-terminal: what it lists
// is compared with what arrived at the far end, what it sends is read there,
// and what it saves is read back.

using namespace TelvarTest;

namespace {

LineMonitor *monitorOf(MainWindow &window)
{
    return window.findChild<LineMonitor *>(QStringLiteral("lineMonitor"));
}

// A part of the monitor's window, which is made when it is first opened.
template <typename T>
T *part(MainWindow &window, const char *name)
{
    monitorOf(window)->toggleAction()->setChecked(true);
    return monitorOf(window)->findChild<T *>(QString::fromLatin1(name));
}

// The texts of the rows from the last heading on, the heading first.
QStringList fromLastHeading(const LineModel &model)
{
    const auto &rows = model.capture().rows();
    qsizetype first = qsizetype(rows.size());
    while (first > 0 && rows.at(first - 1).kind != LineCapture::Kind::Heading)
        --first;
    QStringList texts;
    for (qsizetype i = qMax<qsizetype>(first - 1, 0); i < qsizetype(rows.size()); ++i)
        texts << rows.at(i).text;
    return texts;
}

QStringList listing(const QByteArray &stream)
{
    QStringList lines;
    for (const Line::Command &command : Line::decodeAll(stream))
        lines << Line::describe(command);
    return lines;
}

QString content(const LineModel &model, int row)
{
    return model.index(row, LineModel::Content).data().toString();
}

// Enters `input` on the send line in the given mode and presses Enter.
void enterLine(MainWindow &window, bool hex, const QString &input)
{
    part<QRadioButton>(window, hex ? "monitorHex" : "monitorText")->click();
    auto *entry = part<QLineEdit>(window, "monitorEntry");
    entry->setText(input);
    QTest::keyClick(entry, Qt::Key_Return);
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// The bytes of a `hexdump -C` listing, read back from its hex columns.
QByteArray readHexDump(const QString &dump)
{
    QByteArray bytes;
    const QStringList lines = dump.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.size() <= 10)
            continue; // the closing size line
        if (line.left(8).toULongLong(nullptr, 16) != quint64(bytes.size()))
            return "offset column out of step";
        const QString columns = line.mid(10, 49).simplified();
        bytes += QByteArray::fromHex(columns.toLatin1());
    }
    return bytes;
}

} // namespace

class tst_Monitor : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }
    void viewMenu();
    void pressListing_data();
    void pressListing();
    void replies();
    void queryThenReply();
    void sendLine_data();
    void sendLine();
    void sendWithoutPort();
    void saveRoundTrips();
    void saveFailures_data();
    void saveFailures();
    void flood();
};

void tst_Monitor::viewMenu()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *bar = window.findChild<QMenuBar *>(QStringLiteral("menuBar"));
    QStringList menus;
    for (QAction *menu : bar->actions())
        menus << menu->menu()->objectName();
    QCOMPARE(menus, QStringList({QStringLiteral("menuCalls"), QStringLiteral("menuTools"),
                                 QStringLiteral("menuView"), QStringLiteral("menuHelp")}));
    QCOMPARE(bar->actions().at(2)->text(), QStringLiteral("View"));

    QAction *toggle = action(window, "actionLineMonitor");
    QVERIFY(toggle && toggle->isCheckable());
    QCOMPARE(toggle->text(), QStringLiteral("&Line Monitor"));
    QCOMPARE(toggle->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    LineMonitor *monitor = monitorOf(window);
    QVERIFY(monitor && !monitor->isVisible());
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    QVERIFY(monitor->isVisible());
    QVERIFY(monitor->isWindow());
    QCOMPARE(monitor->parentWidget(), &window);
    // Closing the window clears the check, so the next trigger opens it again.
    monitor->close();
    QVERIFY(!toggle->isChecked());
    toggle->trigger();
    QVERIFY(monitor->isVisible());
}

void tst_Monitor::pressListing_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("heading");
    QTest::newRow("Receipt") << QByteArray("pushButtonReceipt") << QStringLiteral("Receipt");
    QTest::newRow("Language") << QByteArray("pushButtonLanguage") << QStringLiteral("Language");
    QTest::newRow("Reset") << QByteArray("pushButtonReset") << QStringLiteral("Reset");
}

void tst_Monitor::pressListing()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, heading);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    LineModel *model = monitorOf(cw.window)->model();
    click(cw.window, "pushButtonReset");
    QCOMPARE(cw.pty.readUntilQuiet(), QByteArray::fromHex("1b40"));

    click(cw.window, button.constData());
    const QByteArray farEnd = cw.pty.readUntilQuiet();
    QVERIFY(!farEnd.isEmpty());
    const QStringList expected = QStringList{heading} + listing(farEnd);
    QTRY_COMPARE(fromLastHeading(*model), expected);

    // Every command row points at its own bytes of the stream.
    const LineCapture &capture = model->capture();
    const quint64 start = capture.rows().at(model->rowCount() - expected.size() + 1).offset;
    QByteArray joined;
    for (int row = model->rowCount() - int(expected.size()) + 1; row < model->rowCount(); ++row)
        joined += capture.bytes(capture.rows().at(row));
    QCOMPARE(start, quint64(2));
    QCOMPARE(joined, farEnd);

    if (heading == QLatin1String("Language")) {
        // Double-byte mode opens and closes in pairs, with its text between.
        const int on = int(expected.count(QStringLiteral("FS &  double-byte mode on")));
        QVERIFY(on > 0);
        QCOMPARE(int(expected.count(QStringLiteral("FS .  double-byte mode off"))), on);
        const qsizetype first = expected.indexOf(QStringLiteral("FS &  double-byte mode on"));
        QVERIFY(expected.at(first + 1).startsWith(QLatin1String("double-byte ")));
    }
}

void tst_Monitor::replies()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    LineMonitor *monitor = monitorOf(cw.window);
    monitor->toggleAction()->trigger();
    LineModel *model = monitor->model();
    auto *log = cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
    log->setPlainText(QStringLiteral("before"));

    const QByteArray ok = QByteArray::fromHex("4f4b0d0a");
    cw.pty.write(ok);
    QTRY_COMPARE(model->rowCount(), 1);
    QCOMPARE(content(*model, 0), QStringLiteral("4F 4B 0D 0A  \"OK\\r\\n\""));
    QCOMPARE(model->index(0, LineModel::Direction).data().toString(), QStringLiteral("received"));
    QCOMPARE(model->index(0, LineModel::Size).data().toInt(), 4);

    cw.pty.write(QByteArray::fromHex("12"));
    QTRY_COMPARE(model->rowCount(), 2);
    QCOMPARE(content(*model, 1), QStringLiteral("12  \"\\x12\"  DC2"));
    auto *table = part<QTableView>(cw.window, "monitorTable");
    table->selectRow(1);
    const QString detail = part<QPlainTextEdit>(cw.window, "monitorDetail")->toPlainText();
    QVERIFY2(detail.contains(QStringLiteral("\n12  DC2   0001 0010")), qPrintable(detail));
    table->selectRow(0);
    const QString okDetail = part<QPlainTextEdit>(cw.window, "monitorDetail")->toPlainText();
    QVERIFY2(okDetail.endsWith(QStringLiteral("\n4F  'O'   0100 1111\n4B  'K'   0100 1011"
                                              "\n0D  CR    0000 1101\n0A  LF    0000 1010")),
             qPrintable(okDetail));

    // The log pane still shows the replies as text, as a pane of its own would.
    QPlainTextEdit alone;
    alone.setPlainText(QStringLiteral("before"));
    alone.insertPlainText(QStringLiteral("OK\r\n\x12"));
    QCOMPARE(log->toPlainText(), alone.toPlainText());

    // A longer burst is one row that shows its first bytes; the detail pane has them all.
    cw.pty.write(QByteArray(40, 'A'));
    QTRY_COMPARE(model->rowCount(), 3);
    QCOMPARE(model->index(2, LineModel::Size).data().toInt(), 40);
    QCOMPARE(content(*model, 2),
             QStringLiteral("41").repeated(16).replace(QRegularExpression("(41)(?=41)"), "\\1 ")
                 + QStringLiteral("  \"%1\"  ...").arg(QString(16, 'A')));
    table->selectRow(2);
    QCOMPARE(int(part<QPlainTextEdit>(cw.window, "monitorDetail")->toPlainText().count("41  'A'")), 40);

    part<QPushButton>(cw.window, "monitorClear")->click();
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(part<QLabel>(cw.window, "monitorStatus")->text(),
             QStringLiteral("0 rows, 0 bytes sent, 0 received"));
    QCOMPARE(part<QPlainTextEdit>(cw.window, "monitorDetail")->toPlainText(), QString());
}

// A status query may still grow into a longer command when the next byte
// comes; the controller's answer shows it complete, so it is listed before
// the answer, stamped with its own time.
void tst_Monitor::queryThenReply()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    LineModel *model = monitorOf(cw.window)->model();
    click(cw.window, "pushButtonStatus");
    QCOMPARE(cw.pty.readUntilQuiet(), QByteArray::fromHex("1004"));
    QTest::qWait(300);
    cw.pty.write(QByteArray::fromHex("12"));
    QTRY_COMPARE(model->rowCount(), 3);
    QCOMPARE(fromLastHeading(*model).mid(0, 2), QStringList({"Status", "DLE EOT  status query"}));
    QCOMPARE(content(*model, 2), QStringLiteral("12  \"\\x12\"  DC2"));
    const auto &rows = model->capture().rows();
    QVERIFY2(rows.at(2).ms - rows.at(1).ms >= 250,
             qPrintable(QStringLiteral("%1 %2").arg(rows.at(1).ms).arg(rows.at(2).ms)));
}

void tst_Monitor::sendLine_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("farEnd");
    QTest::addColumn<QString>("error");
    QTest::newRow("hex") << true << QStringLiteral("1B 40") << QByteArray::fromHex("1b40") << QString();
    QTest::newRow("hex C style") << true << QStringLiteral("0x1B,0x40") << QByteArray::fromHex("1b40")
                                 << QString();
    QTest::newRow("text") << false << QStringLiteral("\\x1b@") << QByteArray::fromHex("1b40")
                          << QString();
    QTest::newRow("odd digits") << true << QStringLiteral("1B 4") << QByteArray()
                                << QStringLiteral("Odd number of hex digits (1) at position 4");
    QTest::newRow("not hex") << true << QStringLiteral("1B zz") << QByteArray()
                             << QStringLiteral("Not a hex digit 'z' at position 4");
    QTest::newRow("unknown escape") << false << QStringLiteral("\\q") << QByteArray()
                                    << QStringLiteral("Unknown escape \\q at position 1");
    QTest::newRow("escape cut short") << false << QStringLiteral("ab\\") << QByteArray()
                                      << QStringLiteral("Escape cut short at position 3");
    QTest::newRow("empty") << true << QString() << QByteArray() << QStringLiteral("Nothing to send");
}

void tst_Monitor::sendLine()
{
    QFETCH(bool, hex);
    QFETCH(QString, input);
    QFETCH(QByteArray, farEnd);
    QFETCH(QString, error);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    LineModel *model = monitorOf(cw.window)->model();
    auto *entry = part<QLineEdit>(cw.window, "monitorEntry");
    BoxCatcher catcher;

    enterLine(cw.window, hex, input);
    QCOMPARE(cw.pty.readUntilQuiet(), farEnd);
    QCOMPARE(part<QLabel>(cw.window, "monitorError")->text(), error);
    QVERIFY(catcher.boxes.isEmpty());
    if (!error.isEmpty()) {
        QCOMPARE(entry->text(), input); // kept for correcting
        QCOMPARE(model->capture().sentTotal(), quint64(0));
        return;
    }
    QTRY_COMPARE(model->rowCount(), 1);
    QCOMPARE(content(*model, 0), QStringLiteral("ESC @  reset"));
    QCOMPARE(entry->text(), QString());
    // The line is kept in the history: Up brings it back, Down clears again.
    QTest::keyClick(entry, Qt::Key_Up);
    QCOMPARE(entry->text(), input);
    QTest::keyClick(entry, Qt::Key_Down);
    QCOMPARE(entry->text(), QString());
}

void tst_Monitor::sendWithoutPort()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    action(cw.window, "actionDisconnect")->trigger();
    BoxCatcher catcher;
    enterLine(cw.window, true, QStringLiteral("1B 40"));
    QTRY_COMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Serial Port Connect"));
    QCOMPARE(catcher.boxes.first().text,
             QStringLiteral("Please configure and connect to the serial port first!"));
    QCOMPARE(part<QLineEdit>(cw.window, "monitorEntry")->text(), QStringLiteral("1B 40"));
    QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
    QCOMPARE(monitorOf(cw.window)->model()->rowCount(), 0);
    // A refused press adds no heading either.
    click(cw.window, "pushButtonReceipt");
    QTRY_COMPARE(catcher.boxes.size(), 2);
    QTest::qWait(50);
    QCOMPARE(monitorOf(cw.window)->model()->rowCount(), 0);
}

void tst_Monitor::saveRoundTrips()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    LineMonitor *monitor = monitorOf(cw.window);
    click(cw.window, "pushButtonReceipt");
    const QByteArray farEnd = cw.pty.readUntilQuiet();
    QTRY_COMPARE(monitor->model()->capture().sentTotal(), quint64(farEnd.size()));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    QVERIFY(monitor->saveTo(dir.filePath(QStringLiteral("receipt.bin")), LineMonitor::Format::Raw));
    QFile bin(dir.filePath(QStringLiteral("receipt.bin")));
    QVERIFY(bin.open(QIODevice::ReadOnly));
    QCOMPARE(bin.readAll(), farEnd);

    QVERIFY(monitor->saveTo(dir.filePath(QStringLiteral("receipt.txt")),
                            LineMonitor::Format::HexDump));
    QFile dump(dir.filePath(QStringLiteral("receipt.txt")));
    QVERIFY(dump.open(QIODevice::ReadOnly));
    QCOMPARE(readHexDump(QString::fromLatin1(dump.readAll())), farEnd);

    // The C array compiles as it stands into a program that writes it out.
    QVERIFY(monitor->saveTo(dir.filePath(QStringLiteral("receipt.h")), LineMonitor::Format::CArray));
    QFile program(dir.filePath(QStringLiteral("main.cpp")));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("#include \"receipt.h\"\n#include <cstdio>\n"
                  "int main(int, char **argv)\n{\n"
                  "    std::FILE *out = std::fopen(argv[1], \"wb\");\n"
                  "    std::fwrite(receipt, 1, sizeof receipt, out);\n"
                  "    return std::fclose(out);\n}\n");
    program.close();
    QProcess compiler;
    compiler.setWorkingDirectory(dir.path());
    compiler.start(QStringLiteral(TELVAR_CXX_COMPILER),
                   {QStringLiteral("-Wall"), QStringLiteral("-Wextra"), QStringLiteral("-Wpedantic"),
                    QStringLiteral("-Werror"), QStringLiteral("main.cpp"), QStringLiteral("-o"),
                    QStringLiteral("writer")});
    QVERIFY(compiler.waitForFinished(120000));
    QVERIFY2(compiler.exitCode() == 0, compiler.readAllStandardError().constData());
    QCOMPARE(QProcess::execute(dir.filePath(QStringLiteral("writer")),
                               {dir.filePath(QStringLiteral("written.bin"))}),
             0);
    QFile written(dir.filePath(QStringLiteral("written.bin")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), farEnd);

    // With rows selected, only their bytes: the heading carries none.
    auto *table = part<QTableView>(cw.window, "monitorTable");
    QTRY_VERIFY(monitor->model()->rowCount() > 3);
    table->selectRow(0);
    for (int row : {1, 3})
        table->selectionModel()->select(monitor->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QByteArray selected;
    for (int row : {1, 3}) {
        const LineCapture::Row &r = monitor->model()->row(row);
        selected += farEnd.mid(qsizetype(r.offset), qsizetype(r.length));
    }
    QVERIFY(!selected.isEmpty());
    QCOMPARE(monitor->selectedBytes(), selected);
    part<QPushButton>(cw.window, "monitorCopy")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(selected.toHex(' ').toUpper()));
    QVERIFY(monitor->saveTo(dir.filePath(QStringLiteral("part.bin")), LineMonitor::Format::Raw));
    QFile part(dir.filePath(QStringLiteral("part.bin")));
    QVERIFY(part.open(QIODevice::ReadOnly));
    QCOMPARE(part.readAll(), selected);
}

void tst_Monitor::saveFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing folder") << QStringLiteral("no such folder/capture.bin") << false
                                    << QString();
    // Root may write anywhere but /proc.
    QTest::newRow("not writable") << QStringLiteral("/proc/telvar-capture.bin") << false << QString();
    // The rename at the end fails: the name is taken by a folder.
    QTest::newRow("name is a folder") << QStringLiteral("folder") << false << QString();
    QTest::newRow("nothing captured") << QStringLiteral("capture.bin") << true
                                      << QStringLiteral("There are no bytes to save.");
}

void tst_Monitor::saveFailures()
{
    QFETCH(QString, path);
    QFETCH(bool, empty);
    QFETCH(QString, text);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString target = QDir(dir.path()).absoluteFilePath(path);
    LineMonitor *monitor = monitorOf(cw.window);
    if (!empty) {
        click(cw.window, "pushButtonReset");
        QCOMPARE(cw.pty.readUntilQuiet(), QByteArray::fromHex("1b40"));
        QTRY_COMPARE(monitor->model()->rowCount(), 2);
    }
    BoxCatcher catcher;
    QVERIFY(!monitor->saveTo(target, LineMonitor::Format::Raw));
    QTRY_COMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Save Line Capture"));
    if (empty) {
        QCOMPARE(catcher.boxes.first().text, text);
    } else {
        // The system's reason follows the name.
        const QString prefix = QStringLiteral("Cannot save %1:\n").arg(target);
        QVERIFY2(catcher.boxes.first().text.startsWith(prefix), qPrintable(catcher.boxes.first().text));
        QVERIFY(catcher.boxes.first().text.size() > prefix.size());
    }
    // Nothing left behind: no file under the name, no temporary beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("folder")});
    QVERIFY(QDir(dir.filePath(QStringLiteral("folder"))).isEmpty());
    QVERIFY(!QFile::exists(target) || QFileInfo(target).isDir());
}

void tst_Monitor::flood()
{
    // 10 MB of replies, as a controller stuck in a loop might send them, with
    // the monitor open: all of it is counted, the capture stays within its
    // bound, and the process within generous margins of memory and of the
    // longest time the event loop went without turning (the benchmark
    // measures both closely).
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    LineMonitor *monitor = monitorOf(cw.window);
    monitor->toggleAction()->trigger();
    QByteArray flood;
    const QByteArray line = "status 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQR\r\n";
    while (flood.size() < 10 * 1000 * 1000)
        flood += line;
    const double before = residentMiB();

    double longestStall = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setInterval(1);
    connect(&tick, &QTimer::timeout, [&] {
        longestStall = qMax(longestStall, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    sinceTick.start();
    tick.start();
    std::thread writer([&] { cw.pty.write(flood); });
    const LineCapture &capture = monitor->model()->capture();
    QElapsedTimer clock;
    clock.start();
    while (capture.receivedTotal() < quint64(flood.size()) && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    writer.join();
    QTRY_VERIFY(!monitor->model()->capture().hasPending());
    tick.stop();

    QCOMPARE(capture.receivedTotal(), quint64(flood.size()));
    QVERIFY(capture.keptBytes() <= quint64(LineCapture::kDefaultCapacity));
    QVERIFY(qsizetype(capture.rows().size()) <= LineCapture::kMaxRows);
    const LineCapture::Row &last = capture.rows().back();
    QCOMPARE(capture.bytes(last), flood.right(qsizetype(last.length)));
    const double grown = residentMiB() - before;
    qInfo("10 MB flood: resident memory grew by %.0f MiB in %lld ms, longest stall %.0f ms",
          grown, static_cast<long long>(clock.elapsed()), longestStall);
    QVERIFY2(grown < 400, qPrintable(QString::number(grown)));
    QVERIFY2(longestStall < 2000, qPrintable(QString::number(longestStall)));
}

QTEST_MAIN(tst_Monitor)
#include "tst_monitor.moc"

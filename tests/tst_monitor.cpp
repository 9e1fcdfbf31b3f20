// The line monitor: its pure parts (the send line's two input forms, the hex dump, the capture's
// bound) and, on a real window and pseudo-terminal, what it lists compared with what arrived at the
// far end, what it sends read there, and what it saves read back.

#include "telvartest.h"

#include "decoder/decoder.h"
#include "monitor/linecapture.h"
#include "monitor/lineformat.h"
#include "monitor/linemodel.h"
#include "monitor/linemonitor.h"

#include <QTest>
#include <QtWidgets>

using namespace TelvarTest;

namespace {

LineMonitor *monitorOf(MainWindow &window) { return window.findChild<LineMonitor *>(QStringLiteral("lineMonitor")); }

// A part of the monitor's window, which is made when it is first opened.
template <typename T>
T *part(MainWindow &window, const char *name)
{
    monitorOf(window)->toggleAction()->setChecked(true);
    return monitorOf(window)->findChild<T *>(QString::fromLatin1(name));
}

QString content(const LineModel &model, int row) { return model.index(row, LineModel::Content).data().toString(); }

QString detail(MainWindow &window, int row)
{
    part<QTableView>(window, "monitorTable")->selectRow(row);
    return part<QPlainTextEdit>(window, "monitorDetail")->toPlainText();
}

// Enters `input` on the send line in the given mode and presses Enter.
void enterLine(MainWindow &window, bool hex, const QString &input)
{
    part<QRadioButton>(window, hex ? "monitorHex" : "monitorText")->click();
    auto *entry = part<QLineEdit>(window, "monitorEntry");
    entry->setText(input);
    QTest::keyClick(entry, Qt::Key_Return);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("cannot read " + path.toLocal8Bit());
}

// The bytes of a `hexdump -C` listing, read back from its hex columns.
QByteArray readHexDump(const QString &dump)
{
    QByteArray bytes;
    for (const QString &line : dump.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.size() > 10 && line.left(8).toULongLong(nullptr, 16) != quint64(bytes.size()))
            return "offset column out of step";
        bytes += QByteArray::fromHex(line.mid(10, 49).simplified().toLatin1()); // empty on the closing size line
    }
    return bytes;
}

} // namespace

class tst_Monitor : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }

    void parse_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const auto good = [](const char *name, bool hex, const QString &input, const char *bytes) {
            QTest::newRow(name) << hex << input << QByteArray::fromHex(bytes) << QString();
        };
        const auto bad = [](const char *name, bool hex, const QString &input, const char *error) {
            QTest::newRow(name) << hex << input << QByteArray() << QString::fromUtf8(error);
        };
        good("hex spaced", true, "1B 40", "1b40");
        good("hex packed lower", true, "1b40", "1b40");
        good("hex C style", true, "0x1B,0x40", "1b40");
        good("hex C style spaced", true, " 0x1b, 0x40, 0xA ", "1b400a");
        good("hex colons", true, "1d:76:30:00", "1d763000");
        good("hex prefix with pairs", true, "0X1b40", "1b40");
        bad("hex odd digits", true, "1B 4", "Odd number of hex digits (1) at position 4");
        bad("hex odd packed", true, "1b40a", "Odd number of hex digits (5) at position 1");
        bad("hex not a digit", true, "1B 4G", "Not a hex digit 'G' at position 5");
        bad("hex escape in hex mode", true, "\\x1b", "Not a hex digit '\\' at position 1");
        bad("hex bare prefix", true, "1B 0x", "0x without digits at position 4");
        bad("hex empty", true, QString(), "Nothing to send");
        bad("hex separators only", true, " , ", "Nothing to send");
        good("text plain", false, "Hello\\n", "48656c6c6f0a");
        good("text hex escape", false, "\\x1b@", "1b40");
        good("text one digit hex", false, "\\xa!", "0a21");
        good("text backslash", false, "a\\\\b", "615c62");
        good("text simple escapes", false, "\\r\\t\\e\\\"\\'\\?\\a\\b\\f\\v", "0d091b22273f07080c0b");
        good("text octal", false, "\\0\\101\\0777", "00413f37");
        good("text UTF-8", false, QStringLiteral("\u00e9"), "c3a9");
        bad("text unknown escape", false, "ab\\q", "Unknown escape \\q at position 3");
        bad("text cut short", false, "abc\\", "Escape cut short at position 4");
        bad("text hex cut short", false, "\\xg", "Escape \\x cut short, hex digits expected at position 1");
        bad("text octal too big", false, "\\400", "Octal escape above \\377 at position 1");
        bad("text empty", false, QString(), "Nothing to send");
    }

    void parse()
    {
        QFETCH(bool, hex);
        QFETCH(QString, input);
        QFETCH(QString, error);
        const LineFormat::Parsed parsed = hex ? LineFormat::parseHex(input) : LineFormat::parseText(input);
        QCOMPARE(parsed.ok(), error.isEmpty());
        QCOMPARE(parsed.ok() ? QString() : LineFormat::describeError(parsed), error);
        QTEST(parsed.ok() ? parsed.bytes : QByteArray(), "bytes");
    }

    // What `hexdump -C` prints for these bytes; names of C arrays made from file names.
    void formats()
    {
        QCOMPARE(LineFormat::hexDump(QByteArray::fromHex("1b4048656c6c6f0a0000000000000000 7f806162")),
                 QByteArray("00000000  1b 40 48 65 6c 6c 6f 0a  00 00 00 00 00 00 00 00  |.@Hello.........|\n"
                            "00000010  7f 80 61 62                                       |..ab|\n"
                            "00000014\n"));
        QCOMPARE(LineFormat::cIdentifier(QStringLiteral("receipt-2 copy")), QStringLiteral("receipt_2_copy"));
        QCOMPARE(LineFormat::cIdentifier(QStringLiteral("7up")), QStringLiteral("line_7up"));
    }

    void captureKeepsTheNewest()
    {
        // Pieces of 64 KiB: a 200 KiB capacity holds three of them.
        constexpr qint64 piece = 64 * 1024;
        LineCapture capture(200 * 1024);
        QByteArray expected;
        for (int i = 0; i < 8; ++i) {
            expected += QByteArray(piece, char('a' + i));
            capture.recordReceived(expected.right(piece), i);
            capture.appendRows(capture.takeNewRows(false));
            capture.dropFrontRows(capture.staleRows(0));
        }
        QVERIFY(capture.dropped());
        QCOMPARE(capture.keptBytes(), quint64(3 * piece));
        QCOMPARE(capture.receivedTotal(), quint64(8 * piece));
        // Every row left still has its bytes, and they are the newest ones.
        QCOMPARE(qint64(capture.rows().size()), 3 * piece / LineCapture::kReceivedRowBytes);
        const LineCapture::Row &first = capture.rows().front();
        QCOMPARE(first.offset, quint64(5 * piece));
        QCOMPARE(capture.bytes(first), expected.mid(5 * piece, LineCapture::kReceivedRowBytes));
        QCOMPARE(capture.bytes(LineCapture::Kind::Received, 4 * piece, 16), QByteArray());
        capture.clear();
        QVERIFY(!capture.dropped() && capture.keptBytes() == 0 && capture.rows().empty());
    }

    void captureRowsPointAtTheirBytes()
    {
        // A raster split over three writes, and a text run that only the quiet flush completes, with a
        // heading and a reply in between.
        const QByteArray raster = QByteArray::fromHex("1d763000 0200 0300") + QByteArray(6, '\x55');
        LineCapture capture;
        capture.recordHeading(QStringLiteral("Bitmap"), 1);
        capture.recordSent(raster.constData(), 4, 2);
        capture.recordSent(raster.constData() + 4, 6, 2);
        capture.recordReceived(QByteArray::fromHex("12"), 3);
        capture.recordSent(raster.constData() + 10, raster.size() - 10, 4);
        capture.recordSent("\x1b@Hi", 4, 5);
        QList<LineCapture::Row> rows = capture.takeNewRows(false);
        QCOMPARE(rows.size(), 4);
        capture.appendRows(rows + capture.takeNewRows(true));
        QStringList seen;
        for (const LineCapture::Row &row : capture.rows())
            seen << row.text;
        QCOMPARE(seen, QStringList({"Bitmap", "", "GS v 0  raster 2x3 (6 bytes)", "ESC @  reset", "text \"Hi\""}));
        QCOMPARE(capture.bytes(capture.rows().at(1)), QByteArray::fromHex("12"));
        QCOMPARE(capture.bytes(capture.rows().at(2)), raster);
        QCOMPARE(capture.rows().at(2).ms, qint64(4));
        QCOMPARE(capture.bytes(capture.rows().at(4)), QByteArray("Hi"));
        QCOMPARE(capture.allSent(), raster + "\x1b@Hi");
    }

    // Ctrl+L opens it as a window of its own; closing it clears the check, so the next trigger opens it again.
    void opensAndCloses()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAction *toggle = action(window, "actionLineMonitor");
        QVERIFY(toggle && toggle->isCheckable());
        QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
        LineMonitor *monitor = monitorOf(window);
        QVERIFY(monitor && monitor->isVisible() && monitor->isWindow() && monitor->parentWidget() == &window);
        monitor->close();
        QVERIFY(!toggle->isChecked());
        toggle->trigger();
        QVERIFY(monitor->isVisible());
    }

    // Under the press's heading, the decoder's listing of what arrived; every row points at its own bytes.
    void pressListing()
    {
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        LineModel *model = monitorOf(cw.window)->model();
        click(cw.window, "pushButtonReset");
        QCOMPARE(cw.pty.readUntilQuiet(), QByteArray::fromHex("1b40"));
        click(cw.window, "pushButtonReceipt");
        const QByteArray farEnd = cw.pty.readUntilQuiet();
        QStringList expected{"Receipt"};
        for (const Line::Command &command : Line::decodeAll(farEnd))
            expected << Line::describe(command);
        QTRY_COMPARE(model->rowCount(), 2 + expected.size());
        QStringList listed;
        QByteArray joined;
        for (int row = 2; row < model->rowCount(); ++row) {
            listed << model->row(row).text;
            joined += model->capture().bytes(model->row(row));
        }
        QCOMPARE(listed, expected);
        QCOMPARE(model->row(3).offset, quint64(2));
        QCOMPARE(joined, farEnd);
    }

    void replies()
    {
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        monitorOf(cw.window)->toggleAction()->trigger();
        LineModel *model = monitorOf(cw.window)->model();
        cw.pty.write(QByteArray::fromHex("4f4b0d0a"));
        QTRY_COMPARE(model->rowCount(), 1);
        QCOMPARE(content(*model, 0), QStringLiteral("4F 4B 0D 0A  \"OK\\r\\n\""));
        QCOMPARE(model->index(0, LineModel::Direction).data().toString(), QStringLiteral("received"));
        QCOMPARE(model->index(0, LineModel::Size).data().toInt(), 4);
        cw.pty.write(QByteArray::fromHex("12"));
        QTRY_COMPARE(model->rowCount(), 2);
        QCOMPARE(content(*model, 1), QStringLiteral("12  \"\\x12\"  DC2"));
        QVERIFY2(detail(cw.window, 1).contains("\n12  DC2   0001 0010"), qPrintable(detail(cw.window, 1)));
        QVERIFY2(detail(cw.window, 0).endsWith("\n4F  'O'   0100 1111\n4B  'K'   0100 1011\n0D  CR    0000 1101\n"
                                               "0A  LF    0000 1010"),
                 qPrintable(detail(cw.window, 0)));

        // A longer burst is one row that shows its first bytes; the detail pane has them all.
        cw.pty.write(QByteArray(40, 'A'));
        QTRY_COMPARE(model->rowCount(), 3);
        QCOMPARE(model->index(2, LineModel::Size).data().toInt(), 40);
        QCOMPARE(content(*model, 2), QStringLiteral("41 ").repeated(15) + "41  \"" + QString(16, 'A') + "\"  ...");
        QCOMPARE(int(detail(cw.window, 2).count("41  'A'")), 40);

        part<QPushButton>(cw.window, "monitorClear")->click();
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(part<QLabel>(cw.window, "monitorStatus")->text(), QStringLiteral("0 rows, 0 bytes sent, 0 received"));
        QCOMPARE(part<QPlainTextEdit>(cw.window, "monitorDetail")->toPlainText(), QString());
    }

    // A status query may still grow into a longer command when the next byte comes; the controller's
    // answer shows it complete, so it is listed before the answer, stamped with its own time.
    void queryThenReply()
    {
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        LineModel *model = monitorOf(cw.window)->model();
        click(cw.window, "pushButtonStatus");
        QCOMPARE(cw.pty.readUntilQuiet(), QByteArray::fromHex("1004"));
        QTest::qWait(300);
        cw.pty.write(QByteArray::fromHex("12"));
        QTRY_COMPARE(model->rowCount(), 3);
        QCOMPARE(model->row(0).text + '|' + model->row(1).text, QStringLiteral("Status|DLE EOT  status query"));
        QCOMPARE(content(*model, 2), QStringLiteral("12  \"\\x12\"  DC2"));
        QVERIFY2(model->row(2).ms - model->row(1).ms >= 250, qPrintable(QString::number(model->row(2).ms)));
    }

    // The send line in either mode; a mistake is shown under it, sends nothing and stays for correcting.
    void sendLine_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("error");
        QTest::newRow("hex") << true << QStringLiteral("1B 40") << QString();
        QTest::newRow("text") << false << QStringLiteral("\\x1b@") << QString();
        QTest::newRow("not hex") << true << QStringLiteral("1B zz")
                                 << QStringLiteral("Not a hex digit 'z' at position 4");
    }

    void sendLine()
    {
        QFETCH(bool, hex);
        QFETCH(QString, input);
        QFETCH(QString, error);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        LineModel *model = monitorOf(cw.window)->model();
        auto *entry = part<QLineEdit>(cw.window, "monitorEntry");
        BoxCatcher catcher;
        enterLine(cw.window, hex, input);
        QCOMPARE(cw.pty.readUntilQuiet(), error.isEmpty() ? QByteArray::fromHex("1b40") : QByteArray());
        QCOMPARE(part<QLabel>(cw.window, "monitorError")->text(), error);
        QVERIFY(catcher.boxes.isEmpty());
        if (!error.isEmpty()) {
            QCOMPARE(entry->text(), input);
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

    // Without a port: the guard's box, the line kept, nothing sent or listed; a refused press adds no heading.
    void sendWithoutPort()
    {
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        action(cw.window, "actionDisconnect")->trigger();
        BoxCatcher catcher;
        enterLine(cw.window, true, QStringLiteral("1B 40"));
        QTRY_COMPARE(catcher.boxes.size(), 1);
        QCOMPARE(catcher.boxes.first().title + '|' + catcher.boxes.first().text,
                 QStringLiteral("Serial Port Connect|Please configure and connect to the serial port first!"));
        QCOMPARE(part<QLineEdit>(cw.window, "monitorEntry")->text(), QStringLiteral("1B 40"));
        click(cw.window, "pushButtonReceipt");
        QTRY_COMPARE(catcher.boxes.size(), 2);
        QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
        QCOMPARE(monitorOf(cw.window)->model()->rowCount(), 0);
    }

    void saveRoundTrips()
    {
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        LineMonitor *monitor = monitorOf(cw.window);
        click(cw.window, "pushButtonReceipt");
        const QByteArray farEnd = cw.pty.readUntilQuiet();
        QTRY_COMPARE(monitor->model()->capture().sentTotal(), quint64(farEnd.size()));
        QTemporaryDir dir;
        QVERIFY(monitor->saveTo(dir.filePath("receipt.bin"), LineMonitor::Format::Raw));
        QCOMPARE(readFile(dir.filePath("receipt.bin")), farEnd);
        QVERIFY(monitor->saveTo(dir.filePath("receipt.txt"), LineMonitor::Format::HexDump));
        QCOMPARE(readHexDump(QString::fromLatin1(readFile(dir.filePath("receipt.txt")))), farEnd);

        // The C array compiles as it stands into a program that writes it out.
        QVERIFY(monitor->saveTo(dir.filePath("receipt.h"), LineMonitor::Format::CArray));
        QFile program(dir.filePath("main.cpp"));
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write("#include \"receipt.h\"\n#include <cstdio>\nint main(int, char **argv)\n{\n"
                      "    std::FILE *out = std::fopen(argv[1], \"wb\");\n"
                      "    std::fwrite(receipt, 1, sizeof receipt, out);\n    return std::fclose(out);\n}\n");
        program.close();
        QProcess compiler;
        compiler.setWorkingDirectory(dir.path());
        compiler.start(TELVAR_CXX_COMPILER, {"-Wall", "-Wextra", "-Wpedantic", "-Werror", "main.cpp", "-o", "writer"});
        QVERIFY(compiler.waitForFinished(120000));
        QVERIFY2(compiler.exitCode() == 0, compiler.readAllStandardError().constData());
        QCOMPARE(QProcess::execute(dir.filePath("writer"), {dir.filePath("written.bin")}), 0);
        QCOMPARE(readFile(dir.filePath("written.bin")), farEnd);

        // With rows selected, only their bytes: the heading carries none.
        auto *table = part<QTableView>(cw.window, "monitorTable");
        QTRY_VERIFY(monitor->model()->rowCount() > 3);
        table->selectRow(0);
        QByteArray selected;
        for (int row : {1, 3}) {
            table->selectionModel()->select(monitor->model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
            selected += farEnd.mid(qsizetype(monitor->model()->row(row).offset),
                                   qsizetype(monitor->model()->row(row).length));
        }
        QVERIFY(!selected.isEmpty());
        QCOMPARE(monitor->selectedBytes(), selected);
        part<QPushButton>(cw.window, "monitorCopy")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(selected.toHex(' ').toUpper()));
        QVERIFY(monitor->saveTo(dir.filePath("part.bin"), LineMonitor::Format::Raw));
        QCOMPARE(readFile(dir.filePath("part.bin")), selected);
    }

    void saveFailures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text"); // the box's, or empty: the name and the system's reason
        QTest::newRow("missing folder") << QStringLiteral("no such folder/capture.bin") << QString();
        QTest::newRow("not writable") << QStringLiteral("/proc/telvar-capture.bin") << QString(); // even for root
        QTest::newRow("name is a folder") << QStringLiteral("folder") << QString(); // the rename at the end fails
        QTest::newRow("nothing captured") << QStringLiteral("capture.bin")
                                          << QStringLiteral("There are no bytes to save.");
    }

    void saveFailures()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        const QString target = QDir(dir.path()).absoluteFilePath(path);
        LineMonitor *monitor = monitorOf(cw.window);
        if (text.isEmpty()) {
            click(cw.window, "pushButtonReset");
            QCOMPARE(cw.pty.readUntilQuiet(), QByteArray::fromHex("1b40"));
            QTRY_COMPARE(monitor->model()->rowCount(), 2);
        }
        BoxCatcher catcher;
        QVERIFY(!monitor->saveTo(target, LineMonitor::Format::Raw));
        QTRY_COMPARE(catcher.boxes.size(), 1);
        QCOMPARE(catcher.boxes.first().title, QStringLiteral("Save Line Capture"));
        const QString prefix = QStringLiteral("Cannot save %1:\n").arg(target);
        if (!text.isEmpty())
            QCOMPARE(catcher.boxes.first().text, text);
        else
            QVERIFY2(catcher.boxes.first().text.startsWith(prefix)
                         && catcher.boxes.first().text.size() > prefix.size(),
                     qPrintable(catcher.boxes.first().text));
        // Nothing left behind: no file under the name, no temporary beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("folder")});
        QVERIFY(QDir(dir.filePath(QStringLiteral("folder"))).isEmpty());
    }
};

QTEST_MAIN(tst_Monitor)
#include "tst_monitor.moc"

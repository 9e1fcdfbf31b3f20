#include "telvartest.h"

#include "monitor/linemodel.h"
#include "monitor/linemonitor.h"
#include "preview/paperfeed.h"
#include "preview/paperpreview.h"
#include "preview/paperview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

// The Paper Preview on a real window and a real pseudo-terminal: its pages are
// compared with those the virtual controller draws from the bytes that
// arrived at the far end.

using namespace TelvarTest;

namespace {

QByteArray hex(const char *digits) { return QByteArray::fromHex(digits); }

PaperPreview *openPreview(MainWindow &window)
{
    action(window, "actionPaperPreview")->setChecked(true);
    return window.findChild<PaperPreview *>(QStringLiteral("paperPreview"));
}

LineMonitor *monitorOf(MainWindow &window) { return window.findChild<LineMonitor *>(); }

// The last `keep` pages `telvar-virtual --replay` draws from `wire` (all: -1),
// and how many it drew.
QList<QImage> replayed(const QByteArray &wire, int keep = -1, int *count = nullptr)
{
    QTemporaryDir dir;
    QFile capture(dir.filePath(QStringLiteral("wire.bin")));
    if (!capture.open(QIODevice::WriteOnly) || capture.write(wire) != wire.size())
        return {};
    capture.close();
    QProcess virt;
    virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE),
               {"--replay", capture.fileName(), "--out", dir.filePath("pages"), "--quiet"});
    if (!virt.waitForFinished(60000) || virt.exitCode() != 0)
        qWarning() << "telvar-virtual failed:" << virt.readAllStandardError();
    QStringList names = QDir(dir.filePath("pages")).entryList({"job-*.png"}, QDir::Files, QDir::Name);
    if (count)
        *count = int(names.size());
    if (keep >= 0)
        names = names.mid(qMax(0, int(names.size()) - keep));
    QList<QImage> pages;
    for (const QString &name : std::as_const(names))
        pages << QImage(dir.filePath("pages/" + name));
    return pages;
}

// Every job of the preview as "Save Page..." writes it, read back.
QList<QImage> savedPages(PaperPreview *preview)
{
    QTemporaryDir dir;
    QList<QImage> pages;
    for (int job = 0; job < preview->feed()->jobCount(); ++job) {
        const QString path = dir.filePath(QStringLiteral("page-%1.png").arg(job));
        if (!preview->savePage(job, path))
            return {};
        pages << QImage(path);
    }
    return pages;
}

// Runs the event loop until the preview has drawn every byte and `wanted`
// bytes reached the far end (all that come, when negative); returns the
// longest time one turn of the loop took, as a timer ticking every
// millisecond sees it.
qint64 drawWatched(PaperPreview *preview, PtyPair &pty, QByteArray *farEnd, qsizetype wanted = -1)
{
    QElapsedTimer clock, quiet;
    clock.start();
    quiet.start();
    qint64 last = 0, longest = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = qMax(longest, now - last);
        last = now;
        const QByteArray more = pty.readAvailable();
        if (!more.isEmpty())
            quiet.restart();
        *farEnd += more;
        const bool allThere = wanted < 0 ? quiet.elapsed() > 150 : farEnd->size() >= wanted;
        if ((allThere && !preview->feed()->busy()) || now > 60000)
            loop.quit();
    });
    tick.start();
    loop.exec();
    return longest;
}

// Puts `bytes` on the line through the monitor's send line, in entries the
// line edit takes.
void sendLine(MainWindow &window, const QByteArray &bytes)
{
    LineMonitor *monitor = monitorOf(window);
    monitor->toggleAction()->setChecked(true);
    monitor->findChild<QRadioButton *>(QStringLiteral("monitorHex"))->click();
    auto *entry = monitor->findChild<QLineEdit *>(QStringLiteral("monitorEntry"));
    for (qsizetype at = 0; at < bytes.size(); at += 10000) {
        entry->setText(QString::fromLatin1(bytes.mid(at, 10000).toHex(' ')));
        QTest::keyClick(entry, Qt::Key_Return);
        QVERIFY(entry->text().isEmpty());
    }
}

} // namespace

class tst_Preview : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }
    void madeWhenOpened();
    void samePixels_data();
    void samePixels();
    void rasterWithoutStall();
    void guardDisconnectClear();
    void linkedToMonitor();
    void saveFailures_data();
    void saveFailures();
    void hostileStreams_data();
    void hostileStreams();
};

void tst_Preview::madeWhenOpened()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Only the menu entry is there until it is used.
    QVERIFY(!window.findChild<PaperPreview *>());
    auto *view = window.findChild<QMenu *>(QStringLiteral("menuView"));
    QCOMPARE(view->actions().size(), 2);
    QCOMPARE(view->actions().at(0), action(window, "actionLineMonitor"));
    QAction *toggle = view->actions().at(1);
    QCOMPARE(toggle->objectName(), QStringLiteral("actionPaperPreview"));
    QVERIFY(toggle->isCheckable());
    QCOMPARE(toggle->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+P")));

    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    auto *preview = window.findChild<PaperPreview *>(QStringLiteral("paperPreview"));
    QVERIFY(preview && preview->isVisible() && preview->isWindow());
    QCOMPARE(preview->parentWidget(), &window);
    QCOMPARE(preview->windowTitle(), QStringLiteral("Paper Preview"));
    QVERIFY(preview->feed()->following());

    // Zoom steps by what it shows; fitted to this width, less than 1:1.
    preview->resize(400, 600);
    QApplication::setActiveWindow(preview);
    auto *zoom = preview->findChild<QComboBox *>(QStringLiteral("previewZoom"));
    QStringList seen;
    for (int key : {Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Minus, Qt::Key_0}) {
        QTest::keyClick(preview, Qt::Key(key), Qt::ControlModifier);
        seen << zoom->currentText();
    }
    QCOMPARE(seen, QStringList({"1:1", "2:1", "2:1", "1:1", "Fit to width", "1:1"}));
    preview->close();
    QVERIFY(!toggle->isChecked() && !preview->feed()->following());
}

// Steps: buttons to click, "close" and "open" the preview (made when first
// opened, at the start unless closed first), and "pause" for longer than the
// silence that ends a job.
void tst_Preview::samePixels_data()
{
    QTest::addColumn<QByteArrayList>("steps");
    QTest::addColumn<int>("width"); // of every page, with the roll's side strips
    QTest::newRow("Receipt") << QByteArrayList{"pushButtonReceipt"} << 464;
    QTest::newRow("Receipt with Full Cut") << QByteArrayList{"pushButtonReceiptFullCut"} << 464;
    QTest::newRow("Receipt, then one with Partial Cut")
        << QByteArrayList{"pushButtonReceipt", "pushButtonReceiptPartialCut"} << 464;
    QTest::newRow("80 mm head, Receipt") << QByteArrayList{"pushButton80_576", "pushButtonReceipt"} << 640;
    QTest::newRow("opened after two receipts")
        << QByteArrayList{"close", "pushButtonReceiptFullCut", "pushButtonReceipt", "open"} << 464;
    QTest::newRow("silence between, open") << QByteArrayList{"pushButtonReceipt", "pause", "pushButtonReceipt"} << 464;
    QTest::newRow("silence between, closed meanwhile")
        << QByteArrayList{"pushButtonReceipt", "close", "pause", "pushButtonReceipt", "open"} << 464;
}

void tst_Preview::samePixels()
{
    QFETCH(QByteArrayList, steps);
    QFETCH(int, width);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    PaperPreview *preview = steps.first() == "close" ? nullptr : openPreview(cw.window);
    QByteArrayList jobs{QByteArray()}; // what reached the far end between pauses
    for (const QByteArray &step : std::as_const(steps)) {
        if (step == "open") {
            preview = openPreview(cw.window);
        } else if (step == "close") {
            action(cw.window, "actionPaperPreview")->setChecked(false);
        } else if (step == "pause") {
            QTest::qWait(PaperFeed::kSilenceMs + 500);
            jobs << QByteArray();
        } else {
            click(cw.window, step.constData());
            if (preview && preview->isVisible())
                drawWatched(preview, cw.pty, &jobs.last());
            else
                jobs.last() += cw.pty.readUntilQuiet();
        }
    }
    drawWatched(preview, cw.pty, &jobs.last());
    QList<QImage> expected;
    for (const QByteArray &job : std::as_const(jobs))
        expected += replayed(job);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(savedPages(preview), expected);
    for (const QImage &page : std::as_const(expected))
        QCOMPARE(page.width(), width);
}

void tst_Preview::rasterWithoutStall()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QTemporaryDir dir;
    QImage strip(384, 4000, QImage::Format_Mono);
    strip.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            strip.setPixel(x, y, (x / 8 + y / 8) % 2);
    QVERIFY(strip.save(dir.filePath("strip.png")));
    bool loaded = false;
    QMetaObject::invokeMethod(&cw.window, "loadFile", Qt::DirectConnection, Q_RETURN_ARG(bool, loaded),
                              Q_ARG(QString, dir.filePath("strip.png")));
    QVERIFY(loaded);
    PaperPreview *preview = openPreview(cw.window);
    QByteArray farEnd;
    QTimer::singleShot(0, &cw.window, [&] { click(cw.window, "pushButton_58PrintH"); });
    const qint64 stall = drawWatched(preview, cw.pty, &farEnd, 2 + 8 + 48 * 4000);
    QVERIFY2(stall < 100, qPrintable(QStringLiteral("the window stood still for %1 ms").arg(stall)));
    QCOMPARE(preview->feed()->jobCount(), 1);
    QCOMPARE(preview->feed()->jobSize(0).height(), 16 + 4000 + 16);
    QCOMPARE(savedPages(preview), replayed(farEnd));
}

// The guard sends nothing, so nothing is drawn; Disconnect keeps the paper, a
// new connection starts a new job, Clear tears the paper off.
void tst_Preview::guardDisconnectClear()
{
    PtyPair pty;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    PaperPreview *preview = openPreview(window);
    expectGuard(window, pty, "pushButtonReceipt");
    QVERIFY(!preview->feed()->busy());
    QCOMPARE(preview->feed()->jobCount(), 0);

    QVERIFY(connectTo(window, pty.slavePath()));
    QByteArray farEnd;
    click(window, "pushButtonBarcodeEAN8");
    drawWatched(preview, pty, &farEnd);
    QCOMPARE(preview->feed()->jobCount(), 1);
    QVERIFY(preview->feed()->isInProgress(0));
    action(window, "actionDisconnect")->trigger();
    QCOMPARE(preview->feed()->jobCount(), 1);
    QVERIFY(connectTo(window, pty.slavePath()));
    click(window, "pushButtonBarcodeEAN8");
    drawWatched(preview, pty, &farEnd);
    QCOMPARE(preview->feed()->jobCount(), 2);
    QCOMPARE(preview->feed()->endOf(0), QStringLiteral("silence on the line"));
    const QList<QImage> one = replayed(farEnd.left(farEnd.size() / 2));
    QCOMPARE(one.size(), 1);
    QCOMPARE(savedPages(preview), one + one);

    // Torn off at the head: the job goes on below the tear.
    QTest::mouseClick(preview->findChild<QToolBar *>()->widgetForAction(
                          preview->findChild<QAction *>(QStringLiteral("previewClear"))),
                      Qt::LeftButton);
    QCOMPARE(preview->feed()->jobCount(), 0);
    QCOMPARE(preview->findChild<QLabel *>(QStringLiteral("previewStatus"))->text(),
             QStringLiteral("0 jobs, 58 mm head (384 dots)"));
    click(window, "pushButtonBarcodeEAN8");
    drawWatched(preview, pty, &farEnd);
    QCOMPARE(savedPages(preview), one);

    // The monitor's Clear numbers the capture afresh; the line, and the job, go on.
    const qsizetype script = farEnd.size() / 3;
    monitorOf(window)->model()->clear();
    click(window, "pushButtonBarcodeEAN8");
    drawWatched(preview, pty, &farEnd);
    QCOMPARE(savedPages(preview), replayed(farEnd.right(2 * script)));
}

// A heading selected in the monitor scrolls to its press's paper; the
// preview's context menu selects the heading of the paper under the mouse.
void tst_Preview::linkedToMonitor()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    PaperPreview *preview = openPreview(cw.window);
    preview->findChild<QComboBox *>(QStringLiteral("previewZoom"))->setCurrentIndex(1);
    QByteArray farEnd;
    for (const char *button : {"pushButtonReceiptFullCut", "pushButtonReset", "pushButtonReceipt"}) {
        click(cw.window, button);
        drawWatched(preview, cw.pty, &farEnd);
    }
    LineMonitor *monitor = monitorOf(cw.window);
    monitor->toggleAction()->setChecked(true);
    auto *table = monitor->findChild<QTableView *>(QStringLiteral("monitorTable"));
    LineModel *model = monitor->model();
    QTRY_COMPARE(model->rowCount() > 0, true);
    QList<int> headings;
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->row(row).kind == LineCapture::Kind::Heading)
            headings << row;
    QCOMPARE(headings.size(), 3);

    // The second receipt starts the second job, at its top.
    PaperView *view = preview->view();
    table->setCurrentIndex(model->index(headings.at(2), 0));
    int job = -1, y = -1;
    QVERIFY(view->jobAt(QPoint(view->viewport()->width() / 2, 12), &job, &y));
    QCOMPARE(job, 1);
    QCOMPARE(y, 16);

    // Back from the middle of the first page: its press, the first heading.
    table->setCurrentIndex(model->index(model->rowCount() - 1, 0));
    view->showPlace(0, 400);
    const QPoint onPaper(view->viewport()->width() / 2, 40);
    QTimer::singleShot(50, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *show = menu->actions().at(0);
        QCOMPARE(show->text(), QStringLiteral("Show in Line Monitor"));
        QVERIFY(show->isEnabled());
        menu->setActiveAction(show);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, onPaper, view->viewport()->mapToGlobal(onPaper));
    QApplication::sendEvent(view->viewport(), &event);
    QCOMPARE(table->currentIndex().row(), headings.at(0));
    QCOMPARE(model->row(headings.at(0)).text, QStringLiteral("Receipt with Full Cut"));
}

void tst_Preview::saveFailures_data()
{
    QTest::addColumn<bool>("printed");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text"); // of the box, a pattern
    const auto cannot = [](const QString &path) { return "Cannot save " + QRegularExpression::escape(path) + ":\n"; };
    const QString missing = QDir::temp().filePath(QStringLiteral("telvar-no-such-folder/page.png"));
    QTest::newRow("folder that does not exist") << true << missing << cannot(missing) + "No such file or directory";
    QTest::newRow("under /proc") << true << "/proc/telvar-page.png" << cannot("/proc/telvar-page.png") + ".+";
    QTest::newRow("a folder") << true << QDir::tempPath() << cannot(QDir::tempPath()) + ".+";
    QTest::newRow("nothing printed") << false << QDir::temp().filePath("telvar-empty.png")
                                     << "There is no paper to save.";
}

void tst_Preview::saveFailures()
{
    QFETCH(bool, printed);
    QFETCH(QString, path);
    QFETCH(QString, text);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    PaperPreview *preview = openPreview(cw.window);
    QByteArray farEnd;
    if (printed)
        click(cw.window, "pushButtonBarcodeEAN8");
    drawWatched(preview, cw.pty, &farEnd);
    const bool existed = QFileInfo::exists(path);
    BoxCatcher catcher;
    QVERIFY(!preview->savePage(0, path));
    QTRY_COMPARE(catcher.boxes.size(), 1);
    const SeenBox box = catcher.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Save Page"));
    QCOMPARE(box.icon, int(printed ? QMessageBox::Critical : QMessageBox::Information));
    QVERIFY2(QRegularExpression("^" + text + "$").match(box.text).hasMatch(), qPrintable(box.text));
    QCOMPARE(QFileInfo::exists(path), existed);
}

void tst_Preview::hostileStreams_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::newRow("column image right of ESC l") << hex("1b242000 1b6cff 1b2a000100");
    QTest::newRow("column image right of GS L") << hex("1b242c01 1d4cffff 1b2a00ff0a");
    QTest::newRow("2 m feeds and cuts, 64 KiB") << (hex("1b4aff").repeated(63) + hex("1b69")).repeated(344).left(65536);
    QTest::newRow("24,576 cuts") << hex("1b69").repeated(24576);
}

// Bytes that once crashed the renderer or cost it a quarter of a second a
// page, typed on the send line: the program stays up and shows the newest of
// the virtual controller's pages, within the bound of kept paper.
void tst_Preview::hostileStreams()
{
    QFETCH(QByteArray, stream);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    PaperPreview *preview = openPreview(cw.window);
    sendLine(cw.window, stream + "still here\n");
    QByteArray farEnd;
    drawWatched(preview, cw.pty, &farEnd, stream.size() + 11);
    QCOMPARE(farEnd, stream + "still here\n");

    const PaperFeed *feed = preview->feed();
    int drawn = 0;
    const QList<QImage> expected = replayed(farEnd, feed->jobCount(), &drawn);
    QCOMPARE(savedPages(preview), expected);
    QCOMPARE(feed->droppedOlder(), drawn > feed->jobCount());
    QCOMPARE(preview->findChild<QLabel *>(QStringLiteral("previewStatus"))->text().endsWith(
                 QLatin1String("; older paper dropped")),
             feed->droppedOlder());
    qint64 kept = 0;
    for (int job = 0; job < feed->jobCount(); ++job)
        kept += qint64(feed->jobSize(job).width()) * feed->jobSize(job).height();
    QVERIFY(kept <= PaperFeed::kKeptBytes);
}

QTEST_MAIN(tst_Preview)
#include "tst_preview.moc"

// The start-up probes of the benchmark: the program's own window, or (built
// with TELVAR_BARE_WINDOW) a bare Qt window of the same size with a tab widget
// and a text pane, the yardstick for what Qt itself costs, and (with
// TELVAR_BARE_MENU too) the same with a menu bar, which alone makes Qt load
// every image format plugin for the icon of the bar's overflow button. Each prints the
// monotonic clock in nanoseconds and its resident memory in MiB at the moment
// the window is first exposed, then quits.

#ifdef TELVAR_BARE_WINDOW
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>
#else
#include "app/mainwindow.h"
#endif

#include <QApplication>
#include <QFile>
#include <QWindow>

#include <chrono>
#include <cstdio>

namespace {

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

class ExposeWatch : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_done && event->type() == QEvent::Expose
            && static_cast<QWindow *>(watched)->isExposed()) {
            m_done = true;
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
            std::printf("%lld %.1f\n", static_cast<long long>(ns), residentMiB());
            std::fflush(stdout);
            QCoreApplication::exit(0);
        }
        return false;
    }

private:
    bool m_done = false;
};

#ifdef TELVAR_BARE_WINDOW
class BareWindow : public QMainWindow
{
public:
    BareWindow()
    {
        auto *central = new QWidget(this);
        auto *layout = new QVBoxLayout(central);
        auto *tabs = new QTabWidget(central);
        tabs->addTab(new QWidget, QStringLiteral("General"));
        layout->addWidget(tabs);
        auto *pane = new QPlainTextEdit(central);
        pane->setFixedHeight(200);
        layout->addWidget(pane);
        setCentralWidget(central);
#ifdef TELVAR_BARE_MENU
        menuBar()->addMenu(QStringLiteral("Serial"));
#endif
        resize(880, 768);
    }
};
#endif

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef TELVAR_BARE_WINDOW
    BareWindow window;
#else
    MainWindow window;
#endif
    ExposeWatch watch;
    window.winId(); // the native window exists before it is shown
    window.windowHandle()->installEventFilter(&watch);
    window.show();
    return app.exec();
}

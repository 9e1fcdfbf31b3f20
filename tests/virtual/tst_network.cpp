// telvar-virtual on the network: pyserial's RFC 2217 client sets its line,
// the program's window prints through socket:// and rfc2217://, and a second
// client waits its turn.

#include "controller.h"
#include "telvartest.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace TelvarTest;

namespace {

// telvar-virtual serving the network only, on ports it picks.
class NetVirt
{
public:
    explicit NetVirt(const QString &option)
    {
        process.start(QStringLiteral(TELVAR_VIRTUAL_EXE),
                      {"--no-pty", option, "0", "--out", dir.path(), "--silence", "300", "--quiet"});
        const QRegularExpression announced(QStringLiteral("\"Custom\" entry: (\\S+)"));
        QByteArray out;
        for (int i = 0; i < 100 && url.isEmpty() && process.waitForReadyRead(100); ++i)
            url = announced.match(QString::fromUtf8(out += process.readAllStandardOutput())).captured(1);
    }
    ~NetVirt()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    QString listing() const
    {
        QFile log(dir.filePath(QStringLiteral("listing.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
    bool printed(int job) const
    {
        return QFileInfo::exists(dir.filePath(QStringLiteral("job-%1.png").arg(job, 4, 10, QLatin1Char('0'))));
    }

    QTemporaryDir dir;
    QProcess process;
    QString url;
};

const QByteArray kJob = QByteArray::fromHex("1b40") + "Printed over the network\n" + QByteArray::fromHex("1b69");

} // namespace

class tst_VirtualNetwork : public QObject
{
    Q_OBJECT

private slots:
    // pyserial sets the remote port's speed; the controller's UART runs at
    // 115200, so at 9600 nothing prints and the listing says why.
    void pyserialClient_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("listed");
        QTest::newRow("115200") << 115200 << "text \"Printed over the network\"";
        QTest::newRow("9600") << 9600 << "(?s)host line: 9600 baud 8N1, no flow control\n.*"
                                         "line speed mismatch: host 9600, controller 115200: \\d+ bytes unreadable";
    }
    void pyserialClient()
    {
        QFETCH(int, baud);
        QFETCH(QString, listed);
        NetVirt virt(QStringLiteral("--rfc2217"));
        QVERIFY(virt.url.startsWith("rfc2217://127.0.0.1:"));
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {"-c",
                      "import serial, sys\n"
                      "s = serial.serial_for_url(sys.argv[1] + '?ign_set_control', baudrate=int(sys.argv[2]))\n"
                      "s.write(bytes.fromhex(sys.argv[3])); s.flush(); s.close()\n",
                      virt.url, QString::number(baud), QString::fromLatin1(kJob.toHex())});
        QVERIFY(python.waitForFinished(15000));
        QCOMPARE(python.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(virt.listing().contains(QRegularExpression(listed)), 10000);
        QTest::qWait(500);
        QCOMPARE(virt.printed(1), baud == 115200);
    }

    // A network address that is not [HOST:]PORT ends the program at once with
    // a message naming the option; nothing is listened on.
    void refusesBadAddresses_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        QTest::newRow("no port") << QStringList{"--listen", "benchhost"}
                                 << "--listen wants [HOST:]PORT: \"benchhost\": no port";
        QTest::newRow("port out of range") << QStringList{"--rfc2217", "70000"}
                                           << "\"70000\": the port \"70000\" is not a number from 0 to 65535";
        QTest::newRow("IPv6 without brackets") << QStringList{"--listen", "::1:9100"} << "goes in brackets";
        QTest::newRow("network only, no network") << QStringList{"--no-pty"} << "it needs --listen or --rfc2217";
    }
    void refusesBadAddresses()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QProcess virt;
        virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE), QStringList{"--link", "", "--out", dir.path()} + options);
        QVERIFY(virt.waitForFinished(8000));
        QCOMPARE(virt.exitCode(), 2);
        const QString error = QString::fromLocal8Bit(virt.readAllStandardError());
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    // The window answered and printing through both kinds of network port;
    // a second client waits, listed, while the first goes on undisturbed,
    // and is served once the first has left.
    void windowOverTheNetwork_data()
    {
        QTest::addColumn<QString>("option");
        QTest::newRow("socket:// to --listen") << "--listen";
        QTest::newRow("rfc2217:// to --rfc2217") << "--rfc2217";
    }
    void windowOverTheNetwork()
    {
        QFETCH(QString, option);
        NetVirt virt(option);
        QVERIFY(!virt.url.isEmpty());
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        BoxCatcher catcher;
        action(w, "actionConfigure")->trigger();
        chooseCustomPort(virt.url);
        action(w, "actionConnect")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(statusText(w).startsWith("Connected to " + virt.url), 10000);

        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, quint16(virt.url.section(':', -1).toInt()));
        QVERIFY(second.waitForConnected(5000));
        second.write(kJob);
        QTRY_VERIFY_WITH_TIMEOUT(virt.listing().contains(QRegularExpression("waits: the line serves")), 5000);

        click(w, "pushButtonVersion");
        QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains(QString::fromLatin1(Virtual::firmwareAnswer().trimmed())), 5000);
        click(w, "pushButtonReceipt");
        QTRY_VERIFY_WITH_TIMEOUT(virt.printed(1), 15000);
        QVERIFY(virt.listing().contains("text \"Customer Receipt\""));
        QVERIFY(!virt.listing().contains("Printed over the network"));

        action(w, "actionDisconnect")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(virt.printed(2), 10000);
        QVERIFY(virt.listing().contains("text \"Printed over the network\""));
        QCOMPARE(catcher.boxes.size(), 0);
    }
};

QTEST_MAIN(tst_VirtualNetwork)
#include "tst_network.moc"

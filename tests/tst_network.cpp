// Ports on another machine: the names, Telnet's bytes, and the real window
// against ser2net in front of a pseudo-terminal and against servers that are
// no RFC 2217 port at all.

#include "network/linesettings.h"
#include "network/networkaddress.h"
#include "network/telnet.h"
#include "ser2net.h"
#include "serial/settingsdialog.h"
#include "telvartest.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace TelvarTest;
using namespace Network;

namespace {

// Chooses `name` in the dialog at `baud` and `stop` bits and triggers Connect.
void startConnect(MainWindow &window, const QString &name, const QString &baud = "115200",
                  const QString &stop = "1")
{
    action(window, "actionConfigure")->trigger();
    for (const auto &[box, text] : {std::pair{"baudRateBox", baud}, std::pair{"stopBitsBox", stop}}) {
        auto *combo = settingsDialog()->findChild<QComboBox *>(QLatin1String(box));
        combo->setCurrentIndex(combo->findText(text));
    }
    chooseCustomPort(name);
    action(window, "actionConnect")->trigger();
}

bool settled(MainWindow &window)
{
    return !statusText(window).startsWith(QLatin1String("Connecting to "));
}

// Connect and Configure on, Disconnect off: the state before connecting.
bool canConnect(MainWindow &w)
{
    return action(w, "actionConnect")->isEnabled() && !action(w, "actionDisconnect")->isEnabled()
        && action(w, "actionConfigure")->isEnabled();
}

// A raster whose every third byte is FF, Telnet's IAC.
bool printRasterWithIac(MainWindow &window, QByteArray &bits)
{
    bits = QByteArray(48 * 64, Qt::Uninitialized);
    for (int i = 0; i < bits.size(); ++i)
        bits[i] = i % 3 ? char(i & 0x7f) : '\xff';
    return invoke(window, "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 48), Q_ARG(ushort, 64),
                  Q_ARG(uchar *, reinterpret_cast<uchar *>(bits.data())));
}

} // namespace

class tst_Network : public QObject
{
    Q_OBJECT

private slots:
    void portNames_data();
    void portNames();
    void telnetSession_data();
    void telnetSession();
    void comPortMessages();
    void throughSer2Net_data();
    void throughSer2Net();
    void failures_data();
    void failures();
    void disconnectGivesUp();
};

void tst_Network::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("seen"); // "host port", "device", or the reason
    QTest::newRow("device path") << "/dev/ttyUSB0" << "device";
    QTest::newRow("rfc2217 IPv4") << "rfc2217://192.168.1.20:4001" << "192.168.1.20 4001";
    QTest::newRow("socket name") << "socket://lab-bench.example:9100" << "lab-bench.example 9100";
    QTest::newRow("IPv6") << "rfc2217://[fe80::1]:2217" << "fe80::1 2217";
    QTest::newRow("pyserial option") << "RFC2217://bench:2000?ign_set_control" << "bench 2000 ign_set_control";
    QTest::newRow("no port") << "rfc2217://host" << "rfc2217://host: no port; the form is rfc2217://HOST:PORT";
    QTest::newRow("unknown scheme")
        << "tcp://127.0.0.1:9100"
        << "tcp://127.0.0.1:9100: unknown scheme \"tcp\"; network ports are rfc2217://HOST:PORT or socket://HOST:PORT";
    QTest::newRow("port out of range")
        << "socket://127.0.0.1:70000" << "socket://127.0.0.1:70000: the port \"70000\" is not a number from 1 to 65535";
    QTest::newRow("empty host") << "socket://:9100" << "socket://:9100: no host; the form is socket://HOST:PORT";
    QTest::newRow("IPv6 without brackets")
        << "rfc2217://::1:4000" << "rfc2217://::1:4000: an IPv6 address goes in brackets, as in rfc2217://[::1]:PORT";
    QTest::newRow("blank in host") << "socket://my host:1" << "socket://my host:1: \"my host\" is not a host name or an address";
    QTest::newRow("unknown option")
        << "socket://h:1?timeout=3" << "socket://h:1?timeout=3: unknown option \"timeout=3\"; socket:// takes none";
}

void tst_Network::portNames()
{
    QFETCH(QString, name);
    QFETCH(QString, seen);
    Address a;
    QString error;
    const NameKind kind = parsePortName(name, &a, &error);
    const QString got = kind == NameKind::Device ? QStringLiteral("device")
                      : kind == NameKind::Bad    ? error
                                                 : QStringLiteral("%1 %2%3").arg(a.host).arg(a.port).arg(
                                                       a.ignoreSetControl ? " ign_set_control" : "");
    QCOMPARE(got, seen);
    if (kind == NameKind::Network)
        QCOMPARE(a.kind, name.startsWith("socket") ? Address::Kind::Socket : Address::Kind::Rfc2217);
}

// The client's session as ser2net and others talk to it, fed byte by byte:
// a command split across reads is whole all the same.
void tst_Network::telnetSession_data()
{
    QTest::addColumn<QByteArray>("peer");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("sub");
    QTest::addColumn<int>("comPort"); // 0 asked, 1 agreed, 2 refused
    QTest::newRow("ser2net's greeting: ECHO refused, the rest agreed")
        << QByteArray("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c") << QByteArray() << QByteArray("fffe01")
        << QByteArray() << 1;
    QTest::newRow("COM-PORT-OPTION refused") << QByteArray("fffe2c") << QByteArray() << QByteArray() << QByteArray()
                                             << 2;
    QTest::newRow("unknown options refused, FF in data once")
        << QByteArray("fffd18 fffb05 41ffff42") << QByteArray("41ff42") << QByteArray("fffc18 fffe05") << QByteArray()
        << 0;
    QTest::newRow("answer with FF in its value, data around it")
        << QByteArray("41 fffa2c650000ffffffff fff0 42") << QByteArray("4142") << QByteArray()
        << QByteArray("2c650000ffff") << 0;
}

void tst_Network::telnetSession()
{
    QFETCH(QByteArray, peer);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, sub);
    QFETCH(int, comPort);
    Telnet::Session client({Telnet::Binary, Telnet::SuppressGoAhead, Telnet::ComPortOption},
                           {Telnet::Binary, Telnet::SuppressGoAhead});
    QCOMPARE(client.open().toHex(' '), QByteArray("ff fb 00 ff fd 00 ff fb 03 ff fd 03 ff fb 2c"));
    QByteArray got, answers;
    QList<QByteArray> subs;
    for (const char c : QByteArray::fromHex(peer))
        got += client.receive(QByteArray(1, c), &answers, &subs);
    QCOMPARE(got.toHex(), QByteArray::fromHex(data).toHex());
    QCOMPARE(answers.toHex(), QByteArray::fromHex(reply).toHex());
    QCOMPARE(subs.value(0).toHex(), QByteArray::fromHex(sub).toHex());
    QCOMPARE(client.enabled(Telnet::ComPortOption) ? 1 : client.refused(Telnet::ComPortOption) ? 2 : 0, comPort);
}

// The settings as they go out, read back as a server's answers, and what
// differs from the asked.
void tst_Network::comPortMessages()
{
    LineSettings line;
    line.baud = 9600;
    line.dataBits = 7;
    line.parity = LineSettings::Parity::Even;
    line.stopBits = LineSettings::StopBits::Two;
    line.xonXoff = true;
    QCOMPARE(Rfc2217::settingsMessages(line).toHex(' '),
             QByteArray("ff fa 2c 01 00 00 25 80 ff f0 ff fa 2c 02 07 ff f0 ff fa 2c 03 03 ff f0 "
                        "ff fa 2c 04 02 ff f0 ff fa 2c 05 02 ff f0"));
    line.baud = 65535; // 00 00 FF FF, each FF doubled
    QCOMPARE(Rfc2217::message(Rfc2217::SetBaudRate, Rfc2217::value(Rfc2217::SetBaudRate, line)).toHex(' '),
             QByteArray("ff fa 2c 01 00 00 ff ff ff ff ff f0"));

    LineSettings runs;
    QList<QByteArray> subs;
    QByteArray ignored;
    Telnet::Session({}, {}).receive(Rfc2217::settingsMessages(line, Rfc2217::ServerOffset), &ignored, &subs);
    QCOMPARE(subs.size(), 5);
    for (const QByteArray &sub : subs)
        QVERIFY(Rfc2217::apply(uchar(sub.at(1)) - Rfc2217::ServerOffset, sub.mid(2), &runs));
    QVERIFY(!Rfc2217::apply(Rfc2217::SetParity, QByteArray(1, '\0'), &runs)); // a request, not a setting
    QCOMPARE(Rfc2217::differences(line, runs), QStringList());
    LineSettings asked;
    asked.baud = 115200;
    runs.xonXoff = false;
    asked.xonXoff = true;
    QCOMPARE(Rfc2217::differences(asked, runs),
             (QStringList{"The remote port runs at 65535 baud, not 115200", "The remote port uses 7 data bits, not 8",
                          "The remote port uses even parity, not none", "The remote port uses 2 stop bits, not 1",
                          "The remote port uses no flow control, not XON/XOFF"}));
    QCOMPARE(Rfc2217::differences(asked, runs, true).size(), 4); // ?ign_set_control
}

// The window on ser2net, Telnet with RFC 2217 and raw TCP: the dialog's
// settings reach the device's tty (Telnet only), the scripts arrive as on a
// direct line, an answer shows, and a server that dies mid-send unplugs the port.
void tst_Network::throughSer2Net_data()
{
    QTest::addColumn<QString>("accepter");
    QTest::addColumn<qint64>("baud"); // the device's tty while connected
    QTest::addColumn<QString>("note"); // the log pane after connecting
    QTest::newRow("telnet(rfc2217)") << "telnet(rfc2217)" << qint64(9600) << QString();
    QTest::newRow("tcp") << "tcp" << qint64(115200)
                         << " carries bytes only: the baud rate, data bits, parity, stop bits and flow control stay "
                            "as the far end has them";
}

void tst_Network::throughSer2Net()
{
    QFETCH(QString, accepter);
    QFETCH(qint64, baud);
    QFETCH(QString, note);
    PtyPair device;
    Ser2Net server(accepter, device.slavePath());
    QVERIFY(server.isListening());
    ConnectedWindow cw; // what the scripts send on a direct line
    QVERIFY(cw.connected);
    MainWindow &w = cw.window;
    click(w, "pushButtonReceipt");
    const QByteArray receipt = cw.pty.readUntilQuiet(300);
    QCOMPARE(receipt.size(), 12749);
    QByteArray bits;
    QVERIFY(printRasterWithIac(w, bits));
    const QByteArray raster = cw.pty.readUntilQuiet(300);
    QCOMPARE(raster.count('\xff'), 1024);
    action(w, "actionDisconnect")->trigger();
    w.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))->clear();
    BoxCatcher catcher;

    startConnect(w, server.url(), "9600", "2");
    QTRY_VERIFY_WITH_TIMEOUT(settled(w), 10000);
    QCOMPARE(statusText(w), QStringLiteral("Connected to %1 : 9600, 8, None, 2, XON/XOFF").arg(server.url()));
    QCOMPARE(logText(w), note.isEmpty() ? QString() : server.url() + note);
    LineSettings line;
    const int fd = ::open(device.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(readLineSettings(fd, &line));
    ::close(fd);
    QCOMPARE(line.baud, baud);
    QCOMPARE(line.stopBits, baud == 9600 ? LineSettings::StopBits::Two : LineSettings::StopBits::One);

    click(w, "pushButtonReceipt");
    QCOMPARE(device.readUntilQuiet(300).toHex(), receipt.toHex());
    QVERIFY(printRasterWithIac(w, bits));
    QCOMPARE(device.readUntilQuiet(300).toHex(), raster.toHex());
    device.write("OK\xff\r\n");
    QTRY_VERIFY(logText(w).endsWith(QString::fromUtf8("OK\xef\xbf\xbd\n")));

    QByteArray roll(48 * 4000, '\x55');
    QVERIFY(invoke(w, "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 48), Q_ARG(ushort, 4000),
                   Q_ARG(uchar *, reinterpret_cast<uchar *>(roll.data()))));
    QVERIFY(!device.read(1000).isEmpty());
    server.kill();
    QTRY_COMPARE(statusText(w), QStringLiteral("Disconnected"));
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Critical Error"));
    QCOMPARE(catcher.boxes.first().text, QStringLiteral("The remote host closed the connection"));
    QVERIFY(canConnect(w));
}

// Every way a network port can fail to open takes the open-failure path:
// one "Error" box with the reason, "Open error", Connect and Configure on,
// within 10 s, and nothing sent. Meanwhile the window goes on, Connect off.
void tst_Network::failures_data()
{
    QTest::addColumn<QString>("name");   // %1: the port of the row's server
    QTest::addColumn<QString>("server"); // "", "nothing", "silent", "http", "telnet"
    QTest::addColumn<QString>("reason");
    QTest::newRow("refused") << "rfc2217://127.0.0.1:%1" << "nothing" << "Connection refused";
    QTest::newRow("unknown host") << "socket://no-such-host.invalid:9100" << "" << "Host not found";
    QTest::newRow("unknown scheme") << "tcp://127.0.0.1:%1" << "silent" << "unknown scheme \"tcp\"";
    QTest::newRow("missing port") << "rfc2217://127.0.0.1" << "silent" << "no port";
    QTest::newRow("a server that never speaks")
        << "rfc2217://127.0.0.1:%1" << "silent"
        << "No Telnet answer from 127.0.0.1:%1 within 5 s: it does not look like an RFC 2217 server";
    QTest::newRow("an HTTP server") << "rfc2217://127.0.0.1:%1" << "http"
                                    << "The server at 127.0.0.1:%1 does not speak Telnet (it sent "
                                       "\"HTTP/1.1 400 Bad Request\"): it is no RFC 2217 port";
    QTest::newRow("Telnet without RFC 2217")
        << "rfc2217://127.0.0.1:%1" << "telnet"
        << "The server at 127.0.0.1:%1 refuses RFC 2217 serial port control (COM-PORT-OPTION)";
}

void tst_Network::failures()
{
    QFETCH(QString, name);
    QFETCH(QString, server);
    QFETCH(QString, reason);
    QTcpServer listener;
    PtyPair device;
    std::unique_ptr<Ser2Net> telnet;
    quint16 port = 0;
    if (server == "nothing") {
        port = freeLocalPort();
    } else if (server == "telnet") {
        telnet = std::make_unique<Ser2Net>("telnet", device.slavePath());
        QVERIFY(telnet->isListening());
        port = telnet->port();
    } else if (!server.isEmpty()) {
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        port = listener.serverPort();
        connect(&listener, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *client = listener.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [client, server] {
                if (server == "http") {
                    client->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
                    client->disconnectFromHost();
                }
            });
        });
    }
    name.replace("%1", QString::number(port));
    reason.replace("%1", QString::number(port));
    MainWindow w;
    BoxCatcher catcher;
    QElapsedTimer timer;
    timer.start();
    startConnect(w, name);
    if (!settled(w)) {
        QCOMPARE(statusText(w), "Connecting to " + name + "...");
        QVERIFY(!action(w, "actionConnect")->isEnabled() && action(w, "actionDisconnect")->isEnabled());
    }
    QTRY_VERIFY_WITH_TIMEOUT(settled(w), 10000);
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(statusText(w), QStringLiteral("Open error"));
    QTRY_COMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Error"));
    QVERIFY2(catcher.boxes.first().text.contains(reason), qPrintable(catcher.boxes.first().text));
    QVERIFY(canConnect(w));
    Address address;
    if (parsePortName(name, &address, &reason) == NameKind::Bad) // not even a connection
        QVERIFY(!listener.hasPendingConnections() && listener.findChildren<QTcpSocket *>().isEmpty());
    QCOMPARE(device.readUntilQuiet(100), QByteArray());
}

// Disconnect while connecting ends the attempt quietly: no box, the far end
// sees the connection go, Connect works again.
void tst_Network::disconnectGivesUp()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    MainWindow w;
    BoxCatcher catcher;
    startConnect(w, QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort()));
    QTRY_VERIFY(silent.hasPendingConnections());
    QTcpSocket *client = silent.nextPendingConnection();
    action(w, "actionDisconnect")->trigger();
    QCOMPARE(statusText(w), QStringLiteral("Disconnected"));
    QVERIFY(canConnect(w));
    QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(catcher.boxes.size(), 0);
}

QTEST_MAIN(tst_Network)
#include "tst_network.moc"

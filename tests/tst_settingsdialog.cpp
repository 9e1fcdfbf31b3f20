#include "serial/settingsdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void customEntry();
    void portEntry_data();
    void portEntry();
    void captured_data();
    void captured();
    void closingWithoutApplyKeepsSettings();
};

template <typename T>
static T *child(SettingsDialog &dialog, const char *name)
{
    return dialog.findChild<T *>(QString::fromLatin1(name));
}

static void select(SettingsDialog &dialog, const char *box, const QString &text)
{
    auto *combo = child<QComboBox>(dialog, box);
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
}

void tst_SettingsDialog::defaults()
{
    SettingsDialog dialog;
    const SerialSettings s = dialog.settings();
    QCOMPARE(s.baudRate, 115200);
    QCOMPARE(s.baudRateText, QStringLiteral("115200"));
    QCOMPARE(s.dataBits, QSerialPort::Data8);
    QCOMPARE(s.parity, QSerialPort::NoParity);
    QCOMPARE(s.stopBits, QSerialPort::OneStop);
    QCOMPARE(s.flowControl, QSerialPort::SoftwareControl);
    QCOMPARE((QStringList{s.dataBitsText, s.parityText, s.stopBitsText, s.flowControlText}),
             (QStringList{"8", "None", "1", "XON/XOFF"}));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
}

void tst_SettingsDialog::customEntry()
{
    SettingsDialog dialog;
    auto *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
    QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Custom"));
    ports->setCurrentIndex(ports->count() - 1);
    QVERIFY(ports->isEditable());
    QVERIFY(ports->currentText().isEmpty());
    for (const char *name : {"descriptionLabel", "manufacturerLabel", "serialNumberLabel",
                             "locationLabel", "vidLabel", "pidLabel"})
        QVERIFY2(child<QLabel>(dialog, name)->text().endsWith(QLatin1String(": N/A")), name);
    QCOMPARE(child<QLabel>(dialog, "vidLabel")->text(), QStringLiteral("Vendor Identifier: N/A"));

    ports->setEditText(QStringLiteral("/dev/ttyTelvar7"));
    child<QPushButton>(dialog, "applyButton")->click();
    QCOMPARE(dialog.settings().portName, QStringLiteral("/dev/ttyTelvar7"));
    QVERIFY(dialog.isHidden());

    // The baud list has no custom entry, so it stays a plain list.
    QVERIFY(!child<QComboBox>(dialog, "baudRateBox")->isEditable());
}

void tst_SettingsDialog::portEntry_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint16>("vendorId");
    QTest::addColumn<quint16>("productId");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("adapter") << QStringLiteral("USB Serial") << quint16(0x0403)
                             << quint16(0x6001)
                             << QStringList{"ttyUSB0", "USB Serial", "N/A", "N/A",
                                            "/dev/ttyUSB0", "403", "6001"};
    QTest::newRow("bare uart") << QString() << quint16(0) << quint16(0)
                               << QStringList{"ttyUSB0", "N/A", "N/A", "N/A",
                                              "/dev/ttyUSB0", "N/A", "N/A"};
    QTest::newRow("upper digits") << QStringLiteral("x") << quint16(0xABCD) << quint16(0x000F)
                                  << QStringList{"ttyUSB0", "x", "N/A", "N/A",
                                                 "/dev/ttyUSB0", "abcd", "f"};
}

void tst_SettingsDialog::portEntry()
{
    QFETCH(QString, description);
    QFETCH(quint16, vendorId);
    QFETCH(quint16, productId);
    QFETCH(QStringList, expected);
    QCOMPARE(portEntryTexts(QStringLiteral("ttyUSB0"), description, QString(), QString(),
                            QStringLiteral("/dev/ttyUSB0"), vendorId, productId),
             expected);
}

void tst_SettingsDialog::captured_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("even") << QByteArray("parityBox") << QStringLiteral("Even") << 2;
    QTest::newRow("odd") << QByteArray("parityBox") << QStringLiteral("Odd") << 3;
    QTest::newRow("mark") << QByteArray("parityBox") << QStringLiteral("Mark") << 5;
    QTest::newRow("space") << QByteArray("parityBox") << QStringLiteral("Space") << 4;
    QTest::newRow("1.5 stop") << QByteArray("stopBitsBox") << QStringLiteral("1.5") << 3;
    QTest::newRow("2 stop") << QByteArray("stopBitsBox") << QStringLiteral("2") << 2;
    QTest::newRow("rts/cts") << QByteArray("flowControlBox") << QStringLiteral("RTS/CTS") << 1;
    QTest::newRow("no flow") << QByteArray("flowControlBox") << QStringLiteral("None") << 0;
    QTest::newRow("7 bits") << QByteArray("dataBitsBox") << QStringLiteral("7") << 7;
    QTest::newRow("375000") << QByteArray("baudRateBox") << QStringLiteral("375000") << 375000;
}

void tst_SettingsDialog::captured()
{
    QFETCH(QByteArray, box);
    QFETCH(QString, text);
    QFETCH(int, value);

    SettingsDialog dialog;
    select(dialog, box.constData(), text);
    child<QPushButton>(dialog, "applyButton")->click();
    const SerialSettings s = dialog.settings();
    const QMap<QByteArray, QPair<int, QString>> fields{
        {"parityBox", {s.parity, s.parityText}},
        {"stopBitsBox", {s.stopBits, s.stopBitsText}},
        {"flowControlBox", {s.flowControl, s.flowControlText}},
        {"dataBitsBox", {s.dataBits, s.dataBitsText}},
        {"baudRateBox", {s.baudRate, s.baudRateText}},
    };
    QCOMPARE(fields.value(box).first, value);
    QCOMPARE(fields.value(box).second, text);
}

void tst_SettingsDialog::closingWithoutApplyKeepsSettings()
{
    SettingsDialog dialog;
    dialog.show();
    select(dialog, "parityBox", QStringLiteral("Odd"));
    select(dialog, "baudRateBox", QStringLiteral("9600"));
    dialog.close();
    QCOMPARE(dialog.settings().parity, QSerialPort::NoParity);
    QCOMPARE(dialog.settings().baudRate, 115200);

    // The boxes keep the change; the next Apply takes it.
    dialog.show();
    child<QPushButton>(dialog, "applyButton")->click();
    QCOMPARE(dialog.settings().parity, QSerialPort::OddParity);
    QCOMPARE(dialog.settings().baudRateText, QStringLiteral("9600"));
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"

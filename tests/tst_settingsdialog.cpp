#include "serial/settingsdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void customEntry();
    void portEntry();
    void captured_data();
    void captured();
};

template <typename T>
static T *child(SettingsDialog &dialog, const char *name)
{
    return dialog.findChild<T *>(QString::fromLatin1(name));
}

// The stored number and text of the setting one box chooses.
static QPair<int, QString> stored(const SerialSettings &s, const QByteArray &box)
{
    const QMap<QByteArray, QPair<int, QString>> fields{
        {"parityBox", {s.parity, s.parityText}},
        {"stopBitsBox", {s.stopBits, s.stopBitsText}},
        {"flowControlBox", {s.flowControl, s.flowControlText}},
        {"dataBitsBox", {s.dataBits, s.dataBitsText}},
        {"baudRateBox", {s.baudRate, s.baudRateText}},
    };
    return fields.value(box);
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
}

void tst_SettingsDialog::portEntry()
{
    const QString dev = QStringLiteral("/dev/ttyUSB0");
    QCOMPARE(portEntryTexts("ttyUSB0", "USB Serial", QString(), QString(), dev, 0x0403, 0xABCD),
             (QStringList{"ttyUSB0", "USB Serial", "N/A", "N/A", dev, "403", "abcd"}));
    QCOMPARE(portEntryTexts("ttyS0", QString(), QString(), QString(), dev, 0, 0),
             (QStringList{"ttyS0", "N/A", "N/A", "N/A", dev, "N/A", "N/A"}));
}

void tst_SettingsDialog::captured_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("even") << QByteArray("parityBox") << QStringLiteral("Even") << 2;
    QTest::newRow("mark") << QByteArray("parityBox") << QStringLiteral("Mark") << 5;
    QTest::newRow("1.5 stop") << QByteArray("stopBitsBox") << QStringLiteral("1.5") << 3;
    QTest::newRow("rts/cts") << QByteArray("flowControlBox") << QStringLiteral("RTS/CTS") << 1;
    QTest::newRow("7 bits") << QByteArray("dataBitsBox") << QStringLiteral("7") << 7;
    QTest::newRow("375000") << QByteArray("baudRateBox") << QStringLiteral("375000") << 375000;
}

// Closing without Apply keeps the stored choice; the next Apply takes the box's.
void tst_SettingsDialog::captured()
{
    QFETCH(QByteArray, box);
    QFETCH(QString, text);
    QFETCH(int, value);
    SettingsDialog dialog;
    dialog.show();
    const QPair<int, QString> before = stored(dialog.settings(), box);
    auto *combo = child<QComboBox>(dialog, box.constData());
    combo->setCurrentIndex(combo->findText(text));
    dialog.close();
    QCOMPARE(stored(dialog.settings(), box), before);

    dialog.show();
    child<QPushButton>(dialog, "applyButton")->click();
    QCOMPARE(stored(dialog.settings(), box), qMakePair(value, text));
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"

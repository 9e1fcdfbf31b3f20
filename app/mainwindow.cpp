#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/logpanebound.h"
#include "app/transmitprogress.h"
#include "app/windowmessages.h"
#include "monitor/linemonitor.h"
#include "preview/paperpreview.h"
#include "serial/settingsdialog.h"

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>

static void initIconResources()
{
    Q_INIT_RESOURCE(telvar);
    Q_INIT_RESOURCE(appicon);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , status(new QLabel)
    , settings(new SettingsDialog)
    , serial(new QSerialPort(this))
    , previewLabel(new QLabel)
{
    initIconResources();
    ui->setupUi(this);
    // The same pictures the desktop entry installs, so the task bar and the
    // application menu show one icon.
    QIcon icon(QStringLiteral(":/icons/printer-telvar.png"));
    icon.addFile(QStringLiteral(":/icons/printer-telvar-48.png"));
    setWindowIcon(icon);

    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(false);
    ui->actionQuit->setEnabled(true);
    ui->actionConfigure->setEnabled(true);

    ui->statusBar->addWidget(status);
    progress = new TransmitProgress(serial);
    ui->statusBar->addPermanentWidget(progress);
    connect(progress, &TransmitProgress::heldChanged, ui->statusBar, [this](bool held) {
        ui->statusBar->setToolTip(held ? TransmitProgress::heldExplanation() : QString());
    });
    logBound = new LogPaneBound(ui->editTelvar);

    ui->scrollArea->setBackgroundRole(QPalette::Dark);
    ui->scrollArea->setWidget(previewLabel);
    ui->scrollArea->setVisible(true);

    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::about);
    connect(ui->actionAboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);
    connect(ui->actionConnect, &QAction::triggered, this, &MainWindow::openSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    connect(ui->actionConfigure, &QAction::triggered, settings, &SettingsDialog::show);
    connect(ui->actionQuit, &QAction::triggered, this, &MainWindow::close);

    connect(serial, &QSerialPort::errorOccurred, this, &MainWindow::handleError);
    connect(serial, &QSerialPort::readyRead, this, &MainWindow::readData);

    // The command page is kept in the form for later use but not offered.
    ui->mainTabsTelvar->removeTab(4);

    // The line monitor's own bytes take the way of every script: the guard,
    // then the one write.
    monitor = new LineMonitor(this);
    QMenu *view = monitor->addViewMenu(ui->menuBar, ui->menuHelp->menuAction());
    // The paper preview draws from the monitor's record of what was sent; its
    // window is made when first opened.
    PaperPreview::addTo(view, this, monitor);
    monitor->setSender([this](const QByteArray &bytes) {
        if (!requirePort())
            return false;
        Write(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        return true;
    });
    setUpPictureOptions();
}

MainWindow::~MainWindow()
{
    delete settings;
    delete ui;
}

void MainWindow::about()
{
    WindowMessages::about(this, tr("Printer Telvar"),
                          tr("The <b>Printer Telvar Version: %1</b> for June 2020 firmware and "
                             "newer.  It features the RC30x printer controllers: connect one over "
                             "a serial line and try each command of its set with the press of a "
                             "button.")
                              .arg(QLatin1String(TELVAR_VERSION)));
}

// Every button script starts here: without an open port nothing may be sent
// and the log pane keeps what the user last saw.
bool MainWindow::requirePort()
{
    // A press that passes starts a heading in the line monitor, named after
    // its button.
    if (auto *button = qobject_cast<QAbstractButton *>(sender()); button && serial->isOpen())
        monitor->recordPress(button->text());
    if (serial->isOpen())
        return true;
    WindowMessages::about(this, tr("Serial Port Connect"),
                          tr("Please configure and connect to the serial port first!"));
    return false;
}

void MainWindow::startLog(const char *title)
{
    ui->editTelvar->clear();
    ui->editTelvar->insertPlainText(QString::fromUtf8(title));
}

void MainWindow::appendLog(const char *line)
{
    ui->editTelvar->appendPlainText(QString::fromUtf8(line));
}

void MainWindow::on_checkBoxHexEnable_released()
{
}

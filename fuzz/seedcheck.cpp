// Runs every seed of the fuzzer through its entry function, once, with the
// normal compiler: the streams that once took the renderer down (or took
// minutes) stay harmless. Usage: tst_fuzz_seeds SEED_DIR

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char *argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s SEED_DIR\n", argv[0]);
        return 2;
    }
    // The application the entry function would otherwise make and keep.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QStringList seeds = dir.entryList(QDir::Files, QDir::Name);
    if (seeds.isEmpty()) {
        fprintf(stderr, "no seeds in %s\n", argv[1]);
        return 1;
    }
    for (const QString &name : seeds) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            fprintf(stderr, "cannot read %s: %s\n", qPrintable(file.fileName()), qPrintable(file.errorString()));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        QElapsedTimer clock;
        clock.start();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        printf("%-40s %7lld bytes %8.1f ms\n", qPrintable(name), qint64(bytes.size()), clock.nsecsElapsed() / 1e6);
    }
    return 0;
}

// telvar-pictures: draws the program's icons and the monochrome demonstration
// pictures, and writes the pictures as C++ byte arrays in the controller's
// raster layout.
//
//   telvar-pictures [--png DIR] [--zoom N] OUTDIR
//
// OUTDIR is the source tree root: icons go to resources/, arrays to
// demos/data/. With --png every monochrome picture is also saved as a PNG
// (enlarged N times) for a person to look at.

#include "icons.h"
#include "pictures.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {

bool saveImage(const QImage &image, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "telvar-pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(path));
    return true;
}

bool saveFile(const QByteArray &contents, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size()) {
        std::fprintf(stderr, "telvar-pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Only off-screen painting is needed; don't require a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvar-pictures"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws the icons and demonstration pictures."));
    parser.addHelpOption();
    QCommandLineOption pngOption(QStringLiteral("png"),
                                 QStringLiteral("Also save each monochrome picture as a PNG in <dir>."),
                                 QStringLiteral("dir"));
    QCommandLineOption zoomOption(QStringLiteral("zoom"),
                                  QStringLiteral("Enlarge the --png pictures <n> times."),
                                  QStringLiteral("n"), QStringLiteral("1"));
    parser.addOption(pngOption);
    parser.addOption(zoomOption);
    parser.addPositionalArgument(QStringLiteral("outdir"), QStringLiteral("Root of the source tree."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QDir out(parser.positionalArguments().first());

    bool ok = true;
    for (const NamedIcon &icon : renderIcons())
        ok = saveImage(icon.image, out.filePath(icon.relativePath)) && ok;

    const std::vector<MonoPicture> pictures = renderPictures();
    if (pictures.empty())
        return 1;
    const bool withPng = parser.isSet(pngOption);
    const int zoom = qMax(1, parser.value(zoomOption).toInt());
    for (const MonoPicture &picture : pictures) {
        ok = saveFile(cppSource(picture), out.filePath(QStringLiteral("demos/data/") + picture.fileName)) && ok;
        if (withPng)
            ok = saveImage(unpackDots(picture, zoom),
                           QDir(parser.value(pngOption)).filePath(picture.arrayName + QStringLiteral(".png")))
                 && ok;
    }
    return ok ? 0 : 1;
}

// The fuzzer's entry for the line decoder and the paper library together:
// whatever the bytes, they go the way the line brings them (in two pieces,
// split where the first byte says, with a pause between them, then the
// silence that ends the job), and every page is written as PNG and read back.
// A crash, a sanitizer report or a page that breaks the rules below is a
// finding. The same function runs the committed seeds in the normal test run
// (seedcheck.cpp), so the seeds cannot take the normal build down either.

#include "render/pagefile.h"
#include "render/printer.h"

#include <QBuffer>
#include <QGuiApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Fonts need a QGuiApplication; one for the whole run, on no display.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "telvar-paperfuzz";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(argc, argv); // lives as long as the process
}

[[noreturn]] void broken(const char *what, const QImage &page)
{
    fprintf(stderr, "telvar-paperfuzz: %s (page %d x %d)\n", what, page.width(), page.height());
    abort();
}

void checkPage(const Paper::Page &page)
{
    const QImage &image = page.image;
    // The roll: 384 dots between strips of 40, or 576 between strips of 32;
    // 16 rows above the paper, at most 2 m of it, and the tail with the cut.
    if (image.format() != QImage::Format_Grayscale8 || (image.width() != 464 && image.width() != 640))
        broken("a page of another format or width", image);
    if (image.height() < 32 || image.height() > 16 + Paper::kMaxPaperRows + 48)
        broken("a page of an impossible height", image);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QString error;
    if (!Paper::writePng(image, &file, &error))
        broken("the PNG writer failed", image);
    // Reading back costs more than writing; pages of up to 15 cm have blank
    // runs enough for every path of the writer.
    if (image.height() <= 1200 && QImage::fromData(file.data(), "PNG") != image)
        broken("the PNG does not read back as the page", image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = size ? qsizetype(data[0] * size / 256) : 0;
    Paper::Printer printer;
    printer.onPage = checkPage;
    printer.feed(bytes.left(split));
    printer.settle();
    printer.feed(bytes.mid(split));
    printer.silence();
    return 0;
}

#ifndef TELVAR_PAPER_RENDERER_H
#define TELVAR_PAPER_RENDERER_H

// Draws the paper that the decoded commands would print. It models the
// controller's line buffer: text collects into the current line, which is
// printed (aligned, at its tallest glyph's height) by a line feed, a feed
// command, a full line or anything that prints graphics.
//
// Units, as the virtual controller reads them: left margin, the end of the
// print area (ESC Q) and tab stops in millimetres of 8 dots; absolute position,
// line spacing, feeds and bar code sizes in dots. The wider language's margin
// (GS L) and print area width (GS W) are in dots. The standard font is 11 x 24
// dots, the small one 8 x 16; characters of the CJK blocks take two cells.

#include "decoder/decoder.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QStringList>

namespace Paper {

// Paper longer than this (2 m) is not drawn; the listing says so.
constexpr int kMaxPaperRows = 16000;

class Renderer
{
public:
    enum class End { None, FullCut, PartialCut, LabelGap };

    Renderer();

    // Draws one command; returns notes for the listing (empty when all went
    // as the command asked).
    QStringList apply(const Line::Command &command);

    // Print width in dots: 384 for 58 mm heads, 576 for 80 mm.
    int printWidth() const { return m_width; }
    void setPrintWidth(int dots);

    bool hasContent() const;
    // The paper of the current job so far, in 8-bit grey (255 white): its
    // first paperRows() rows are printed.
    const QImage &paper() const { return m_paper; }
    int paperRows() const { return m_y; }
    // Prints what is left in the line buffer and returns the paper, with the
    // unprinted side strips of the roll, ending in the cut or gap `end`.
    QImage finishPage(End end);

    // How finishPage() lays the page out around the printed rows: the roll's
    // unprinted strip on either side of the print width, blank paper above
    // the first row, and below the last one up to the page's end.
    int sideStrip() const { return m_width == 576 ? 32 : 40; } // a 58 or 80 mm roll
    static constexpr int kPageTop = 16;
    static constexpr int pageTail(End end) { return end == End::None ? 16 : 48; }

private:
    struct Glyph
    {
        QString text;
        int x = 0, w = 0, h = 0;
        int attributes = 0; // 02 italic, 08 bold, 40 reverse
        int underline = 0;  // dots
        int sx = 1, sy = 1; // character size
        bool small = false;
        int ink = 0;
        QImage image;       // a column image in place of text: black where ink goes
    };
    struct Bitmap
    {
        int widthBytes = 0, rows = 0, align = 0;
        QByteArray data;
    };

    void resetSettings();
    int ink() const;
    int areaLeft() const;
    int areaRight() const;
    int alignOffset(int extent) const;
    bool ensureRows(int rows);
    void printLine(int advance);
    void printLineIfAny();
    void addText(const QString &text);
    void addToLine(Glyph g);
    void columnImage(const Line::Command &c);
    void drawGlyph(QImage &image, const Glyph &g, int x, int bottom);
    void drawBits(const QByteArray &data, int widthBytes, int rows, int mode, int align);
    void drawImage(const QImage &mono, int align);
    void barcode(int symbology, const QByteArray &wire);
    void qr();

    int m_width = 384;
    QImage m_paper;
    int m_y = 0;
    bool m_capped = false;
    bool m_drawn = false;
    QStringList m_notes;

    // Settings, as ESC @ leaves them.
    // ESC ! sets the first four and the size; the wider language's own
    // commands set each on its own.
    bool m_bold = false;
    bool m_doubleStrike = false;
    bool m_italic = false;
    bool m_reverse = false;
    int m_underline = 0; // dots; -1: ESC !'s underline, as thick as the font wants
    int m_sizeX = 1, m_sizeY = 1;
    int m_charSpacing = 0;
    bool m_upsideDown = false;
    bool m_lineUpsideDown = false; // the line takes the setting in force at its start
    bool m_small = false;
    int m_gray = 0;
    int m_align = 0;
    int m_left = 0;      // dots
    int m_rightEnd = 0;  // ESC Q, dots from the paper's left edge; 0: the whole width
    int m_areaWidth = -1;// GS W, dots from the left margin; -1: not set
    int m_spacing = 33;
    QList<int> m_tabs;
    int m_barHeight = 80;
    int m_barWidth = 3;
    int m_barText = 1; // 0 none, 1 below, 3 above and below
    int m_qrModule = 3;
    int m_qrLevel = 1;
    QByteArray m_qrData;
    Bitmap m_graphics; // GS ( L function 112, printed by function 50
    int m_graphicsScale = 0;

    QList<Glyph> m_line;
    int m_x = 0;

    // Stored bitmaps live in the controller's flash: kept across resets.
    QHash<int, Bitmap> m_bitmaps;
};

} // namespace Paper

#endif

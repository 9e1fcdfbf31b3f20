#include "app/mainwindow.h"

#include <initializer_list>
#include <string>

// The Language button prints a sample of every character set the controller
// takes, in the three forms it reads them on the serial line:
//   - single bytes for ASCII and the upper half of Latin-1;
//   - two-byte Unicode code units, high byte first, standing directly in the
//     byte stream for Latin Extended A/B/Additional, Greek and Arabic;
//   - double-byte mode (FS & ... FS .) for GB2312 Chinese, 8-bit form, and
//     JIS X 0208 Japanese, 7-bit form.
// Every sample goes out through printStr, which stops at a 00 byte; none of
// them contains one.

namespace {

// An inclusive run of 16-bit codes; a single code is a run of one.
struct CodeRange
{
    constexpr CodeRange(char16_t code) : first(code), last(code) {}
    constexpr CodeRange(char16_t from, char16_t to) : first(from), last(to) {}
    char16_t first;
    char16_t last;
};

using CodeLine = std::initializer_list<CodeRange>;

// Two bytes per code, high byte first. The low byte goes out with its own
// value even where that is a control code: U+061B is sent as 06 1B, U+0108
// as 01 08. JIS X 0208 cells are sent the same way, row byte first.
std::string codeBytes(CodeLine line)
{
    std::string bytes;
    for (const CodeRange &range : line) {
        for (unsigned code = range.first; code <= range.last; ++code) {
            bytes += static_cast<char>(code >> 8);
            bytes += static_cast<char>(code & 0xFF);
        }
    }
    return bytes;
}

// ASCII, the byte 80, "$@", then Latin-1 A3 A5 A9 AE.
const char latinLine[] = "ABCDabcd1234%&/!)(.-_;" "\x80" "$@" "\xA3\xA5\xA9\xAE";

const char latin1Upper[] = "\xC6\xC3\xC0\xDC\xFC\xA5\xB5\xDE\xD8\xF8\xD1\xF1"
                           "\x80\xC6\xD4\xDF\xF0\xEB\xE7\xFA\xEF\xD9\xFF\xDC";

const CodeLine latinExtendedA = {0x012B, 0x0135, 0x0107, 0x0126, 0x0176, 0x0108,
                                 0x0119, 0x010E, 0x017D, 0x014E, 0x015C, 0x017F,
                                 0x0151, 0x0162, 0x0132, 0x014A, 0x016F};

const CodeLine latinExtendedB = {0x01A0, 0x01AD, 0x01BB, 0x01CE, 0x01CF, 0x01F1,
                                 0x01F9, 0x01FF, 0x0210, 0x0216, 0x0219, 0x021C,
                                 0x021F, 0x01BE, 0x01FC, 0x021B};

const CodeLine latinExtendedAdditional = {0x1EA1, 0x1EC7, 0x1EF3, 0x1EAB, 0x1EDB, 0x1EE9,
                                          0x1EF1, 0x1ED6, 0x1EE7, 0x1EED, 0x1ECF, 0x1EDD,
                                          0x1EBC, 0x1EF9, 0x1ECA, 0x1EB5};

// GB2312, 8-bit form: 飞流直下三千尺，疑是银河落九天
const char chineseVerse[] = "\xB7\xC9\xC1\xF7\xD6\xB1\xCF\xC2\xC8\xFD\xC7\xA7\xB3\xDF\xA3"
                            "\xAC\xD2\xC9\xCA\xC7\xD2\xF8\xBA\xD3\xC2\xE4\xBE\xC5\xCC\xEC";

// JIS X 0208, 7-bit form: 大原や蝶の出て舞う朧月
const char japaneseVerse[] = "\x42\x67\x38\x36\x24\x64\x44\x33\x24\x4E\x3D"
                             "\x50\x24\x46\x49\x71\x24\x26\x5B\x30\x37\x6E";

// JIS X 0208 row 4, all 83 hiragana from ぁ to ん.
const CodeLine hiraganaLines[] = {
    {{0x2421, 0x242F}}, {{0x2430, 0x243F}}, {{0x2440, 0x244F}},
    {{0x2450, 0x245F}}, {{0x2460, 0x246F}}, {{0x2470, 0x2473}},
};

// JIS X 0208 row 5. The first five lines stop one cell short of the end of
// their sixteen (cells 2F, 3F, 4F, 5F and 6F are left out).
const CodeLine katakanaLines[] = {
    {{0x2521, 0x252E}}, {{0x2530, 0x253E}}, {{0x2540, 0x254E}},
    {{0x2550, 0x255E}}, {{0x2560, 0x256E}}, {{0x2570, 0x2576}},
};

const CodeLine greekLines[] = {
    {{0x0374, 0x0375}, {0x037A, 0x037E}},
    {{0x0384, 0x038A}, 0x038C, {0x038E, 0x038F}},
    {{0x0390, 0x039F}},
    {0x03A0, 0x03A1, {0x03A3, 0x03AF}},
    {{0x03B0, 0x03BF}},
    {{0x03C0, 0x03CE}},
};

const CodeLine arabicLines[] = {
    {0x060C, 0x061B, 0x061F},
    {{0x0621, 0x062F}},
    {{0x0630, 0x063A}},
    {{0x0640, 0x064F}},
    {{0x0650, 0x0658}},
    {{0x0660, 0x066F}},
    {{0x0671, 0x067F}},
    {{0x0680, 0x068F}},
    {{0x0690, 0x069F}},
    {{0x06A0, 0x06AF}},
    {{0x06B0, 0x06BF}},
    {{0x06C0, 0x06CF}},
    {{0x06D0, 0x06DF}},
    {{0x06E0, 0x06EF}},
    {{0x06F0, 0x06FF}},
};

const char explanation[] =
    "The Controller works with Unicode however basic Latin and Latin-1 can be send as single "
    "byte character\n"
    " all other need to be sent as Unicode. Other DoubleByte languages are also supported e.g. "
    "Chinese, Japanese.\n"
    "Here is the range:\n"
    "Basic Latin and Latin-1 in range of 0x00h-0xFFh can be send as single byte\n"
    "Unicode:\n"
    "(unicode >=  0x0020UL && unicode <= 0x007FUL) ||  basic latin\n"
    "(unicode >=  0x00A0UL && unicode <= 0x017FUL) ||  part of latin1 & latin extended A\n"
    "(unicode >=  0x01A0UL && unicode <= 0x01CFUL) ||  part of Latin extended B\n"
    "(unicode >=  0x01F0UL && unicode <= 0x01FFUL) ||  part of Latin extended B\n"
    "(unicode >=  0x0210UL && unicode <= 0x021FUL) ||  part of Latin extended B\n"
    "(unicode >=\t 0x1EA0UL && unicode <= 0x1EF9UL) ||  part of Latin Extended Additional\n"
    "\n"
    "Greek and Arabic requires firmware April 2020 or newer\n"
    "Greek language support range is:\n"
    "[0374h-0375h 037Ah-037Eh 0384h-038Ah 038Ch 038Eh-03A1h 03A3h-03CEh]\n"
    "Arabic language support range is:\n"
    "[060Ch 061Bh 061F 0621h-063Ah 0640h-0655h 0660h-066Fh 0671h-06EDh 06F0h-06FEh]\n";

} // namespace

// Unlike the other scripts, this one writes each log line just before the
// part of the printout it announces.
void MainWindow::on_pushButtonLanguage_released()
{
    if (!requirePort())
        return;
    startLog("Printing languages");
    appendLog(explanation);

    const auto section = [this](const char *heading, const char *sample) {
        printStr(heading);
        printLF();
        printStr(sample);
        printLF();
        printLF();
    };
    // Greek and Arabic: each line on a fresh line, a blank line after all.
    const auto codeLines = [this](const auto &lines) {
        for (const CodeLine &line : lines) {
            printLF();
            printStr(codeBytes(line).c_str());
        }
        printLF();
        printLF();
    };

    printerSoftInit();
    printLF();
    section("[00h-7Fh]", latinLine);
    section("[A0h-FFh]", latin1Upper);
    section("[100h-17Fh]", codeBytes(latinExtendedA).c_str());
    section("[1A0h-1CFh 1F0h-1FFh 210h-21Fh]", codeBytes(latinExtendedB).c_str());
    section("[1EA0h-1EF9h]", codeBytes(latinExtendedAdditional).c_str());

    appendLog("Setting Font to Small");
    printStr("[Setting Small Font]");
    printLF();
    setFontMode(0x01);
    printStr(latinLine);
    printLF();
    printLF();

    appendLog("Setting Font to Standard");
    setFontMode(0x02);
    section("[Setting Standard Font]", latinLine);

    appendLog("Printing DoubleByte Language");
    appendLog("Chinese");
    printStr("[DoubleByte - Chinese]");
    printLF();
    setDbMode();
    printStr(chineseVerse);
    printLF();
    printLF();
    cancelDbMode();

    appendLog("Japanese - Hiragana");
    printStr("[DoubleByte - Hiragana]");
    printLF();
    setDbMode();
    for (const CodeLine &line : hiraganaLines) {
        printStr(codeBytes(line).c_str());
        printLF();
    }
    printLF();
    cancelDbMode();

    appendLog("Japanese - Katakana");
    printStr("[DoubleByte - Katakana]");
    printLF();
    setDbMode();
    // The last katakana line gets its feeds only after the mode is cancelled.
    bool firstLine = true;
    for (const CodeLine &line : katakanaLines) {
        if (!firstLine)
            printLF();
        firstLine = false;
        printStr(codeBytes(line).c_str());
    }
    cancelDbMode();
    printLF();
    printLF();

    setDbMode();
    printStr(japaneseVerse);
    cancelDbMode();
    printLF();
    printLF();

    appendLog("Latin Language");
    section("[Latin Language]", latinLine);

    appendLog("Greek Language");
    printStr("[Greek Language]\n");
    printStr("[Firmware 04/2020 or newer]\n");
    printStr("[0374h-0375h 037Ah-037Eh]\n");
    printStr("[0384h-038Ah 038Ch]\n");
    printStr("[038Eh-03A1h 03A3h-03CEh]\n");
    codeLines(greekLines);

    appendLog("Arabic Language");
    printStr("[Arabic Language]\n");
    printStr("[Firmware 04/2020 or newer]\n");
    printStr("[060Ch 061Bh 061F]\n");
    printStr("[0621h-063Ah]\n");
    printStr("[0640h-0655h]\n");
    printStr("[0660h-066Fh]\n");
    printStr("[0671h-06EDh]\n");
    printStr("[06F0h-06FEh]\n");
    codeLines(arabicLines);
}

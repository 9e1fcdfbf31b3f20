#include "render/barcodedata.h"

namespace Paper {

QByteArray code128Characters(const QByteArray &data, QString *error, int *functions)
{
    if (functions)
        *functions = 0;
    if (data.size() < 2 || data.at(0) != '{' || data.at(1) < 'A' || data.at(1) > 'C')
        return data;
    char set = data.at(1);
    QByteArray out;
    for (qsizetype i = 2; i < data.size(); ++i) {
        const uchar b = uchar(data.at(i));
        if (b == '{') {
            if (i + 1 >= data.size()) {
                *error = QStringLiteral("a { at the end of the data");
                return QByteArray();
            }
            const char pair = data.at(++i);
            switch (pair) {
            case 'A':
            case 'B':
            case 'C': set = pair; break;
            case '{': out.append('{'); break;
            case 'S': break; // one character of the other set: the byte says which
            case '1':
            case '2':
            case '3':
            case '4':
                if (functions)
                    ++*functions;
                break;
            default:
                *error = QStringLiteral("{%1 is no code set or function").arg(QChar(pair));
                return QByteArray();
            }
            continue;
        }
        if (set == 'C') {
            if (b > 99) {
                *error = QStringLiteral("byte %1 in code set C (00 to 99)").arg(b);
                return QByteArray();
            }
            out.append(char('0' + b / 10));
            out.append(char('0' + b % 10));
        } else {
            out.append(char(b));
        }
    }
    return out;
}

QByteArray upcaToUpce(const QByteArray &digits)
{
    if (digits.size() != 11 && digits.size() != 12)
        return QByteArray();
    for (char d : digits)
        if (d < '0' || d > '9')
            return QByteArray();
    const char ns = digits.at(0);
    if (ns != '0' && ns != '1')
        return QByteArray();
    const QByteArray m = digits.mid(1, 5), p = digits.mid(6, 5);
    QByteArray six;
    // Manufacturer codes ending in 000, 100 or 200 keep three product digits;
    // shorter zero runs keep fewer; the last digit says which case it was.
    if ((m.endsWith("000") || m.endsWith("100") || m.endsWith("200")) && p.startsWith("00"))
        six = m.left(2) + p.mid(2, 3) + m.at(2);
    else if (m.endsWith("00") && p.startsWith("000"))
        six = m.left(3) + p.mid(3, 2) + '3';
    else if (m.endsWith('0') && p.startsWith("0000"))
        six = m.left(4) + p.at(4) + '4';
    else if (p.startsWith("0000") && p.at(4) >= '5')
        six = m + p.at(4);
    else
        return QByteArray();
    return ns + six + digits.mid(11);
}

} // namespace Paper

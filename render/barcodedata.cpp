#include "render/barcodedata.h"

namespace Paper {

namespace {

// The application identifiers of the GS1 General Specifications: a run of
// identifiers of `digits` digits from `first` to `last`, their data digits
// only ('N') or of the GS1 character set ('X'), from `min` to `max`
// characters long; min == max is a fixed length, which needs no FNC1 after
// it. Identifiers whose data is a fixed number and a variable part
// (391n, 703n, 8003, ...) count as variable.
struct Identifier
{
    int first, last, digits;
    char set;
    int min, max;
};

const Identifier kIdentifiers[] = {
    {0, 0, 2, 'N', 18, 18},         // SSCC
    {1, 2, 2, 'N', 14, 14},         // GTIN, GTIN of contained trade items
    {10, 10, 2, 'X', 1, 20},        // batch or lot
    {11, 13, 2, 'N', 6, 6},         // production, due and packaging dates
    {15, 17, 2, 'N', 6, 6},         // best before, sell by, expiry dates
    {20, 20, 2, 'N', 2, 2},         // variant
    {21, 22, 2, 'X', 1, 20},        // serial number, consumer product variant
    {235, 235, 3, 'X', 1, 28},      // third-party serial extension
    {240, 241, 3, 'X', 1, 30},      // additional product id, customer part number
    {242, 242, 3, 'N', 1, 6},       // made-to-order variation
    {243, 243, 3, 'X', 1, 20},      // packaging component
    {250, 251, 3, 'X', 1, 30},      // secondary serial, reference to source entity
    {253, 253, 3, 'X', 13, 30},     // global document type identifier
    {254, 254, 3, 'X', 1, 20},      // GLN extension
    {255, 255, 3, 'N', 13, 25},     // global coupon number
    {30, 30, 2, 'N', 1, 8},         // variable count
    {3100, 3169, 4, 'N', 6, 6},     // trade measures, metric
    {3200, 3299, 4, 'N', 6, 6},     // trade measures, imperial
    {3300, 3379, 4, 'N', 6, 6},     // logistic measures, metric
    {3400, 3499, 4, 'N', 6, 6},     // logistic measures, imperial
    {3500, 3579, 4, 'N', 6, 6},     // areas, net weight and volume in ounces
    {3600, 3699, 4, 'N', 6, 6},     // volumes
    {37, 37, 2, 'N', 1, 8},         // count of trade items
    {3900, 3909, 4, 'N', 1, 15},    // amount payable, local currency
    {3910, 3919, 4, 'N', 4, 18},    // amount payable with ISO currency code
    {3920, 3929, 4, 'N', 1, 15},    // amount payable for a variable measure item
    {3930, 3939, 4, 'N', 4, 18},    // the same with ISO currency code
    {3940, 3949, 4, 'N', 4, 4},     // percentage discount of a coupon
    {3950, 3959, 4, 'N', 6, 6},     // amount payable per unit of measure
    {400, 401, 3, 'X', 1, 30},      // customer's order number, consignment number
    {402, 402, 3, 'N', 17, 17},     // shipment identification number
    {403, 403, 3, 'X', 1, 30},      // routing code
    {410, 417, 3, 'N', 13, 13},     // global location numbers
    {420, 420, 3, 'X', 1, 20},      // ship-to postal code
    {421, 421, 3, 'X', 4, 12},      // ship-to postal code with ISO country code
    {422, 422, 3, 'N', 3, 3},       // country of origin
    {423, 423, 3, 'N', 3, 15},      // countries of initial processing
    {424, 424, 3, 'N', 3, 3},       // country of processing
    {425, 425, 3, 'N', 3, 15},      // countries of disassembly
    {426, 426, 3, 'N', 3, 3},       // country of full process chain
    {427, 427, 3, 'X', 1, 3},       // country subdivision of origin
    {4300, 4301, 4, 'X', 1, 35},    // ship-to company and contact
    {4302, 4306, 4, 'X', 1, 70},    // ship-to address, suburb, locality, region
    {4307, 4307, 4, 'X', 2, 2},     // ship-to country code
    {4308, 4308, 4, 'X', 1, 30},    // ship-to telephone
    {4309, 4309, 4, 'N', 20, 20},   // ship-to geolocation
    {4310, 4311, 4, 'X', 1, 35},    // return-to company and contact
    {4312, 4316, 4, 'X', 1, 70},    // return-to address, suburb, locality, region
    {4317, 4317, 4, 'X', 2, 2},     // return-to country code
    {4318, 4318, 4, 'X', 1, 20},    // return-to postal code
    {4319, 4319, 4, 'X', 1, 30},    // return-to telephone
    {4320, 4320, 4, 'X', 1, 35},    // service code description
    {4321, 4323, 4, 'N', 1, 1},     // dangerous goods, authority to leave, signature flags
    {4324, 4325, 4, 'N', 10, 10},   // not before, not after delivery date and time
    {4326, 4326, 4, 'N', 6, 6},     // release date
    {7001, 7001, 4, 'N', 13, 13},   // NATO stock number
    {7002, 7002, 4, 'X', 1, 30},    // meat carcasses and cuts classification
    {7003, 7003, 4, 'N', 10, 10},   // expiration date and time
    {7004, 7004, 4, 'N', 1, 4},     // active potency
    {7005, 7005, 4, 'X', 1, 12},    // catch area
    {7006, 7006, 4, 'N', 6, 6},     // first freeze date
    {7007, 7007, 4, 'N', 6, 12},    // harvest date
    {7008, 7008, 4, 'X', 1, 3},     // species for fishery purposes
    {7009, 7009, 4, 'X', 1, 10},    // fishing gear type
    {7010, 7010, 4, 'X', 1, 2},     // production method
    {7011, 7011, 4, 'N', 6, 10},    // test by date
    {7020, 7022, 4, 'X', 1, 20},    // refurbishment lot, functional status, revision status
    {7023, 7023, 4, 'X', 1, 30},    // global individual asset identifier of an assembly
    {7030, 7039, 4, 'X', 4, 30},    // approval number of processor with ISO country code
    {7040, 7040, 4, 'X', 4, 4},     // GS1 UIC with extension and importer index
    {710, 715, 3, 'X', 1, 20},      // national healthcare reimbursement numbers
    {7240, 7240, 4, 'X', 1, 20},    // protocol id
    {8001, 8001, 4, 'N', 14, 14},   // roll products
    {8002, 8002, 4, 'X', 1, 20},    // cellular mobile telephone identifier
    {8003, 8003, 4, 'X', 14, 30},   // global returnable asset identifier
    {8004, 8004, 4, 'X', 1, 30},    // global individual asset identifier
    {8005, 8005, 4, 'N', 6, 6},     // price per unit of measure
    {8006, 8006, 4, 'N', 18, 18},   // identification of an individual trade item piece
    {8007, 8007, 4, 'X', 1, 34},    // international bank account number
    {8008, 8008, 4, 'N', 8, 12},    // date and time of production
    {8009, 8009, 4, 'X', 1, 50},    // optically readable sensor indicator
    {8010, 8010, 4, 'X', 1, 30},    // component or part identifier
    {8011, 8011, 4, 'N', 1, 12},    // component or part identifier serial number
    {8012, 8012, 4, 'X', 1, 20},    // software version
    {8013, 8013, 4, 'X', 1, 25},    // global model number
    {8017, 8018, 4, 'N', 18, 18},   // global service relation numbers
    {8019, 8019, 4, 'N', 1, 10},    // service relation instance number
    {8020, 8020, 4, 'X', 1, 25},    // payment slip reference number
    {8026, 8026, 4, 'N', 18, 18},   // identification of pieces of a trade item contained
    {8110, 8110, 4, 'X', 1, 70},    // coupon code identification, North America
    {8111, 8111, 4, 'N', 4, 4},     // loyalty points of a coupon
    {8112, 8112, 4, 'X', 1, 70},    // paperless coupon code identification, North America
    {8200, 8200, 4, 'X', 1, 70},    // extended packaging URL
    {90, 90, 2, 'X', 1, 30},        // information agreed between trading partners
    {91, 99, 2, 'X', 1, 90},        // company internal information
};

// The identifier that `data` begins with at `at`, or null.
const Identifier *identifierAt(const QByteArray &data, qsizetype at)
{
    for (int digits = 2; digits <= 4; ++digits) {
        if (at + digits > data.size())
            return nullptr;
        int number = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            if (data.at(i) < '0' || data.at(i) > '9')
                return nullptr;
            number = number * 10 + (data.at(i) - '0');
        }
        for (const Identifier &id : kIdentifiers)
            if (id.digits == digits && number >= id.first && number <= id.last)
                return &id;
    }
    return nullptr;
}

// The GS1 character set of alphanumeric data ("CSET 82").
bool isGs1Character(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
        || (c && QByteArrayView("!\"%&'()*+,-./:;<=>?_").contains(c));
}

} // namespace

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

QByteArray gs1Bracketed(const QByteArray &data, QString *error)
{
    // FNC1 as receipt software writes it: "{1" or the GS byte.
    auto fnc1At = [&data](qsizetype at) {
        if (at < data.size() && data.at(at) == '\x1d')
            return 1;
        return at + 1 < data.size() && data.at(at) == '{' && data.at(at + 1) == '1' ? 2 : 0;
    };
    auto fail = [error](const QString &why) {
        *error = QStringLiteral("GS1-128 data: ") + why;
        return QByteArray();
    };
    QByteArray out;
    qsizetype at = fnc1At(0);
    if (at >= data.size())
        return fail(QStringLiteral("no application identifier"));
    while (at < data.size()) {
        const Identifier *id = identifierAt(data, at);
        if (!id)
            return fail(QStringLiteral("no application identifier at \"%1\"")
                            .arg(QString::fromLatin1(data.mid(at, 8))));
        const QByteArray ai = data.mid(at, id->digits);
        at += id->digits;
        // A fixed length takes its characters, a variable one runs to an FNC1.
        qsizetype end = at;
        while (end < data.size() && !fnc1At(end) && (id->min != id->max || end - at < id->max))
            ++end;
        const QByteArray value = data.mid(at, end - at);
        const QString name = QStringLiteral("(%1)").arg(QString::fromLatin1(ai));
        const QString came = QStringLiteral(", %1 came").arg(value.size());
        if (value.size() < id->min && id->min == id->max)
            return fail(QStringLiteral("%1 takes %2 characters").arg(name).arg(id->min) + came);
        if (value.size() < id->min)
            return fail(QStringLiteral("%1 takes %2 to %3 characters").arg(name).arg(id->min).arg(id->max) + came);
        if (value.size() > id->max)
            return fail(QStringLiteral("%1 takes at most %2 characters").arg(name).arg(id->max) + came);
        for (char c : value)
            if (id->set == 'N' ? (c < '0' || c > '9') : !isGs1Character(c))
                return fail(QStringLiteral("%1 takes %2, not \"%3\"")
                                .arg(name, id->set == 'N' ? QStringLiteral("digits only")
                                                          : QStringLiteral("letters, digits and GS1 punctuation"),
                                     QString::fromLatin1(value)));
        out += '[' + ai + ']' + value;
        at = end + fnc1At(end);
    }
    return out;
}

} // namespace Paper

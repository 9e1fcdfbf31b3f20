#include "runner/judge.h"

#include "monitor/lineformat.h"

namespace Runner {

QString replyPreview(const QByteArray &reply, int bytes)
{
    if (reply.isEmpty())
        return QString();
    const QByteArray head = reply.left(bytes);
    QString preview = LineFormat::hexList(head);
    if (reply.size() > bytes)
        preview += QStringLiteral(" ...");
    return preview + QStringLiteral(" \"%1\"").arg(LineFormat::escaped(head));
}

static QString received(const QByteArray &reply)
{
    if (reply.isEmpty())
        return QStringLiteral("received nothing");
    return QStringLiteral("received %1 byte%2: %3")
        .arg(reply.size())
        .arg(reply.size() == 1 ? QString() : QStringLiteral("s"))
        .arg(replyPreview(reply, 32));
}

Judgement judge(const Expectation &expect, const QByteArray &reply, bool final)
{
    Judgement judgement;
    const auto fail = [&] {
        judgement.decision = Judgement::Decision::Fail;
        judgement.message = QStringLiteral("expected %1 within %2 ms; %3")
                                .arg(expect.describe())
                                .arg(expect.withinMs)
                                .arg(received(reply));
        return judgement;
    };
    const auto pass = [&] {
        judgement.decision = Judgement::Decision::Pass;
        return judgement;
    };
    switch (expect.kind) {
    case Expectation::Kind::Nothing:
        return pass();
    case Expectation::Kind::Text:
        if (expect.text.match(QString::fromUtf8(reply)).hasMatch())
            return pass();
        break;
    case Expectation::Kind::Hex:
        if (reply.size() >= expect.hex.size()) {
            for (qsizetype i = 0; i < expect.hex.size(); ++i) {
                if (expect.hexCare.at(i) && reply.at(i) != expect.hex.at(i))
                    return fail();
            }
            return pass();
        }
        break;
    case Expectation::Kind::Bits:
        if (!reply.isEmpty())
            return (uchar(reply.at(0)) & expect.mask) == expect.value ? pass() : fail();
        break;
    case Expectation::Kind::Count:
        if (final)
            return reply.size() == expect.count ? pass() : fail();
        break;
    case Expectation::Kind::Silence:
        if (final)
            return reply.isEmpty() ? pass() : fail();
        break;
    }
    return final ? fail() : judgement;
}

} // namespace Runner

#include "networkaddress.h"

#include <QRegularExpression>

#include <arpa/inet.h>

namespace Network {

namespace {

// Splits "HOST:PORT" (HOST a name, IPv4 or [IPv6]); `form` is the correct
// form the messages show, `lowest` the smallest port allowed. The messages
// start with what is wrong, the caller puts the name in front.
bool splitHostPort(const QString &text, const QString &form, int lowest, QString *host, quint16 *port,
                   QString *error)
{
    QString hostPart;
    QString portPart;
    bool hasPort = false;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = QStringLiteral("the IPv6 address has no closing bracket; the form is %1").arg(form);
            return false;
        }
        hostPart = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        hasPort = rest.startsWith(QLatin1Char(':'));
        portPart = rest.mid(1);
        if (!rest.isEmpty() && !hasPort) {
            *error = QStringLiteral("\"%1\" after the address; the form is %2").arg(rest, form);
            return false;
        }
        in6_addr parsed;
        if (::inet_pton(AF_INET6, hostPart.toLatin1().constData(), &parsed) != 1) {
            *error = QStringLiteral("\"%1\" is not an IPv6 address").arg(hostPart);
            return false;
        }
    } else {
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        hasPort = colon >= 0;
        hostPart = hasPort ? text.left(colon) : text;
        portPart = hasPort ? text.mid(colon + 1) : QString();
        if (hostPart.contains(QLatin1Char(':'))) {
            *error = QStringLiteral("an IPv6 address goes in brackets, as in %1")
                         .arg(QString(form).replace(QLatin1String("HOST"), QLatin1String("[::1]")));
            return false;
        }
        static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9._-]+$"));
        if (hostPart.isEmpty()) {
            *error = QStringLiteral("no host; the form is %1").arg(form);
            return false;
        }
        if (!hostName.match(hostPart).hasMatch()) {
            *error = QStringLiteral("\"%1\" is not a host name or an address").arg(hostPart);
            return false;
        }
    }
    if (!hasPort || portPart.isEmpty()) {
        *error = QStringLiteral("no port; the form is %1").arg(form);
        return false;
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int number = digits.match(portPart).hasMatch() ? portPart.toInt() : -1;
    if (number < lowest || number > 65535) {
        *error = QStringLiteral("the port \"%1\" is not a number from %2 to 65535").arg(portPart).arg(lowest);
        return false;
    }
    *host = hostPart;
    *port = quint16(number);
    return true;
}

} // namespace

NameKind parsePortName(const QString &name, Address *address, QString *error)
{
    static const QRegularExpression url(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://(.*)$"));
    const QRegularExpressionMatch match = url.match(name);
    if (!match.hasMatch())
        return NameKind::Device;
    const QString scheme = match.captured(1).toLower();
    const auto bad = [&](const QString &why) {
        *error = QStringLiteral("%1: %2").arg(name, why);
        return NameKind::Bad;
    };
    Address a;
    a.name = name;
    if (scheme == QLatin1String("rfc2217"))
        a.kind = Address::Kind::Rfc2217;
    else if (scheme == QLatin1String("socket"))
        a.kind = Address::Kind::Socket;
    else
        return bad(QStringLiteral("unknown scheme \"%1\"; network ports are rfc2217://HOST:PORT or "
                                  "socket://HOST:PORT")
                       .arg(match.captured(1)));

    QString rest = match.captured(2);
    const int question = rest.indexOf(QLatin1Char('?'));
    const QStringList options = question < 0 ? QStringList()
                                             : rest.mid(question + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts);
    if (question >= 0)
        rest.truncate(question);
    for (const QString &option : options) {
        if (a.kind == Address::Kind::Rfc2217 && option == QLatin1String("ign_set_control"))
            a.ignoreSetControl = true;
        else if (a.kind == Address::Kind::Rfc2217)
            return bad(QStringLiteral("unknown option \"%1\"; rfc2217:// takes ign_set_control only").arg(option));
        else
            return bad(QStringLiteral("unknown option \"%1\"; socket:// takes none").arg(option));
    }
    QString why;
    if (!splitHostPort(rest, scheme + QStringLiteral("://HOST:PORT"), 1, &a.host, &a.port, &why))
        return bad(why);
    *address = a;
    return NameKind::Network;
}

bool parseListenAddress(const QString &text, QString *host, quint16 *port, QString *error)
{
    static const QRegularExpression portOnly(QStringLiteral("^[0-9]*$"));
    const QString full = portOnly.match(text).hasMatch() ? QStringLiteral("127.0.0.1:") + text : text;
    QString why;
    if (splitHostPort(full, QStringLiteral("[HOST:]PORT"), 0, host, port, &why))
        return true;
    *error = QStringLiteral("\"%1\": %2").arg(text, why);
    return false;
}

} // namespace Network

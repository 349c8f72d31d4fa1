#include "metadata/QueryCDDBLogic.h"

const QStringList& CddbServerList()
{
    // gnudb is the one answering today; the freedb names are kept for mirrors and local
    // installations that still answer under them.
    static const QStringList servers{
        QStringLiteral("gnudb.gnudb.org"),        QStringLiteral("www.gnudb.org"),
        QStringLiteral("freedb.dbpoweramp.com"),  QStringLiteral("freedb.freedb.org"),
        QStringLiteral("freedb.musicbrainz.org"), QStringLiteral("us.freedb.org"),
        QStringLiteral("de.freedb.org"),          QStringLiteral("uk.freedb.org"),
        QStringLiteral("at.freedb.org"),          QStringLiteral("ca.freedb.org"),
        QStringLiteral("jp.freedb.org"),          QStringLiteral("ru.freedb.org"),
    };
    return servers;
}

QString DefaultCddbScript()
{
    return QStringLiteral("/~cddb/cddb.cgi");
}

TQueryCDDBFields TQueryCDDBFields::FromSettings(const TQueryCDDB& settings)
{
    TQueryCDDBFields f;
    const qsizetype at = CddbServerList().indexOf(settings.Server);
    f.ServerIndex = at < 0 ? 0 : static_cast<int>(at);
    f.ServerText = CddbServerList().at(f.ServerIndex);
    f.Script = settings.Script;
    f.UseProxy = settings.UseProxy;
    f.Address = settings.ProxyAddress;
    f.Port = settings.Port;
    return f;
}

void TQueryCDDBFields::Reset()
{
    ServerIndex = 0;
    ServerText = CddbServerList().front();
    Script = DefaultCddbScript();
    UseProxy = false;
}

void TQueryCDDBFields::Store(TQueryCDDB& settings) const
{
    settings.Server = ServerText;
    settings.Script = Script;
    settings.UseProxy = UseProxy;
    settings.ProxyAddress = Address;
    settings.Port = Port;
}

int ProxyPortNumber(const QString& port)
{
    bool ok = false;
    const int n = port.trimmed().toInt(&ok, 10);
    return ok && n >= 1 && n <= 65535 ? n : 80;
}

QString CddbLookupFailedText(const QString& reason)
{
    return QStringLiteral("CDDB lookup failed: ") + reason;
}

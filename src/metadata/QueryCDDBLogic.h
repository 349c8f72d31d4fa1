#pragma once

#include <QString>
#include <QStringList>

#include "core/Settings.h"

/// The public CDDB servers the query dialog offers; entry 0 is the default Server setting.
const QStringList& CddbServerList();

/// The default query script.
QString DefaultCddbScript();

/// The query dialog's fields, without widgets.
struct TQueryCDDBFields {
    int ServerIndex = 0; ///< entry the server combo selects
    QString ServerText;  ///< the combo's text (typed text may differ from every entry)
    QString Script;
    bool UseProxy = false;
    QString Address;
    QString Port;

    /// On show: the entry equal to Server (exact comparison), else entry 0; the rest as stored.
    static TQueryCDDBFields FromSettings(const TQueryCDDB& settings);
    /// "Default": entry 0, the default script, no proxy; address and port stay.
    void Reset();
    /// "Query": the five fields into the settings, the server as typed.
    void Store(TQueryCDDB& settings) const;
    /// Address and port are editable exactly when the proxy is used.
    bool ProxyFieldsEnabled() const { return UseProxy; }
};

/// The proxy port as a number: the decimal value of Port, 80 when it is none or no port.
int ProxyPortNumber(const QString& port);

/// The status-bar text of a lookup that found no names: "CDDB lookup failed: " and the reason.
QString CddbLookupFailedText(const QString& reason);

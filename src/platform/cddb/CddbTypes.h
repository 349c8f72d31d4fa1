#pragma once

#include <array>
#include <cstdint>

#include <QString>

// Records and codes of the CDDB operations (CDDBSetOption, CDDBQuery, CDDBGetDiskInfo).

/// Option codes of CDDBSetOption; each takes either its text or its number.
namespace CddbOption {
inline constexpr int Server = 0;       ///< text: host name, or host:port
inline constexpr int ProxyAddress = 1; ///< text: the HTTP proxy's host name
inline constexpr int UseProxy = 2;     ///< number: non-zero sends requests through the proxy
inline constexpr int Program = 3;      ///< text: "name version", announced in the hello
inline constexpr int User = 4;         ///< text: the user identity in e-mail form, for the hello
inline constexpr int ProxyPort = 5;    ///< number: the proxy's port, 1..65535
inline constexpr int Script = 6;       ///< text: path of the server's CGI script
inline constexpr int TimeLimit = 8;    ///< number: seconds a whole lookup may take; 0 = default
} // namespace CddbOption

/// Capacity of a query list: matches beyond it are not kept.
inline constexpr int kCddbMaxMatches = 10;

/// One match of a query, handed back to CDDBGetDiskInfo to read its record.
struct CddbMatch {
    QString Category; ///< the server's category ("rock", "misc", ...)
    QString DiscId;   ///< 8 hex digits as the server gave them
    QString Title;    ///< the server's "artist / title" line, for display only
};

/// The caller sets Count to its capacity (at most kCddbMaxMatches); CDDBQuery replaces it
/// with the number of matches filled in.
struct CddbQueryList {
    int32_t Count = kCddbMaxMatches;
    std::array<CddbMatch, kCddbMaxMatches> Matches{};
};

/// What CDDBGetLastError reports after a call returned 0 (or a query found nothing): the
/// server's status code when the server answered (202 no match, 401, 403, 409, 500, ...), or
/// one of these. CDDBGetLastErrorText says the same in words.
namespace CddbError {
inline constexpr int None = 0;
inline constexpr int BadOption = 11;      ///< unknown option code or value out of range
inline constexpr int TocFailed = 12;      ///< the drive's table of contents could not be read
inline constexpr int BadServer = 13;      ///< Server, Script or proxy do not make an address
inline constexpr int Network = 14;        ///< connection refused or broken, HTTP error
inline constexpr int ConnectTimeout = 15; ///< no connection within the connect time-out
inline constexpr int TimeLimit = 16;      ///< the whole lookup took longer than its limit
inline constexpr int Aborted = 17;        ///< stopped through the abort handle
inline constexpr int BadAnswer = 18;      ///< the answer is no CDDB answer
inline constexpr int TooLong = 19;        ///< the answer does not fit the caller's buffer
inline constexpr int HostNotFound = 20;   ///< the server's name does not resolve
inline constexpr int Refused = 21;        ///< the server refused the connection
inline constexpr int Cut = 22;            ///< the connection ended before the answer did
inline constexpr int Http = 23;           ///< the web server answered with an HTTP error status
} // namespace CddbError

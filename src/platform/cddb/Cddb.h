#pragma once

#include <memory>

#include <QString>

#include "platform/cddb/CddbAbort.h"
#include "platform/cddb/CddbTypes.h"

// The CDDB operations under the names the program's code uses. Each thread has its own
// session (TCddbClient): options set on one thread apply to the lookups of that thread only,
// so a lookup that is winding down after a stop cannot disturb the next one.

/// Sets an option of this thread's session (CddbOption codes); 1 on success.
int CDDBSetOption(int code, const QString& text, int number);
/// Looks up the disc in the drive behind handle; 1 on success (list.Count may be 0).
int CDDBQuery(int handle, CddbQueryList& list);
/// Reads a match's record into buffer, refused when it has bufferSize characters or more.
int CDDBGetDiskInfo(const CddbMatch& match, QString& buffer, int bufferSize);
/// Why this thread's last operation failed, or 202 after a query without match (CddbError).
int CDDBGetLastError();
/// The same in words, for the user: "the server refused the connection".
QString CDDBGetLastErrorText();
/// Makes abort end this thread's lookups (pass each new lookup its own handle).
void CDDBSetAbortHandle(std::shared_ptr<TCddbAbort> abort);

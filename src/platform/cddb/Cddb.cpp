#include "platform/cddb/Cddb.h"

#include "platform/cddb/CddbClient.h"

namespace {

TCddbClient& ThreadClient()
{
    thread_local TCddbClient client;
    return client;
}

} // namespace

int CDDBSetOption(int code, const QString& text, int number)
{
    return ThreadClient().SetOption(code, text, number);
}

int CDDBQuery(int handle, CddbQueryList& list)
{
    return ThreadClient().Query(handle, list);
}

int CDDBGetDiskInfo(const CddbMatch& match, QString& buffer, int bufferSize)
{
    return ThreadClient().GetDiskInfo(match, buffer, bufferSize);
}

int CDDBGetLastError()
{
    return ThreadClient().LastError();
}

QString CDDBGetLastErrorText()
{
    return ThreadClient().LastErrorText();
}

void CDDBSetAbortHandle(std::shared_ptr<TCddbAbort> abort)
{
    if (abort)
        ThreadClient().SetAbortHandle(std::move(abort));
}

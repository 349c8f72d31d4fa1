#include "platform/cdaccess/CdAccess.h"

#include <atomic>

#include "platform/cdaccess/LibcdioCdAccess.h"

namespace {

std::atomic<ICdAccess*> g_installed{nullptr};

} // namespace

ICdAccess& CdAccess()
{
    if (ICdAccess* layer = g_installed.load(std::memory_order_acquire))
        return *layer;
    static LibcdioCdAccess real;
    return real;
}

void InstallCdAccess(ICdAccess* layer)
{
    g_installed.store(layer, std::memory_order_release);
}

int GetCDList(DriveList& list)
{
    return CdAccess().GetCDList(list);
}
int GetCDHandle(const HandleRequest& request)
{
    return CdAccess().GetCDHandle(request);
}
int CloseCDHandle(int handle)
{
    return CdAccess().CloseCDHandle(handle);
}
int ModifyCDParms(int handle, int parameter, int value)
{
    return CdAccess().ModifyCDParms(handle, parameter, value);
}
int ReadTOC(int handle, TocRecord& toc)
{
    return CdAccess().ReadTOC(handle, toc);
}
int ReadCDAudioLBA(int handle, AudioReadBuffer& buffer)
{
    return CdAccess().ReadCDAudioLBA(handle, buffer);
}
int GetAspiLibError()
{
    return CdAccess().GetAspiLibError();
}
int HandleDrive(int handle, HandleRequest& request, std::string& device)
{
    return CdAccess().HandleDrive(handle, request, device);
}

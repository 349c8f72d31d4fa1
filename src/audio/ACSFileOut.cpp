#include "audio/ACSFileOut.h"

#include "audio/ACSException.h"
#include "audio/ACSFileStream.h"
#include "core/FileUtil.h"

void TACSFileOut::SetFileName(const QString& name)
{
    if (!Busy())
        fileName_ = name;
}

void TACSFileOut::SetFileMode(TFileOutputMode)
{
    if (!Busy())
        fileMode_ = foRewrite;
}

void TACSFileOut::OpenOutputFile()
{
    if (streamAssigned_)
        return;
    if (fileName_.isEmpty())
        throw EACSException("File name is not assigned.");
    const bool append = fileMode_ != foRewrite && FileExists(fileName_);
    ownedStream_ = TACSFileStream::Open(fileName_, append ? TACSFileStream::Mode::ReadWrite
                                                          : TACSFileStream::Mode::Create);
    stream_ = ownedStream_.get();
}

void TACSFileOut::CloseOutputFile()
{
    if (streamAssigned_)
        return;
    std::unique_ptr<TACSStream> stream = std::move(ownedStream_);
    stream_ = nullptr;
    if (auto* file = dynamic_cast<TACSFileStream*>(stream.get()))
        file->Close();
}

void TACSFileOut::DiscardOutputFile() noexcept
{
    try {
        CloseOutputFile();
    } catch (...) {
    }
}

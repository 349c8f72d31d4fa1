#include "audio/ACSFileOut.h"

#include <unistd.h>

#include <QFile>

#include "audio/ACSConverter.h"
#include "audio/ACSException.h"
#include "audio/ACSFileIn.h"
#include "audio/ACSFileStream.h"
#include "core/FileUtil.h"

namespace {

/// The file at the start of a chain of filters, or an empty name when it reads no named file.
QString SourceFileName(TACSInput* input)
{
    // Bounded: a filter refuses to close a loop, but a chain is never this long either.
    for (int depth = 0; input && depth < 64; ++depth) {
        if (auto* file = dynamic_cast<TACSFileIn*>(input))
            return file->StreamAssigned() ? QString() : file->FileName();
        auto* filter = dynamic_cast<TACSConverter*>(input);
        input = filter ? filter->Input() : nullptr;
    }
    return QString();
}

} // namespace

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
    // Creating the output would truncate the audio still to be read; appending would read
    // what is being written.
    const QString source = SourceFileName(Input());
    if (!source.isEmpty() && SameFile(source, fileName_))
        throw EACSException(
            QStringLiteral("The output file \"%1\" is the input file.").arg(fileName_));
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

void TACSFileOut::DropOutputFile() noexcept
{
    if (outputOpened_)
        ::unlink(QFile::encodeName(FileName()).constData());
    outputOpened_ = false;
}

void TACSFileOut::AbandonPreparedOutput() noexcept
{
    DiscardOutputFile();
    DropOutputFile();
    try {
        if (TACSInput* input = Input())
            input->Flush();
    } catch (...) {
    }
}

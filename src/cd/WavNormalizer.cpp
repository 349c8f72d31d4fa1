#include "cd/WavNormalizer.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cd/RipSupport.h"
#include "core/FileUtil.h"

namespace {

constexpr size_t kBlockBytes = 2048;

/// An fd closed on every path out.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool Close()
    {
        const int f = fd;
        fd = -1;
        return f < 0 || ::close(f) == 0;
    }
};

ssize_t ReadBlock(int fd, uint8_t* buf, size_t size)
{
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += size_t(n);
    }
    return ssize_t(got);
}

} // namespace

void ScaleSamples(uint8_t* data, size_t bytes, float gain)
{
    // The product of a 16-bit sample and a float gain is exact in a double; adding and taking
    // away 1.5 x 2^52 then rounds it to the nearest integer, halves to even, in the default
    // rounding mode (and the loop vectorises, unlike a call to nearbyint).
    const double g = gain;
    constexpr double kRound = 6755399441055744.0;
    const size_t samples = bytes / 2;
    for (size_t i = 0; i < samples; ++i) {
        const auto s = static_cast<int16_t>(uint16_t(data[2 * i]) | uint16_t(data[2 * i + 1]) << 8);
        double v = (double(s) * g + kRound) - kRound;
        v = v > 32767.0 ? 32767.0 : (v < -32768.0 ? -32768.0 : v);
        const auto out = static_cast<uint16_t>(static_cast<int16_t>(v));
        data[2 * i] = uint8_t(out & 0xff);
        data[2 * i + 1] = uint8_t(out >> 8);
    }
}

bool NormalizeWavFile(const QString& path, int32_t percent,
                      const std::function<void(int64_t position, int64_t size)>& progress,
                      int* error, const std::atomic<bool>* stop)
{
    const float gain = float(percent) / 100.0f;
    const QByteArray source = QFile::encodeName(path);
    const QString twinPath = ChangeFileExt(path, QStringLiteral(".nor"));
    const QByteArray twin = QFile::encodeName(twinPath);
    bool twinOurs = false;
    Fd in;
    Fd out;
    // Keeps the first error's code; removes the twin only when this call created it.
    auto fail = [&](int code = errno) {
        if (error != nullptr)
            *error = code != 0 ? code : EIO;
        out.Close();
        if (twinOurs)
            ::unlink(twin.constData());
        return false;
    };

    in.fd = OpenRegularFile(path, O_RDONLY);
    if (in.fd < 0)
        return fail();
    struct stat st {};
    if (::fstat(in.fd, &st) != 0)
        return fail();
    const int64_t size = st.st_size;

    out.fd = OpenRegularFile(twinPath, O_RDWR | O_CREAT);
    if (out.fd < 0)
        return fail();
    if (!LockExclusive(out.fd))
        return fail(EBUSY);
    twinOurs = true;
    if (!EmptyFile(out.fd))
        return fail();

    uint8_t header[kWavHeaderBytes];
    const ssize_t headerBytes = ReadBlock(in.fd, header, sizeof header);
    if (headerBytes < 0 || !WriteAllBytes(out.fd, header, size_t(headerBytes)))
        return fail();
    int64_t position = headerBytes;

    // The file is read and written in batches of 2048-byte blocks; progress is still reported
    // before each block, and once more where the read meets the end of the file.
    constexpr size_t kBatch = 32;
    std::vector<uint8_t> buffer(kBlockBytes * kBatch);
    for (;;) {
        const ssize_t got = ReadBlock(in.fd, buffer.data(), buffer.size());
        if (got < 0)
            return fail();
        for (size_t offset = 0; offset < size_t(got); offset += kBlockBytes) {
            if (stop != nullptr && stop->load(std::memory_order_acquire))
                return fail(ECANCELED);
            if (progress)
                progress(position, size);
            const size_t n = std::min(kBlockBytes, size_t(got) - offset);
            ScaleSamples(buffer.data() + offset, n, gain);
            position += int64_t(n);
        }
        if (got > 0 && !WriteAllBytes(out.fd, buffer.data(), size_t(got)))
            return fail();
        if (size_t(got) < buffer.size()) {
            if (progress)
                progress(position, size);
            break;
        }
    }
    in.Close();
    if (!out.Close())
        return fail();
    // Replaces the WAV in one step, so the track is never missing from the disk.
    if (::rename(twin.constData(), source.constData()) != 0)
        return fail();
    return true;
}

QString NormalizeFailureText(const QString& path, int error)
{
    return path + QStringLiteral(" could not be normalized (") + SystemErrorText(error) +
           QStringLiteral(").");
}

// libcdio-paranoia's headers define short macros (TOC and others): this file stays out of the
// library's unity batches.
#define DO_NOT_WANT_PARANOIA_COMPATIBILITY
#include "cd/ParanoiaReader.h"

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/cdaccess/CdioUtil.h"

namespace {

constexpr int kRetries = 20;

// Paranoia's callback carries no context; each reader counts its own thread's skips.
thread_local int t_skips = 0;

void Callback(long /*position*/, paranoia_cb_mode_t event)
{
    if (event == PARANOIA_CB_SKIP)
        ++t_skips;
}

class TParanoiaReader final : public ISectorReader {
public:
    TParanoiaReader(CdioPtr cdio, cdrom_drive_t* drive, cdrom_paranoia_t* paranoia)
        : cdio_(std::move(cdio)), drive_(drive), paranoia_(paranoia)
    {
    }
    ~TParanoiaReader() override
    {
        cdio_paranoia_free(paranoia_);
        cdio_cddap_close_no_free_cdio(drive_);
    }
    TParanoiaReader(const TParanoiaReader&) = delete;
    TParanoiaReader& operator=(const TParanoiaReader&) = delete;

    bool Read(int32_t lsn, uint32_t count, uint8_t* out) override
    {
        // A seek throws away what paranoia verified ahead: only when the caller jumps.
        if (lsn != next_)
            cdio_paranoia_seek(paranoia_, lsn, SEEK_SET);
        next_ = lsn;
        for (uint32_t i = 0; i < count; ++i) {
            t_skips = 0;
            const int16_t* samples = cdio_paranoia_read_limited(paranoia_, &Callback, kRetries);
            if (samples == nullptr)
                return false;
            if (t_skips > 0)
                ++uncorrected_;
            uint8_t* dst = out + size_t(i) * CDIO_CD_FRAMESIZE_RAW;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(dst, samples, CDIO_CD_FRAMESIZE_RAW);
            } else {
                for (size_t s = 0; s < CDIO_CD_FRAMESIZE_RAW / 2; ++s) {
                    const auto v = static_cast<uint16_t>(samples[s]);
                    dst[2 * s] = uint8_t(v & 0xff);
                    dst[2 * s + 1] = uint8_t(v >> 8);
                }
            }
            ++next_;
        }
        return true;
    }

    int64_t Uncorrected() const override { return uncorrected_; }

private:
    CdioPtr cdio_;
    cdrom_drive_t* drive_;
    cdrom_paranoia_t* paranoia_;
    int32_t next_ = -1;
    int64_t uncorrected_ = 0;
};

} // namespace

std::unique_ptr<ISectorReader> OpenParanoiaReader(const DriveSource& source, int mode,
                                                  RawAudioRead read, RawAudioRead* original)
{
    // A drive object of its own: the handle's is reopened by the UI thread on every TOC read.
    CdioPtr cdio = OpenCdio(source);
    if (!cdio)
        return nullptr;
    cdrom_drive_t* drive = cdio_cddap_identify_cdio(cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
    if (drive == nullptr)
        return nullptr;
    cdio_cddap_verbose_set(drive, CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
    cdrom_paranoia_t* paranoia = nullptr;
    if (cdio_cddap_open(drive) == 0) {
        if (read != nullptr) {
            if (original != nullptr)
                *original = drive->read_audio;
            drive->read_audio = read;
        }
        paranoia = cdio_paranoia_init(drive);
    }
    if (paranoia == nullptr) {
        cdio_cddap_close_no_free_cdio(drive);
        return nullptr;
    }
    // Full mode may skip a sector after its retries rather than retry for ever.
    cdio_paranoia_modeset(paranoia, mode >= 2 ? PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP
                                              : PARANOIA_MODE_OVERLAP);
    return std::make_unique<TParanoiaReader>(std::move(cdio), drive, paranoia);
}

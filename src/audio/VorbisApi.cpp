#include "audio/VorbisApi.h"

#include <array>
#include <initializer_list>
#include <mutex>

#include <dlfcn.h>

namespace {

constexpr std::array<const char*, 4> kFiles = {"libogg.so.0", "libvorbis.so.0",
                                               "libvorbisfile.so.3", "libvorbisenc.so.2"};

struct State {
    std::mutex mutex;
    bool attempted = false;
    std::array<void*, 4> handles{};
    std::array<bool, 4> loaded{};
    int simulateMissing = -1;
    TVorbisApi api;
};

State& GetState()
{
    static State state;
    return state;
}

template <typename Fn> bool Bind(void* handle, const char* name, Fn& slot)
{
    slot = reinterpret_cast<Fn>(dlsym(handle, name));
    return slot != nullptr;
}

#define BIND(handle, fn) Bind(handle, #fn, api.fn)

bool All(std::initializer_list<bool> results)
{
    bool all = true;
    for (bool r : results)
        all = all && r;
    return all;
}

bool BindLibrary(int index, void* h, TVorbisApi& api)
{
    switch (index) {
    case 0:
        return All({BIND(h, ogg_stream_init), BIND(h, ogg_stream_packetin),
                    BIND(h, ogg_stream_flush), BIND(h, ogg_stream_pageout), BIND(h, ogg_page_eos),
                    BIND(h, ogg_stream_clear)});
    case 1:
        return All({BIND(h, vorbis_info_init), BIND(h, vorbis_info_clear),
                    BIND(h, vorbis_comment_init), BIND(h, vorbis_comment_add_tag),
                    BIND(h, vorbis_comment_clear), BIND(h, vorbis_analysis_init),
                    BIND(h, vorbis_block_init), BIND(h, vorbis_analysis_headerout),
                    BIND(h, vorbis_analysis_buffer), BIND(h, vorbis_analysis_wrote),
                    BIND(h, vorbis_analysis_blockout), BIND(h, vorbis_analysis),
                    BIND(h, vorbis_bitrate_addblock), BIND(h, vorbis_bitrate_flushpacket),
                    BIND(h, vorbis_block_clear), BIND(h, vorbis_dsp_clear)});
    case 2:
        return All({BIND(h, ov_open_callbacks), BIND(h, ov_read), BIND(h, ov_clear)});
    default:
        return All({BIND(h, vorbis_encode_init), BIND(h, vorbis_encode_init_vbr),
                    BIND(h, vorbis_encode_setup_managed), BIND(h, vorbis_encode_setup_vbr),
                    BIND(h, vorbis_encode_setup_init), BIND(h, vorbis_encode_ctl)});
    }
}

#undef BIND

bool AllLoaded(const State& s)
{
    for (bool b : s.loaded)
        if (!b)
            return false;
    return true;
}

} // namespace

bool LoadVorbisLibraries()
{
    State& s = GetState();
    std::lock_guard lock(s.mutex);
    if (s.attempted)
        return AllLoaded(s);
    s.attempted = true;
    for (size_t i = 0; i < 4; ++i) {
        if (static_cast<int>(i) == s.simulateMissing)
            continue;
        void* h = dlopen(kFiles[i], RTLD_NOW | RTLD_LOCAL);
        if (!h)
            continue;
        if (!BindLibrary(static_cast<int>(i), h, s.api)) {
            dlclose(h);
            continue;
        }
        s.handles[i] = h;
        s.loaded[i] = true;
    }
    return AllLoaded(s);
}

bool VorbisLibrariesAttempted()
{
    State& s = GetState();
    std::lock_guard lock(s.mutex);
    return s.attempted;
}

bool VorbisLibrariesLoaded()
{
    State& s = GetState();
    std::lock_guard lock(s.mutex);
    return AllLoaded(s);
}

QString VorbisLibraryError()
{
    State& s = GetState();
    std::lock_guard lock(s.mutex);
    for (size_t i = 0; i < 4; ++i) {
        if (!s.loaded[i])
            return QStringLiteral("%1 library could not be loaded.").arg(QLatin1String(kFiles[i]));
    }
    return {};
}

const TVorbisApi& VorbisApi()
{
    return GetState().api;
}

void UnloadVorbisLibraries()
{
    State& s = GetState();
    std::lock_guard lock(s.mutex);
    for (size_t i = 4; i-- > 0;) {
        if (s.handles[i])
            dlclose(s.handles[i]);
        s.handles[i] = nullptr;
        s.loaded[i] = false;
    }
    s.api = TVorbisApi();
    s.attempted = false;
}

void SimulateMissingVorbisLibraryForTests(int index)
{
    State& s = GetState();
    std::lock_guard lock(s.mutex);
    s.simulateMissing = index;
}

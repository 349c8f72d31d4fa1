#pragma once

#include <QString>

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

/// The Ogg and Vorbis libraries, bound at run time with dlopen (the headers give only types).
/// The program calls LoadVorbisLibraries once at start; TVorbisOut loads them on first use when
/// that has not happened. A library counts as loaded when it opens and has every entry point
/// the writer needs, so no call goes through a missing one.
struct TVorbisApi {
    // libogg
    decltype(&::ogg_stream_init) ogg_stream_init = nullptr;
    decltype(&::ogg_stream_packetin) ogg_stream_packetin = nullptr;
    decltype(&::ogg_stream_flush) ogg_stream_flush = nullptr;
    decltype(&::ogg_stream_pageout) ogg_stream_pageout = nullptr;
    decltype(&::ogg_page_eos) ogg_page_eos = nullptr;
    decltype(&::ogg_stream_clear) ogg_stream_clear = nullptr;
    // libvorbis
    decltype(&::vorbis_info_init) vorbis_info_init = nullptr;
    decltype(&::vorbis_info_clear) vorbis_info_clear = nullptr;
    decltype(&::vorbis_comment_init) vorbis_comment_init = nullptr;
    decltype(&::vorbis_comment_add_tag) vorbis_comment_add_tag = nullptr;
    decltype(&::vorbis_comment_clear) vorbis_comment_clear = nullptr;
    decltype(&::vorbis_analysis_init) vorbis_analysis_init = nullptr;
    decltype(&::vorbis_block_init) vorbis_block_init = nullptr;
    decltype(&::vorbis_analysis_headerout) vorbis_analysis_headerout = nullptr;
    decltype(&::vorbis_analysis_buffer) vorbis_analysis_buffer = nullptr;
    decltype(&::vorbis_analysis_wrote) vorbis_analysis_wrote = nullptr;
    decltype(&::vorbis_analysis_blockout) vorbis_analysis_blockout = nullptr;
    decltype(&::vorbis_analysis) vorbis_analysis = nullptr;
    decltype(&::vorbis_bitrate_addblock) vorbis_bitrate_addblock = nullptr;
    decltype(&::vorbis_bitrate_flushpacket) vorbis_bitrate_flushpacket = nullptr;
    decltype(&::vorbis_block_clear) vorbis_block_clear = nullptr;
    decltype(&::vorbis_dsp_clear) vorbis_dsp_clear = nullptr;
    // libvorbisfile: loaded with the others; the writer calls none of it.
    decltype(&::ov_open_callbacks) ov_open_callbacks = nullptr;
    decltype(&::ov_read) ov_read = nullptr;
    decltype(&::ov_clear) ov_clear = nullptr;
    // libvorbisenc
    decltype(&::vorbis_encode_init) vorbis_encode_init = nullptr;
    decltype(&::vorbis_encode_init_vbr) vorbis_encode_init_vbr = nullptr;
    decltype(&::vorbis_encode_setup_managed) vorbis_encode_setup_managed = nullptr;
    decltype(&::vorbis_encode_setup_vbr) vorbis_encode_setup_vbr = nullptr;
    decltype(&::vorbis_encode_setup_init) vorbis_encode_setup_init = nullptr;
    decltype(&::vorbis_encode_ctl) vorbis_encode_ctl = nullptr;
};

/// Loads the four libraries in the order libogg, libvorbis, libvorbisfile, libvorbisenc (once;
/// later calls return the first result). True when all four loaded.
bool LoadVorbisLibraries();
/// Whether LoadVorbisLibraries has run.
bool VorbisLibrariesAttempted();
/// True when all four libraries are loaded.
bool VorbisLibrariesLoaded();
/// "<file> library could not be loaded." for the first library that did not load, in load
/// order; empty when all loaded.
QString VorbisLibraryError();
/// The entry points; valid while the libraries are loaded.
const TVorbisApi& VorbisApi();
/// Releases the libraries. No writer may exist then.
void UnloadVorbisLibraries();

/// Test seam: the next load treats library `index` (0 libogg .. 3 libvorbisenc) as missing;
/// -1 restores normal loading. Call UnloadVorbisLibraries first, then load again.
void SimulateMissingVorbisLibraryForTests(int index);

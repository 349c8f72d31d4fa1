#include "app/SettingsStore.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <vector>

#include <QFile>

#include "core/AppPaths.h"
#include "core/FileUtil.h"
#include "core/Settings.h"
#include "platform/profile/ProfileFile.h"

namespace {

std::atomic<bool> g_autoLookupDefault{true};

// A field of the record, usable on a const or a mutable record.
#define FIELD(path)                                                                                \
    [](auto& o) -> auto&                                                                           \
    {                                                                                              \
        return o.path;                                                                             \
    }

// Every key of options.ini, in file order, with its default. Load and save walk this one table.
struct Key {
    const char* section;
    const char* name;
    std::function<void(TOptionsSetting&, const TProfileFile&)> load;
    std::function<void(const TOptionsSetting&, TProfileFile&)> save;
};

template <typename M> Key IntKey(const char* section, const char* name, M member, int32_t def)
{
    return Key{section, name,
               [=](TOptionsSetting& o, const TProfileFile& f) {
                   member(o) = f.ReadInteger(QLatin1String(section), QLatin1String(name), def);
               },
               [=](const TOptionsSetting& o, TProfileFile& f) {
                   f.WriteInteger(QLatin1String(section), QLatin1String(name), member(o));
               }};
}

template <typename M> Key BoolKey(const char* section, const char* name, M member, bool def)
{
    return Key{section, name,
               [=](TOptionsSetting& o, const TProfileFile& f) {
                   member(o) = f.ReadBool(QLatin1String(section), QLatin1String(name), def);
               },
               [=](const TOptionsSetting& o, TProfileFile& f) {
                   f.WriteBool(QLatin1String(section), QLatin1String(name), member(o));
               }};
}

template <typename M>
Key StringKey(const char* section, const char* name, M member, std::function<QString()> def)
{
    return Key{section, name,
               [=](TOptionsSetting& o, const TProfileFile& f) {
                   member(o) = f.ReadString(QLatin1String(section), QLatin1String(name), def());
               },
               [=](const TOptionsSetting& o, TProfileFile& f) {
                   f.WriteString(QLatin1String(section), QLatin1String(name), member(o));
               }};
}

QString Fixed(const char* text)
{
    return QString::fromLatin1(text);
}

const std::vector<Key>& Keys()
{
    static const std::vector<Key> keys = {
        StringKey("CommonOptions", "OutputFolder", FIELD(CommonOptions.OutputFolder),
                  [] { return DefaultOutputFolder(); }),
        IntKey("CommonOptions", "OutputFormat", FIELD(CommonOptions.OutputFormat), 0),
        BoolKey("CommonOptions", "IsKeepWav", FIELD(CommonOptions.IsKeepWav), false),
        BoolKey("CommonOptions", "IsNormalize", FIELD(CommonOptions.IsNormalize), false),
        IntKey("CommonOptions", "NormalizePercent", FIELD(CommonOptions.NormalizePercent), 95),
        BoolKey("CommonOptions", "EnableRipTime", FIELD(CommonOptions.EnableRipTime), false),
        IntKey("CommonOptions", "RipTime", FIELD(CommonOptions.RipTime), 0),
        BoolKey("Mp3Options", "IsSelectVBR", FIELD(Mp3Options.IsSelectVBR), false),
        BoolKey("Mp3Options", "IsVBRHead", FIELD(Mp3Options.IsVBRHead), false),
        IntKey("Mp3Options", "BitRate", FIELD(Mp3Options.BitRate), 128),
        IntKey("Mp3Options", "MaxBitRate", FIELD(Mp3Options.MaxBitRate), 320),
        IntKey("Mp3Options", "MpegQuality", FIELD(Mp3Options.MpegQuality), 0),
        IntKey("Mp3Options", "VBRQuality", FIELD(Mp3Options.VBRQuality), 4),
        IntKey("Mp3Options", "StereoMode", FIELD(Mp3Options.StereoMode), 1),
        BoolKey("OggOptions", "IsUseCompress", FIELD(OggOptions.IsUseCompress), true),
        IntKey("OggOptions", "CompressPosition", FIELD(OggOptions.CompressPosition), 30),
        IntKey("OggOptions", "MaxBitRate", FIELD(OggOptions.MaxBitRate), 0),
        IntKey("OggOptions", "NomalBitRate", FIELD(OggOptions.NomalBitRate), 0),
        IntKey("OggOptions", "MinBitRate", FIELD(OggOptions.MinBitRate), 0),
        IntKey("WMAOptions", "BitRate", FIELD(WMAOptions.BitRate), 8),
        IntKey("CDOptions", "Index", FIELD(CDOptions.Index), -1),
        BoolKey("CDOptions", "CDDb", FIELD(CDOptions.CDDb), false),
        BoolKey("RecordOptions", "SaveMp3", FIELD(RecordOptions.SaveMp3), false),
        StringKey("QueryCDDB", "Server", FIELD(QueryCDDB.Server),
                  [] { return DefaultCddbServer(); }),
        StringKey("QueryCDDB", "Script", FIELD(QueryCDDB.Script),
                  [] { return Fixed("/~cddb/cddb.cgi"); }),
        BoolKey("QueryCDDB", "UseProxy", FIELD(QueryCDDB.UseProxy), false),
        StringKey("QueryCDDB", "ProxyAddress", FIELD(QueryCDDB.ProxyAddress),
                  [] { return QString(); }),
        StringKey("QueryCDDB", "Port", FIELD(QueryCDDB.Port), [] { return Fixed("80"); }),
        BoolKey("ID3", "Use", FIELD(ID3.Use), false),
        // Beyond the original file: new keys in new sections, so older files read as before.
        StringKey("CommonOptions", "NamePattern", FIELD(CommonOptions.NamePattern),
                  [] { return QString(); }),
        IntKey("CommonOptions", "ParallelEncoders", FIELD(CommonOptions.ParallelEncoders), 0),
        IntKey("FlacOptions", "CompressionLevel", FIELD(FlacOptions.CompressionLevel), 5),
        BoolKey("FlacOptions", "Verify", FIELD(FlacOptions.Verify), true),
        IntKey("OpusOptions", "Bitrate", FIELD(OpusOptions.Bitrate), 160),
        BoolKey("Tags", "Write", FIELD(Tags.Write), true),
        IntKey("CDOptions", "Paranoia", FIELD(CDOptions.Paranoia), 2),
        IntKey("CDOptions", "ReadOffset", FIELD(CDOptions.ReadOffset), 0),
        BoolKey("Tags", "EmbedCover", FIELD(Tags.EmbedCover), true),
        StringKey("MusicBrainz", "Server", FIELD(MusicBrainz.Server),
                  [] { return Fixed("https://musicbrainz.org"); }),
        StringKey("MusicBrainz", "CoverArtServer", FIELD(MusicBrainz.CoverArtServer),
                  [] { return Fixed("https://coverartarchive.org"); }),
        Key{"MusicBrainz", "AutoLookup",
            [](TOptionsSetting& o, const TProfileFile& f) {
                o.MusicBrainz.AutoLookup =
                    f.ReadBool(QStringLiteral("MusicBrainz"), QStringLiteral("AutoLookup"),
                               g_autoLookupDefault.load());
            },
            [](const TOptionsSetting& o, TProfileFile& f) {
                f.WriteBool(QStringLiteral("MusicBrainz"), QStringLiteral("AutoLookup"),
                            o.MusicBrainz.AutoLookup);
            }},
        BoolKey("AccurateRip", "Enabled", FIELD(AccurateRip.Enabled), true),
        StringKey("AccurateRip", "Server", FIELD(AccurateRip.Server),
                  [] { return Fixed("http://www.accuraterip.com"); }),
    };
    return keys;
}

} // namespace

void SetAutoLookupDefaultForTests(bool on)
{
    g_autoLookupDefault = on;
}

QString DefaultCddbServer()
{
    return QStringLiteral("gnudb.gnudb.org");
}

void MigrateOldOptions()
{
    // An installed program once kept options.ini beside cdinfo.dat; it is read from there once,
    // when the configuration folder has none yet. The old file stays where it was.
    const QString now = OptionsFilePath();
    const QString old = ProgramDir() + QStringLiteral("options.ini");
    if (SameFile(now, old) || FileExists(now) || !IsRegularFile(old))
        return;
    QFile::copy(old, now);
}

QString OptionsFilePath()
{
    return ConfigDir() + QStringLiteral("options.ini");
}

void LoadOptions()
{
    MigrateOldOptions();
    const TProfileFile file(OptionsFilePath());
    TOptionsSetting& o = OptionsSetting();
    for (const Key& k : Keys())
        k.load(o, file);
    if (o.OggOptions.CompressPosition < 30)
        o.OggOptions.CompressPosition = 30;
    if (o.OggOptions.CompressPosition > 100)
        o.OggOptions.CompressPosition = 100;
    o.FlacOptions.CompressionLevel = std::clamp(o.FlacOptions.CompressionLevel, 0, 8);
    o.OpusOptions.Bitrate = std::clamp(o.OpusOptions.Bitrate, 6, 512);
    o.CDOptions.Paranoia = std::clamp(o.CDOptions.Paranoia, 0, 2);
    o.CDOptions.ReadOffset = std::clamp(o.CDOptions.ReadOffset, -kMaxReadOffset, kMaxReadOffset);
}

TOptionsSetting DefaultOptions()
{
    const TProfileFile empty{QString()};
    TOptionsSetting o;
    for (const Key& k : Keys())
        k.load(o, empty);
    return o;
}

void SaveOptions()
{
    TProfileFile file(OptionsFilePath());
    const TOptionsSetting& o = OptionsSetting();
    for (const Key& k : Keys())
        k.save(o, file);
    file.FlushOrRaise();
}

#include "metadata/Genres.h"

#include <array>

namespace {

// The list order (position 1..148).
constexpr std::array<const char*, GenreListCount - 1> kListNames{
    "A Cappella", "Acid", "Acid Jazz", "Acid Punk", "Acoustic", "Alt. Rock", "Alternative",
    "Ambient", "Anime", "Avantgarde", "Ballad", "Bass", "Beat", "Bebob", "Big Band",
    "Black Metal", "Bluegrass", "Blues", "Booty Bass", "BritPop", "Cabaret", "Celtic",
    "Chamber Music", "Chanson", "Chorus", "Christian Gangsta", "Christian Rap",
    "Christian Rock", "Classic Rock", "Classical", "Club", "Club-House", "Comedy",
    "Contemporary Christian", "Country", "Crossover", "Cult", "Dance", "Dance Hall",
    "Darkwave", "Death Metal", "Disco", "Dream", "Drum & Base", "Drum Solo", "Duet",
    "Easy Listening", "Electronic", "Ethnic", "Eurodance", "Euro-House", "Euro-Techno",
    "Fast-Fusion", "Folk", "Folk/Rock", "Folklore", "Freestyle", "Funk", "Fusion", "Game",
    "Gangsta Rap", "Goa", "Gospel", "Gothic", "Gothic Rock", "Grunge", "Hard Rock",
    "Hardcore", "Heavy Metal", "Hip-Hop", "House", "Humour", "Indie", "Industrial",
    "Instrumental", "Instrumental Pop", "Instrumental Rock", "Jazz", "Jazz+Funk", "JPop",
    "Jungle", "Latin", "Lo-Fi", "Meditative", "Merengue", "Metal", "Musical",
    "National Folk", "Native American", "Negerpunk", "New Age", "New Wave", "Noise",
    "Oldies", "Opera", "Other", "Polka", "Polsk Punk", "Pop", "Pop/Funk", "Pop-Folk",
    "Porn Groove", "Power Ballad", "Pranks", "Primus", "Progressive Rock", "Psychedelic",
    "Psychedelic Rock", "Punk", "Punk Rock", "R&B", "Rap", "Rave", "Reggae", "Retro",
    "Revival", "Rhythmic Soul", "Rock", "Rock & Roll", "Salsa", "Samba", "Satire",
    "Showtunes", "Ska", "Slow Jam", "Slow Rock", "Sonata", "Soul", "Sound Clip",
    "Soundtrack", "Southern Rock", "Space", "Speech", "Swing", "Symphonic Rock", "Symphony",
    "Synthpop", "Tango", "Techno", "Techno-Industrial", "Terror", "Thrash Metal", "Top 40",
    "Trailer", "Trance", "Tribal", "Trip-Hop", "Vocal"};

// The published ID3v1 numbering (byte 0..147).
constexpr std::array<const char*, GenreByteCount> kByteNames{
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical",
    "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "Alt. Rock",
    "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock",
    "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta Rap", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk",
    "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk/Rock", "National Folk", "Swing", "Fast-Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus",
    "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music",
    "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club",
    "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",
    "Duet", "Punk Rock", "Drum Solo", "A Cappella", "Euro-House", "Dance Hall", "Goa",
    "Drum & Base", "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk",
    "Polsk Punk", "Beat", "Christian Gangsta", "Heavy Metal", "Black Metal", "Crossover",
    "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime",
    "JPop", "Synthpop"};

struct Tables {
    QStringList list;
    std::array<uint8_t, GenreListCount> byteOfPosition{};
    std::array<int, GenreByteCount> positionOfByte{};
};

const Tables& GetTables()
{
    static const Tables tables = [] {
        Tables t;
        t.list.append(QString());
        for (const char* name : kListNames)
            t.list.append(QString::fromLatin1(name));
        t.byteOfPosition.fill(NoGenreByte);
        for (size_t b = 0; b < static_cast<size_t>(GenreByteCount); ++b) {
            const int position = static_cast<int>(t.list.indexOf(QString::fromLatin1(kByteNames[b])));
            t.positionOfByte[b] = position > 0 ? position : 0;
            if (position > 0)
                t.byteOfPosition[static_cast<size_t>(position)] = static_cast<uint8_t>(b);
        }
        return t;
    }();
    return tables;
}

} // namespace

const QStringList& GenreList()
{
    return GetTables().list;
}

QString GenreNameAt(int position)
{
    if (position < 0 || position >= GenreListCount)
        return {};
    return GetTables().list.at(position);
}

uint8_t GenreToByte(int position)
{
    if (position < 1 || position >= GenreListCount)
        return NoGenreByte;
    return GetTables().byteOfPosition[static_cast<size_t>(position)];
}

int ByteToGenre(uint8_t genreByte)
{
    if (genreByte >= GenreByteCount)
        return 0;
    return GetTables().positionOfByte[genreByte];
}

int GenrePositionOf(const QString& name)
{
    return static_cast<int>(GetTables().list.indexOf(name));
}

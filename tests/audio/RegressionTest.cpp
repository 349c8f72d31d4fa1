// Inputs the fuzzers found (tests/fixtures/audio/regress), replayed through the same paths:
// each must end in a clean result or refusal, with a refused append leaving the file as it was.
#include <gtest/gtest.h>

#include <QDir>

#include "AudioTestUtil.h"
#include "audio/ACSException.h"
#include "audio/ACSMemoryStream.h"
#include "audio/RateConverter.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "support/TestSupport.h"

namespace {

std::vector<QString> RegressionInputs()
{
    std::vector<QString> out;
    const QDir dir(FixturesDir() + QStringLiteral("audio/regress"));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        out.push_back(dir.filePath(name));
    return out;
}

} // namespace

TEST(AudioRegression, FuzzFindingsAreRefusedCleanly)
{
    const std::vector<QString> inputs = RegressionInputs();
    ASSERT_FALSE(inputs.empty());
    for (const QString& path : inputs) {
        SCOPED_TRACE(path.toStdString());
        const Bytes data = LoadBytes(path);

        // As the reader fuzzer reads.
        TACSMemoryStream stream(data);
        TWaveIn in;
        in.SetStream(&stream);
        EXPECT_NO_THROW(ReadAll(in));
        TRateConverter rc;
        rc.SetInput(&in);
        rc.SetOutSampleRate(44100);
        EXPECT_NO_THROW(ReadAll(rc, 65536));

        // As the append fuzzer appends.
        const struct {
            TWavType type;
            int rate, channels;
        } jobs[] = {
            {wtPCM, 22050, 2}, {wtPCM, 44100, 2}, {wtDVIADPCM, 22050, 1}, {wtDVIADPCM, 22050, 2}};
        for (const auto& job : jobs) {
            TACSMemoryStream file(data);
            TMemorySource src(Bytes(5000, 0x35), job.rate, job.channels, 16);
            TWaveOut out;
            out.SetStream(&file);
            out.SetFileMode(foAppend);
            out.SetWavType(job.type);
            out.SetInput(&src);
            try {
                out.RunInCallerThread();
            } catch (const EACSException&) {
                EXPECT_EQ(file.Data(), data);
            }
        }
    }
}

TEST(AudioRegression, StereoInputOntoAMonoImaFileWithTinyBlocks)
{
    const Bytes data =
        LoadBytes(FixturesDir() + QStringLiteral("audio/regress/append-mono-ima-stereo-input.bin"));
    TACSMemoryStream file(data);
    TMemorySource src(Bytes(5000, 0x35), 22050, 2, 16);
    TWaveOut out;
    out.SetStream(&file);
    out.SetFileMode(foAppend);
    out.SetInput(&src);
    try {
        out.RunInCallerThread();
        FAIL() << "appended";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Cannot append data in different audio format.");
    }
    EXPECT_EQ(file.Data(), data);
}

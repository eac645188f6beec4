#include "cardtoolrun.h"
#include "common/tempfolder.h"
#include "encoding/cardwork.h"
#include "encoding/encoderbinding.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

// Runs the real hotellock-card against the given settings file.
CardToolRun RunWithIni(const QString &ini, const QStringList &args)
{
    return RunCardTool(QStringList{QStringLiteral("--ini"), ini} + args);
}

QJsonObject ShowJson(const QString &ini)
{
    return RunWithIni(ini, {QStringLiteral("show"), QStringLiteral("--json")}).json();
}

// A blank card read back: its serial and zeros in all eleven fields the
// library fills. The flags and gaps it is not given keep the caller's bytes.
void ExpectBlankCard(const TLock_Make &card, const char *serial)
{
    EXPECT_EQ(MakeRomText(card.CardRom), QLatin1String(serial));
    TLock_Make expected{};
    std::copy(card.CardRom, card.CardRom + 4, expected.CardRom);
    std::memcpy(&expected.OverrideFlag, &card.OverrideFlag,
                offsetof(TLock_Make, CardDataD) - offsetof(TLock_Make, OverrideFlag));
    std::memcpy(expected.Gap2, card.Gap2, sizeof card.Gap2);
    EXPECT_EQ(std::memcmp(&card, &expected, sizeof card), 0);
}

// A fresh settings file in a temp folder and the real virtual encoder,
// initialised with it. The slot is the default card file beside the settings.
class VirtualEncoder : public testing::Test
{
protected:
    void SetUp() override
    {
        ini = folder.write(QStringLiteral("Kandrilox.ini"), "[Config]\nM1CommonDataSector=0\n");
        cardFile = folder.file(QStringLiteral("encoder-card.bin"));
        const QString library = testproc::Program(QStringLiteral("libhotellock.so"));
        ASSERT_TRUE(encoder.Load(library)) << qPrintable(encoder.LoadError());
        encoder.EncodeInit(ini);
    }

    void Place(const char *serial)
    {
        const CardToolRun run =
            RunWithIni(ini, {QStringLiteral("place"), QStringLiteral("--serial"), QLatin1String(serial)});
        ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    }

    // A guest card's worth of data, with a distinct value in every carried field.
    static TLock_Make GuestCard()
    {
        TLock_Make card{};
        for (int i = 0; i < 9; ++i) {
            card.CardRom[i] = static_cast<Word>(0x70 + i);
            card.CardDataB[i] = static_cast<Word>(200 + i);
            card.CardMode[i] = static_cast<Word>(i == 0 ? 0 : 300 + i);
        }
        for (int i = 0; i < 5; ++i) {
            card.CardDataA[i] = static_cast<Word>(100 + i);
            card.CardDataC[i] = static_cast<Word>(-400 - i);
            card.CardDataD[i] = static_cast<Word>(500 + i);
        }
        card.CardWord = -1234;
        card.RoomDoors[0] = 101;
        card.RoomDoors[9] = 0x22;
        card.EnOverride = 1;
        card.LockStartTime = TLockTime{{2024, 5, 20, 14, 0, 0}};
        card.LockEndTime = TLockTime{{2024, 5, 22, 12, 0, 0}};
        return card;
    }

    TempFolder folder;
    QString ini;
    QString cardFile;
    kx::EncoderBinding encoder;
};

TEST_F(VirtualEncoder, ReadWithNoCardGivesCardPlaceFailure)
{
    TLock_Make card{};
    EXPECT_EQ(encoder.ReadCard(card), -1);
    TLock_Make guest = GuestCard();
    EXPECT_EQ(encoder.MakeGuestCard(guest), -1);
    EXPECT_EQ(encoder.ClearCardData(card), -1);
    std::array<Word, 49> block{3};
    EXPECT_EQ(encoder.M1WriteCommonData(block.data()), -1);
    EXPECT_FALSE(QFile::exists(cardFile)); // no call lays a card by itself
}

TEST_F(VirtualEncoder, PlacedCardReadsBlankWithItsSerial)
{
    Place("78563412");
    TLock_Make card;
    std::memset(&card, 0x77, sizeof card);
    ASSERT_EQ(encoder.ReadCard(card), 1);
    EXPECT_EQ(card.CardRom[0], 0x12);
    EXPECT_EQ(card.CardRom[3], 0x78);
    ExpectBlankCard(card, "78563412");
}

TEST_F(VirtualEncoder, GuestCardWrittenThroughCardWorkReadsBackAndShows)
{
    Place("78563412");
    kx::CardWork work(encoder);
    ASSERT_EQ(work.ReadWorkCard(), 1);
    const TLock_Make written = GuestCard();
    work.CardWorkArea = written;
    ASSERT_EQ(work.WriteWorkCard(), 1);

    TLock_Make back{};
    ASSERT_EQ(encoder.ReadCard(back), 1);
    // The serial is the card's own; everything else is what was written.
    EXPECT_EQ(MakeRomText(back.CardRom), QStringLiteral("78563412"));
    TLock_Make expected = written;
    expected.CardRom[0] = 0x12;
    expected.CardRom[1] = 0x34;
    expected.CardRom[2] = 0x56;
    expected.CardRom[3] = 0x78;
    EXPECT_EQ(std::memcmp(&back, &expected, sizeof back), 0);

    const QJsonObject shown = ShowJson(ini);
    EXPECT_EQ(shown.value(QStringLiteral("present")).toBool(), true);
    EXPECT_EQ(shown.value(QStringLiteral("serial")).toString(), QStringLiteral("78563412"));
    EXPECT_EQ(shown.value(QStringLiteral("room")).toInt(), 101);
    EXPECT_EQ(shown.value(QStringLiteral("start")).toString(), QStringLiteral("2024-05-20 14:00"));
    EXPECT_EQ(shown.value(QStringLiteral("end")).toString(), QStringLiteral("2024-05-22 12:00"));
    EXPECT_TRUE(shown.value(QStringLiteral("commonDataSector")).isNull());

    ASSERT_EQ(RunWithIni(ini, {QStringLiteral("remove")}).exitCode, 0);
    EXPECT_EQ(work.ReadWorkCard(), -1);
}

TEST_F(VirtualEncoder, WriteOfALockTimeThatDoesNotExistIsRefusedAndChangesNothing)
{
    Place("00000001");
    const QByteArray before = folder.read(QStringLiteral("encoder-card.bin"));
    TLock_Make card = GuestCard();
    card.LockEndTime = TLockTime{{2024, 2, 30, 12, 0, 0}};
    EXPECT_EQ(encoder.MakeGuestCard(card), -8);
    card = GuestCard();
    card.LockStartTime.w[3] = 24;
    EXPECT_EQ(encoder.MakeGuestCard(card), -8);
    EXPECT_EQ(folder.read(QStringLiteral("encoder-card.bin")), before);
}

TEST_F(VirtualEncoder, ClearMakesTheCardBlankAndKeepsItsSerial)
{
    Place("0A0B0C0D");
    TLock_Make card = GuestCard();
    ASSERT_EQ(encoder.MakeGuestCard(card), 1);
    ASSERT_EQ(encoder.ReadCard(card), 1);
    ASSERT_EQ(encoder.ClearCardData(card), 1);

    TLock_Make blank;
    std::memset(&blank, 0x11, sizeof blank);
    ASSERT_EQ(encoder.ReadCard(blank), 1);
    ExpectBlankCard(blank, "0A0B0C0D");
    const QJsonObject shown = ShowJson(ini);
    EXPECT_TRUE(shown.value(QStringLiteral("start")).isNull());
    EXPECT_TRUE(shown.value(QStringLiteral("end")).isNull());
}

TEST_F(VirtualEncoder, CommonDataWriteRecordsTheSector)
{
    Place("12345678");
    std::array<Word, 49> block{};
    block[0] = 3;
    ASSERT_EQ(encoder.M1WriteCommonData(block.data()), 1);
    EXPECT_EQ(ShowJson(ini).value(QStringLiteral("commonDataSector")).toInt(-1), 3);
    EXPECT_EQ(encoder.M1WriteCommonData(nullptr), -8);
}

TEST_F(VirtualEncoder, DamagedCardImageGivesReadWriteFailure)
{
    Place("12345678");
    const QByteArray good = folder.read(QStringLiteral("encoder-card.bin"));
    // The file holds two copies of the card: one spoilt copy is survived, so both are spoilt.
    QByteArray flipped = good;
    for (const qsizetype at : {qsizetype(20), good.size() / 2 + 20})
        flipped[at] = static_cast<char>(flipped[at] ^ 0x01);
    const QByteArray images[] = {flipped, good.left(good.size() - 1), good + "x",
                                 QByteArray("not a card at all")};
    for (const QByteArray &image : images) {
        folder.write(QStringLiteral("encoder-card.bin"), image);
        TLock_Make card{};
        EXPECT_EQ(encoder.ReadCard(card), -5);
        TLock_Make guest = GuestCard();
        EXPECT_EQ(encoder.MakeGuestCard(guest), -5);
        EXPECT_EQ(encoder.ClearCardData(card), -5);
        EXPECT_EQ(folder.read(QStringLiteral("encoder-card.bin")),
                  image); // left for inspection, not overwritten
        EXPECT_EQ(RunWithIni(ini, {QStringLiteral("show")}).exitCode, 2);
    }
}

TEST_F(VirtualEncoder, CardFileComesFromTheSettingsFile)
{
    folder.write(QStringLiteral("Kandrilox.ini"), "[encoder]\ncardfile=slot/card.img\n");
    encoder.EncodeInit(ini); // the library reads the card file's place here
    QDir(folder.path()).mkdir(QStringLiteral("slot"));
    Place("00000042");
    EXPECT_TRUE(QFile::exists(folder.file(QStringLiteral("slot/card.img"))));
    TLock_Make card{};
    ASSERT_EQ(encoder.ReadCard(card), 1);
    EXPECT_EQ(card.CardRom[0], 0x42);
}

TEST(EncoderLibrary, CallsBeforeEncodeInitGiveMachineConnectionFailure)
{
    // A process loads a library once, so this uses a copy that no other test
    // has initialised.
    TempFolder folder;
    const QString copy = folder.file(QStringLiteral("libhotellock-copy.so"));
    ASSERT_TRUE(QFile::copy(testproc::Program(QStringLiteral("libhotellock.so")), copy));
    kx::EncoderBinding encoder;
    ASSERT_TRUE(encoder.Load(copy)) << qPrintable(encoder.LoadError());
    TLock_Make card{};
    EXPECT_EQ(encoder.ReadCard(card), -2);
    EXPECT_EQ(encoder.MakeGuestCard(card), -2);
    EXPECT_EQ(encoder.ClearCardData(card), -2);
    std::array<Word, 49> block{};
    EXPECT_EQ(encoder.M1WriteCommonData(block.data()), -2);

    // A path that does not fit the 256-byte buffer is refused before the
    // library is called: it stays uninitialised.
    const QString longPath = QLatin1Char('/') + QString(255, QLatin1Char('k'));
    try {
        encoder.EncodeInit(longPath);
        ADD_FAILURE() << "a 256-byte path was accepted";
    } catch (const kx::EncoderError &e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QLatin1String("too long")), -1) << e.what();
    }
    EXPECT_EQ(encoder.ReadCard(card), -2);
    EXPECT_THROW(encoder.EncodeInit(QString()), kx::EncoderError);
    // Bytes count, not characters: 128 two-byte characters do not fit.
    EXPECT_THROW(encoder.EncodeInit(QLatin1Char('/') + QString(128, QChar(0xE9))), kx::EncoderError);
    EXPECT_EQ(encoder.ReadCard(card), -2);

    // 255 bytes still fit.
    encoder.EncodeInit(longPath.left(255));
    EXPECT_EQ(encoder.ReadCard(card), -1);
}

void ExpectUnavailable(kx::EncoderBinding &encoder)
{
    EXPECT_FALSE(encoder.IsLoaded());
    TLock_Make card{};
    EXPECT_EQ(encoder.ReadCard(card), -2);
    EXPECT_EQ(encoder.MakeGuestCard(card), -2);
    EXPECT_EQ(encoder.ClearCardData(card), -2);
    std::array<Word, 49> block{};
    EXPECT_EQ(encoder.M1WriteCommonData(block.data()), -2);
    EXPECT_THROW(encoder.EncodeInit(QStringLiteral("/tmp/Kandrilox.ini")), kx::EncoderError);
}

TEST(EncoderBinding, MissingLibraryIsReportedAndEveryCallGivesUnavailable)
{
    kx::EncoderBinding encoder;
    const QString path = QStringLiteral("/nonexistent/libhotellock.so");
    EXPECT_FALSE(encoder.Load(path));
    EXPECT_NE(encoder.LoadError().indexOf(path), -1) << qPrintable(encoder.LoadError());
    ExpectUnavailable(encoder);
}

TEST(EncoderBinding, LibraryWithoutOneOfTheFiveCallsIsRefused)
{
    kx::EncoderBinding encoder;
    const QString path = QStringLiteral(PARTIAL_ENCODER_PATH);
    EXPECT_FALSE(encoder.Load(path));
    EXPECT_EQ(encoder.LoadError(),
              QStringLiteral("The encoder library %1 has no function M1WriteCommonData").arg(path));
    ExpectUnavailable(encoder);
}

TEST(EncoderBinding, FailedReloadLeavesNoHalfLoadedLibrary)
{
    kx::EncoderBinding encoder;
    ASSERT_TRUE(encoder.Load(testproc::Program(QStringLiteral("libhotellock.so"))));
    EXPECT_FALSE(encoder.Load(QStringLiteral(PARTIAL_ENCODER_PATH)));
    ExpectUnavailable(encoder);
}

TEST(EncoderLibraryPath, DefaultRelativeAndAbsoluteValues)
{
    TempFolder folder;
    const QString ini = folder.file(QStringLiteral("Kandrilox.ini"));
    EXPECT_EQ(kx::EncoderLibraryPath(ini, folder.path()), folder.file(QStringLiteral("libhotellock.so")));

    folder.write(QStringLiteral("Kandrilox.ini"), "[ENCODER]\nlibrary=vendor/libvendor.so\n");
    EXPECT_EQ(kx::EncoderLibraryPath(ini, folder.path()), folder.file(QStringLiteral("vendor/libvendor.so")));

    folder.write(QStringLiteral("Kandrilox.ini"), "[Encoder]\nLibrary=/opt/vendor/libvendor.so\n");
    EXPECT_EQ(kx::EncoderLibraryPath(ini, folder.path()), QStringLiteral("/opt/vendor/libvendor.so"));

    folder.write(QStringLiteral("Kandrilox.ini"), "[Encoder]\nLibrary=\n");
    EXPECT_EQ(kx::EncoderLibraryPath(ini, folder.path()), folder.file(QStringLiteral("libhotellock.so")));
}

} // namespace

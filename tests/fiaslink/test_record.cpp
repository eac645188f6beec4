#include "answers.h"
#include "framer.h"
#include "linklog.h"
#include "record.h"

#include <gtest/gtest.h>

using fias::Framer;
using fias::Record;

TEST(FiasRecord, ParsesFieldsInAnyOrderAndRefusesWhatIsNoRecord)
{
    QByteArray error;
    const std::optional<Record> kr = Record::Parse("KR|WS3|KC1|RN0101|KTN|G#|GNM\xfcller|ZZx|", error);
    ASSERT_TRUE(kr);
    EXPECT_EQ(kr->id(), "KR");
    EXPECT_EQ(kr->Value("RN"), "0101"); // leading zeros are the PMS's room text
    EXPECT_EQ(kr->Value("GN"), "M\xfcller");
    EXPECT_TRUE(kr->Has("G#"));
    EXPECT_EQ(kr->Value("G#"), "");
    EXPECT_FALSE(kr->Has("GA"));
    EXPECT_EQ(kr->Text(), "KR|WS3|KC1|RN0101|KTN|G#|GNM\xfcller|ZZx|");

    const std::pair<QByteArray, bool> cases[] = {
        {"LS", true},
        {"LS|", true},
        {"LA|DA240520|TI143102", true}, // a last field without its '|'
        {"L", false},
        {"", false},
        {"LSX|", false},
        {"KR|K|", false},
        {"KR||", false},
        {"KR|RN1\x01|", false},
        {"KR|RN1\x7f|", false},
    };
    for (const auto &[text, ok] : cases)
        EXPECT_EQ(Record::Parse(text, error).has_value(), ok) << text.toHex(' ').constData();
}

TEST(FiasRecord, FramerCutsAtStxEtxAcrossReadsAndSkipsWhatLiesOutside)
{
    Framer framer;
    Framer::Output out = framer.Feed("xx\x02LS|DA240520|\x03\x02LA|\x03\x02KR|RN1");
    EXPECT_EQ(out.records, (QList<QByteArray>{"LS|DA240520|", "LA|"}));
    EXPECT_EQ(out.dropped, (QList<QByteArray>{"2 bytes outside a record skipped"}));
    out = framer.Feed("01|\x03junk");
    EXPECT_EQ(out.records, (QList<QByteArray>{"KR|RN101|"}));
    EXPECT_EQ(out.dropped, (QList<QByteArray>{"4 bytes outside a record skipped"}));

    out = framer.Feed("\x02KR|RN1\x02KD|RN1|\x03");
    EXPECT_EQ(out.records, (QList<QByteArray>{"KD|RN1|"}));
    EXPECT_EQ(out.dropped, (QList<QByteArray>{"record without ETX skipped"}));

    out = framer.Feed("\x02" + QByteArray(Framer::MaxRecordLength + 1, 'A'));
    out = framer.Feed(QByteArray(10000, 'A') + "\x03\x02LS|\x03");
    EXPECT_EQ(out.records, (QList<QByteArray>{"LS|"}));
    EXPECT_EQ(out.dropped, (QList<QByteArray>{"record longer than 4096 bytes skipped"}));

    out = framer.Feed("\x02" + QByteArray(Framer::MaxRecordLength, 'A') + "\x03");
    EXPECT_EQ(out.records.size(), 1); // exactly the limit is still a record
}

TEST(FiasRecord, LogShowsTheGuestNamesFirstLetterAndNoTrackData)
{
    const Record kr =
        Record("KR").Add("RN", "101").Add("GN", "Li").Add("$1", "t1").Add("$2", "t2").Add("GN", "");
    EXPECT_EQ(fias::MaskedText(kr), "KR|RN101|GNL***|GN|");
    EXPECT_EQ(fias::MaskedText(Record("KZ").Add("GN", "\xc3\xa9mile")), "KZ|GN***|");
}

TEST(FiasAnswers, ResultCodesMapToAnswerStatuses)
{
    const std::pair<int, const char *> cases[] = {
        {0, "OK"}, {1, "RY"},  {11, "BY"}, {18, "NG"},  {2, "UR"},
        {5, "UR"}, {16, "UR"}, {17, "UR"}, {255, "UR"},
    };
    for (const auto &[code, answer] : cases)
        EXPECT_EQ(fias::AnswerStatus(code, 'I'), answer) << code;
    // A duplicate key for a room without a stay is a guest not found; for
    // check-in that code has no meaning of its own.
    EXPECT_EQ(fias::AnswerStatus(19, 'C'), "NG");
    EXPECT_EQ(fias::AnswerStatus(19, 'I'), "UR");
    EXPECT_EQ(fias::AnswerStatus(20, 'S'), "UR");
}

TEST(FiasAnswers, ClearTextsKeepToFortyCharactersAtAWord)
{
    EXPECT_EQ(fias::ClearText(QStringLiteral("The room is occupied")), "The room is occupied");
    EXPECT_EQ(fias::ClearText(QStringLiteral("No card on the encoder: place a card and try again")),
              "No card on the encoder: place a card and");
    EXPECT_EQ(fias::ClearText(QStringLiteral("The encoder's communication port could not be opened")),
              "The encoder's communication port could");
    EXPECT_EQ(fias::ClearText(QString(50, QLatin1Char('x'))).size(), 40);
}

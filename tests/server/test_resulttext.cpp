#include "common/tempfolder.h"

#include "server/resulttext.h"

#include <gtest/gtest.h>

namespace {

const QByteArray Texts = "[2052]\nrlOK=chinese ok\n"
                         "[1033]\n"
                         "rlOK=All done\n"
                         "rlReadWriteError=Read/write error\n"
                         "RLUNKNOWN=Something unknown\n" // keys match in any case
                         "rlroomisoccupied=Room occupied\n"
                         "rlInvalidroomnumber=No such room\n"
                         "rlPassError=\n";

TEST(ResultText, MapsCodesToTheirKeysInSection1033)
{
    TempFolder home;
    home.write("DB/encodemsg.INI", Texts); // the name matches in any letter case
    const kx::ProgramFolder folder(home.path());

    const std::pair<qint16, const char *> cases[] = {
        {0, "All done"},
        {5, "Read/write error"},
        {17, "Room occupied"},
        {18, "No such room"},
        {16, "Something unknown"},
        {19, "Something unknown"},
        {-1, "Something unknown"},
        {32767, "Something unknown"},
        {14, ""}, // present but empty
        {3, ""},  // key missing
    };
    for (const auto &[code, text] : cases)
        EXPECT_EQ(kx::GetResultText(folder, code), QString::fromUtf8(text)) << code;
}

TEST(ResultText, CodesOfTheKeyRequestsHaveKeysOnlyForThem)
{
    using kx::ResultScope;
    EXPECT_EQ(kx::ResultKey(19, ResultScope::KeyRequests), "rlroomnotoccupied");
    EXPECT_EQ(kx::ResultKey(20, ResultScope::KeyRequests), "rlInvalidkeyperiod");
    EXPECT_EQ(kx::ResultKey(18, ResultScope::KeyRequests), "rlInvalidroomnumber");
    EXPECT_EQ(kx::ResultKey(21, ResultScope::KeyRequests), "rlUnKnown");
    EXPECT_EQ(kx::ResultKey(19), "rlUnKnown");
    EXPECT_EQ(kx::ResultKey(20, ResultScope::StayRequests), "rlUnKnown");

    // The shipped file has a text for every key.
    const kx::ProgramFolder shipped(QStringLiteral(KANDRILOX_PROGRAM_FILES));
    for (qint16 code = 0; code <= 20; ++code)
        EXPECT_FALSE(kx::GetResultText(shipped, code, ResultScope::KeyRequests).isEmpty()) << code;
}

TEST(ResultText, ReadsTheFileAfreshOnEveryCall)
{
    TempFolder home;
    home.write("Db/EncodeMsg.ini", "[1033]\nrlOK=first\n");
    const kx::ProgramFolder folder(home.path());
    EXPECT_EQ(kx::GetResultText(folder, 0), "first");
    home.write("Db/EncodeMsg.ini", "[1033]\nrlOK=second\n");
    EXPECT_EQ(kx::GetResultText(folder, 0), "second");
}

TEST(ResultText, OtherLanguagesOrNoFileGiveEmptyTexts)
{
    TempFolder other;
    other.write("Db/EncodeMsg.ini", "[2052]\nrlOK=ok\nrlUnKnown=unknown\n");
    TempFolder none;
    for (const TempFolder *home : {&other, &none}) {
        const kx::ProgramFolder folder(home->path());
        for (qint16 code : {0, 5, 16, 17, 18, 99})
            EXPECT_EQ(kx::GetResultText(folder, code), QString()) << code;
    }
}

TEST(ResultText, ShippedFileHasATextForEveryCode)
{
    const kx::ProgramFolder shipped(QStringLiteral(KANDRILOX_PROGRAM_FILES));
    QStringList texts;
    for (qint16 code = 0; code <= 18; ++code) {
        const QString text = kx::GetResultText(shipped, code);
        EXPECT_FALSE(text.isEmpty()) << "code " << code << " key " << kx::ResultKey(code).toStdString();
        texts << text;
    }
    EXPECT_EQ(texts.removeDuplicates(), 0) << "two codes share a text";
}

} // namespace

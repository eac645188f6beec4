#include "common/tempfolder.h"
#include "qstringprinter.h"
#include "rawdatabase.h"

#include "language/language.h"
#include "platform/errors.h"
#include "platform/programfolder.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A window-less owner, as the headless program gives the component.
class DialogTexts : public ::testing::Test
{
protected:
    DialogTexts() : language(&owner, kx::ProgramFolder(dir.path())), db(language.DatabasePath())
    {
        owner.setObjectName("Form1");
        language.setObjectName("Language1");
        language.SetLanguageID(2052);
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (int i = 0; i <= 255; ++i)
            texts.append(language.GetDialogText(std::uint8_t(i)));
        while (!texts.isEmpty() && texts.last().isEmpty())
            texts.removeLast();
        return texts;
    }

    TempFolder dir;
    QObject owner;
    TLanguage language;
    RawDatabase db;
};

} // namespace

TEST(SplitLines, BreaksOnEveryLineEndAndIgnoresAFinalOne)
{
    const struct
    {
        QString text;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"Save?\r\nDone\r\nError", {"Save?", "Done", "Error"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\rb\nc\n\rd", {"a", "b", "c", "", "d"}},
        {"\r\n", {""}},
        {"a\r\n\r\n", {"a", ""}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kx::SplitLines(c.text), c.lines) << c.text.toStdString();
}

TEST_F(DialogTexts, GivesTheTextAtAnIndexAndEmptyPastTheEnd)
{
    EXPECT_EQ(language.GetDialogText(0), ""); // nothing loaded yet
    db.addDialogRow("Form1", 2052, "Save?\r\nDone\r\nError");
    language.ApplyLanguage();
    EXPECT_EQ(language.GetDialogText(0), "Save?");
    EXPECT_EQ(language.GetDialogText(2), "Error");
    EXPECT_EQ(language.GetDialogText(3), "");
    EXPECT_EQ(language.GetDialogText(255), "");
}

TEST_F(DialogTexts, LoadsOnlyTheRowsOfThisProductWindowAndLanguage)
{
    db.addDialogRow("Form1", 2052, "mine");
    db.addDialogRow("Form1", 1033, "other language");
    db.addDialogRow("form1", 2052, "other window");
    db.addDialogRow("Form1", 2052, "other product", "Brokan");
    language.ApplyLanguage();
    EXPECT_EQ(Texts(), QStringList{"mine"});
}

TEST_F(DialogTexts, TheLastRowReadWinsAndNoRowKeepsWhatWasThere)
{
    db.addDialogRow("Form1", 2052, "first\r\nrow");
    db.addDialogRow("Form1", 2052, "second");
    language.ApplyLanguage();
    EXPECT_EQ(Texts(), QStringList{"second"});

    language.SetLanguageID(7); // no rows: the texts stay
    EXPECT_EQ(Texts(), QStringList{"second"});
    language.ApplyLanguage();
    EXPECT_EQ(Texts(), QStringList{"second"});
}

TEST_F(DialogTexts, EmptyMessageEmptiesTheListAndEmptyLinesAreEntries)
{
    db.addDialogRow("Form1", 2052, "a\r\n\r\nb\r\n");
    language.ApplyLanguage();
    EXPECT_EQ(language.Variable(), (QStringList{"a", "", "b"}));

    db.exec("update Dialog_Table set MessageStr = ''");
    language.ApplyLanguage();
    EXPECT_TRUE(language.Variable().isEmpty());
}

TEST_F(DialogTexts, WritingActiveTrueAppliesEachTimeAndActiveReadsFalse)
{
    db.addDialogRow("Form1", 2052, "one");
    language.setProperty("Active", false);
    EXPECT_TRUE(language.Variable().isEmpty());
    language.setProperty("Active", true);
    EXPECT_EQ(language.Variable(), QStringList{"one"});
    EXPECT_FALSE(language.property("Active").toBool());

    db.exec("update Dialog_Table set MessageStr = 'two'");
    language.SetActive(true);
    EXPECT_EQ(language.Variable(), QStringList{"two"});
}

TEST_F(DialogTexts, ARowForTheComponentItselfReplacesDialogTextsOfTheSameCount)
{
    db.addDialogRow("Form1", 2052, "Save?\r\nDone");
    db.addComponentRow("Form1", 2052, "language1",
                       "Name:Renamed\r\nVariable:TStrings\r\n          0:Sichern?\r\n          1:Fertig\r\n");
    language.ApplyLanguage();
    EXPECT_EQ(language.Variable(), (QStringList{"Sichern?", "Fertig"}));
    EXPECT_EQ(language.objectName(), "Language1");

    // Three dialog texts now, but the block has two lines: the list stays.
    db.exec("update Dialog_Table set MessageStr = 'a\r\nb\r\nc'");
    language.ApplyLanguage();
    EXPECT_EQ(language.Variable(), (QStringList{"a", "b", "c"}));
}

TEST_F(DialogTexts, ExportNeedsAWindow)
{
    QTimer timer(&owner);
    timer.setObjectName("Timer1");
    language.ExportLanguage();
    EXPECT_TRUE(db.rows("select * from Component_Table").isEmpty());
}

TEST_F(DialogTexts, ErrorsOfTheSelectingStatementsPropagate)
{
    db.addDialogRow("Form1", 2052, "kept");
    db.exec("drop table Component_Table");
    EXPECT_THROW(language.ApplyLanguage(), kx::DatabaseError);
    // What was applied before the error stays applied.
    EXPECT_EQ(language.Variable(), QStringList{"kept"});
}

TEST_F(DialogTexts, WindowNamesWithQuotesSelectTheirOwnRows)
{
    owner.setObjectName("frm_o'neil");
    db.addDialogRow("frm_o'neil", 2052, "quoted");
    db.addDialogRow("Form1", 2052, "other");
    language.ApplyLanguage();
    EXPECT_EQ(language.Variable(), QStringList{"quoted"});
}

#include "common/tempfolder.h"
#include "qstringprinter.h"
#include "rawdatabase.h"

#include "language/language.h"
#include "language/languagestatements.h"
#include "platform/errors.h"
#include "platform/programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Each column as "name TYPE [not null] [key]", from what SQLite made of the statement.
std::string ColumnsOf(RawDatabase &db, const QString &table)
{
    QStringList columns;
    for (const QVariantList &row : db.rows(QStringLiteral("PRAGMA table_info(%1)").arg(table))) {
        QString column = row[1].toString() + " " + row[2].toString().toUpper();
        if (row[3].toBool())
            column += " not null";
        if (row[5].toBool())
            column += " key";
        columns.append(column);
    }
    return columns.join(", ").toStdString();
}

class LanguageDatabase : public ::testing::Test
{
protected:
    std::unique_ptr<TLanguage> MakeLanguage()
    {
        auto language = std::make_unique<TLanguage>(&owner, kx::ProgramFolder(dir.path()));
        language->setObjectName("Language1");
        return language;
    }

    TempFolder dir;
    QObject owner;
};

} // namespace

TEST(LanguageStatements, CreatingStatementsAreTheJetTextsLineByLine)
{
    EXPECT_EQ(kx::CreateComponentTableStatement(), "Create Table Component_Table\r\n"
                                                   "(ID int identity PRIMARY KEY,\r\n"
                                                   "AppName varchar(50) not null,\r\n"
                                                   "FormName varchar(50) not null,\r\n"
                                                   "ComponentName varchar(50) not null,\r\n"
                                                   "LanguageID int not null,\r\n"
                                                   "ComponentClass varchar(50) null,\r\n"
                                                   "ComponentProperty Text null)\r\n");
    EXPECT_EQ(kx::CreateDialogTableStatement(), "Create Table Dialog_Table\r\n"
                                                "(ID int identity PRIMARY KEY,\r\n"
                                                "AppName varchar(50) Not null,\r\n"
                                                "FormName varchar(50) Not null,\r\n"
                                                "DialogID int Not null,\r\n"
                                                "LanguageID int Not null,\r\n"
                                                "Title varchar(255) Not null,\r\n"
                                                "MessageStr varchar(255) Not null)\r\n");
}

TEST(LanguageStatements, RowFilterSelectsOneProductWindowAndLanguage)
{
    EXPECT_EQ(
        kx::FilteredStatement("Select * From Dialog_Table", kx::RowFilter("Kandrilox", "WelcomeForm", -5)),
        "Select * From Dialog_Table\r\nwhere\r\nAppName='Kandrilox'\r\nand\r\n"
        "FormName='WelcomeForm'\r\nand\r\nLanguageID=-5\r\n");
    // A quote is doubled, so that it stays inside its value.
    EXPECT_EQ(kx::RowFilter("Kandrilox", "frm_o'neil", 2052)[3], "FormName='frm_o''neil'");
}

TEST_F(LanguageDatabase, CreatesFolderFileAndBothEmptyTables)
{
    for (const QString &existingFolder : {QString(), QStringLiteral("DB"), QStringLiteral("db")}) {
        TempFolder fresh;
        if (!existingFolder.isEmpty())
            QDir(fresh.path()).mkdir(existingFolder);
        QObject window;
        window.setObjectName("Form1");
        TLanguage language(&window, kx::ProgramFolder(fresh.path()));

        const QString expectedFolder = existingFolder.isEmpty() ? QStringLiteral("DB") : existingFolder;
        EXPECT_EQ(QDir(fresh.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                  QStringList{expectedFolder});
        EXPECT_EQ(language.DatabasePath(), fresh.path() + "/" + expectedFolder + "/Language.mdb");
        EXPECT_EQ(language.LanguageID(), 0);
        EXPECT_TRUE(language.Variable().isEmpty());

        RawDatabase db(language.DatabasePath());
        EXPECT_EQ(ColumnsOf(db, "Component_Table"),
                  "ID INTEGER key, AppName VARCHAR(50) not null, FormName VARCHAR(50) not null, "
                  "ComponentName VARCHAR(50) not null, LanguageID INT not null, ComponentClass VARCHAR(50), "
                  "ComponentProperty TEXT");
        EXPECT_EQ(ColumnsOf(db, "Dialog_Table"),
                  "ID INTEGER key, AppName VARCHAR(50) not null, FormName VARCHAR(50) not null, "
                  "DialogID INT not null, LanguageID INT not null, Title VARCHAR(255) not null, "
                  "MessageStr VARCHAR(255) not null");
        EXPECT_TRUE(db.rows("select * from Component_Table").isEmpty());
        EXPECT_TRUE(db.rows("select * from Dialog_Table").isEmpty());

        // The key numbers itself.
        db.addDialogRow("Form1", 0, "a");
        db.addDialogRow("Form1", 0, "b");
        EXPECT_EQ(db.rows("select ID from Dialog_Table order by ID"), (QList<QVariantList>{{1}, {2}}));
        // The component's connection is open and sees the rows.
        language.ApplyLanguage();
        EXPECT_EQ(language.Variable(), QStringList{"b"});
    }
}

TEST_F(LanguageDatabase, OpensAnExistingFileWithoutChangingIt)
{
    const QString path = dir.path() + "/Db/LANGUAGE.MDB";
    QDir().mkpath(dir.path() + "/Db");
    {
        RawDatabase db(path);
        db.exec("create table Unrelated (x int)");
    }
    const QByteArray before = dir.read("Db/LANGUAGE.MDB");

    auto language = MakeLanguage();
    EXPECT_EQ(language->DatabasePath(), path);
    // No table was created: the first statement that needs one says so.
    try {
        language->ApplyLanguage();
        ADD_FAILURE() << "no error for the missing table";
    } catch (const kx::DatabaseError &e) {
        EXPECT_EQ(e.text(), "no such table: Dialog_Table");
    }
    language.reset();
    EXPECT_EQ(dir.read("Db/LANGUAGE.MDB"), before);
}

TEST_F(LanguageDatabase, FilesThatAreNoDatabaseFailConstructionAndStayAsTheyWere)
{
    for (const QByteArray &contents : {QByteArray(), QByteArray("Standard Jet DB, but not really")}) {
        TempFolder fresh;
        fresh.write("DB/Language.mdb", contents);
        QObject window;
        try {
            TLanguage language(&window, kx::ProgramFolder(fresh.path()));
            ADD_FAILURE() << "opened " << contents.toStdString();
        } catch (const kx::DatabaseError &e) {
            EXPECT_EQ(e.text(), "file is not a database");
        }
        EXPECT_EQ(fresh.read("DB/Language.mdb"), contents);
        EXPECT_TRUE(window.children().isEmpty());
    }
}

TEST_F(LanguageDatabase, FolderThatCannotBeMadeFailsConstruction)
{
    dir.write("DB", "a file where the folder should be");
    EXPECT_THROW(MakeLanguage(), kx::DatabaseError);
    EXPECT_EQ(dir.read("DB"), "a file where the folder should be");
}

TEST_F(LanguageDatabase, EachComponentHasItsOwnConnection)
{
    auto first = MakeLanguage();
    QObject otherWindow;
    otherWindow.setObjectName("Form2");
    auto second = std::make_unique<TLanguage>(&otherWindow, kx::ProgramFolder(dir.path()));
    RawDatabase(first->DatabasePath()).addDialogRow("Form2", 0, "from the database");
    first.reset();
    second->ApplyLanguage();
    EXPECT_EQ(second->Variable(), QStringList{"from the database"});
}

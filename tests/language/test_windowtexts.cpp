#include "common/tempfolder.h"
#include "qstringprinter.h"
#include "rawdatabase.h"
#include "server/recorders.h"

#include "language/componentclass.h"
#include "language/language.h"
#include "platform/errors.h"
#include "platform/notifier.h"
#include "platform/programfolder.h"
#include "server/connectionlog.h"
#include "server/interfaceserver.h"
#include "shell/locksysteminfo.h"
#include "shell/mainwindow.h"
#include "shell/welcomeform.h"

#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// Every component text of a window, keyed by component name.
QMap<QString, QStringList> TextsOf(QObject &window)
{
    QMap<QString, QStringList> texts;
    for (QObject *component : kx::ComponentClasses::Instance().Components(window))
        texts.insert(component->objectName(), TLanguage::ExportComponentTexts(*component, false));
    texts.insert(window.objectName(), TLanguage::ExportComponentTexts(window, true));
    return texts;
}

} // namespace

TEST(WindowTexts, MainWindowTakesAButtonCaptionEditedInLanguage2052)
{
    TempFolder dir;
    const kx::ProgramFolder folder(dir.path());
    kx::ConnectionLog log;
    QStringList journal; // no request reaches the window here
    RecordingCardOperations ops(journal);
    kx::StderrNotifier notifier;
    kx::InterfaceServer server(ops, folder, log, notifier);
    Tfrm_main window(
        log, server, []() -> Tfrm_setportipadder & { throw kx::Error("no network settings in this test"); },
        [] {});
    auto *language = new TLanguage(&window, folder);
    language->setObjectName("Language1");

    language->SetLanguageID(2052);
    language->ExportLanguage();
    const auto before = TextsOf(window);
    ASSERT_TRUE(before.value("BitBtn2").contains("Caption:Close"));

    RawDatabase db(language->DatabasePath());
    const auto rows = db.rows("select ComponentProperty from Component_Table where FormName = 'frm_main' and "
                              "LanguageID = 2052 and ComponentName = 'BitBtn2'");
    ASSERT_EQ(rows.size(), 1);
    db.exec("update Component_Table set ComponentProperty = ? where ComponentName = 'BitBtn2'",
            {rows[0][0].toString().replace("Caption:Close", "Caption:关闭")});

    language->SetLanguageID(0);
    language->ApplyLanguage(); // no rows for language 0: nothing changes
    EXPECT_EQ(window.BitBtn2->text(), "Close");
    language->SetLanguageID(2052);
    language->ApplyLanguage();
    EXPECT_EQ(window.BitBtn2->text(), "关闭");

    auto expected = before;
    expected["BitBtn2"].replace(expected["BitBtn2"].indexOf("Caption:Close"), "Caption:关闭");
    EXPECT_EQ(TextsOf(window), expected);
}

class SplashLanguage : public ::testing::Test
{
protected:
    std::unique_ptr<TWelcomeForm> MakeForm()
    {
        return std::make_unique<TWelcomeForm>(folder, info, notifier);
    }

    TempFolder dir;
    kx::ProgramFolder folder{dir.path()};
    TLockSystemInfo info;
    kx::StderrNotifier notifier;
};

TEST_F(SplashLanguage, CreatingTheSplashOpensTheLanguageDatabaseWithTheSettingsLanguage)
{
    info.LanguageID = 2052;
    auto form = MakeForm();
    ASSERT_NE(form->Language1, nullptr);
    EXPECT_EQ(form->Language1->objectName(), "Language1");
    EXPECT_EQ(form->Language1->parent(), form.get());
    EXPECT_EQ(form->Language1->LanguageID(), 2052);
    EXPECT_EQ(form->Language1->DatabasePath(), dir.path() + "/DB/Language.mdb");
    RawDatabase db(form->Language1->DatabasePath());
    EXPECT_TRUE(db.rows("select * from Dialog_Table").isEmpty());
}

TEST_F(SplashLanguage, ADamagedLanguageDatabaseStopsTheSplash)
{
    dir.write("db/language.mdb", "");
    try {
        MakeForm();
        ADD_FAILURE() << "the splash was made";
    } catch (const kx::DatabaseError &e) {
        EXPECT_EQ(e.text(), "file is not a database");
    }
}

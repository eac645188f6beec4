#include "common/tempfolder.h"
#include "qstringprinter.h"
#include "rawdatabase.h"
#include "testform.h"

#include "language/componentclass.h"
#include "language/languagestatements.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

namespace {

QStringList Lines(const char *text)
{
    return kx::SplitLines(QString::fromUtf8(text));
}

// Every text the test window shows, to compare before and after.
QStringList TextsOf(const TTestForm &form)
{
    QStringList texts{form.windowTitle(),        form.BitBtn1->text(),          form.BitBtn1->toolTip(),
                      form.Label1->text(),       form.edt_port->text(),         form.chk_local->text(),
                      form.GroupBox1->title(),   form.ComboBox1->currentText(), form.atn_Close->text(),
                      form.atn_Close->toolTip(), form.StatusBar1->toolTip()};
    for (int i = 0; i < form.ComboBox1->count(); ++i)
        texts.append(form.ComboBox1->itemText(i));
    for (int k = 0; k < form.columns.columnCount(); ++k) {
        texts.append(form.columns.headerData(k, Qt::Horizontal).toString());
        texts.append(QString::number(form.lstview_log->header()->sectionSize(k)));
    }
    for (QLabel *panel : form.StatusBar1->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        texts.append(panel->text());
    return texts + form.Language1->Variable();
}

class ComponentTexts : public ::testing::Test
{
protected:
    ComponentTexts() : folder(dir.path()), form(folder), db(form.Language1->DatabasePath()) {}

    QList<QVariantList> Rows(int language)
    {
        return db.rows("select ComponentName, ComponentClass, ComponentProperty from Component_Table "
                       "where AppName = 'Kandrilox' and FormName = 'TestForm' and LanguageID = ? order by ID",
                       {language});
    }

    QString RowText(int language, const QString &component)
    {
        for (const QVariantList &row : Rows(language)) {
            if (row[0].toString() == component)
                return row[2].toString();
        }
        return "(no row)";
    }

    TempFolder dir;
    kx::ProgramFolder folder;
    TTestForm form;
    RawDatabase db;
};

} // namespace

TEST_F(ComponentTexts, TextLinesSetTheirPropertyAndSkipNamesAndUnknownLines)
{
    TLanguage::ApplyComponentTexts(*form.BitBtn1, Lines("Caption:Room:101\r\nhint:Press me"));
    EXPECT_EQ(form.BitBtn1->text(), "Room:101");
    EXPECT_EQ(form.BitBtn1->toolTip(), "Press me");
    TLanguage::ApplyComponentTexts(*form.BitBtn1, Lines("Caption:"));
    EXPECT_EQ(form.BitBtn1->text(), "");

    // Names are never set; lines that name nothing, or a property of another
    // kind or an object without texts, are passed over and the next line applies.
    TLanguage::ApplyComponentTexts(*form.edt_port,
                                   Lines("Name:edt_other\r\nImeName:Chinese IME\r\nno colon\r\n"
                                         "Colour:red\r\nTag:5\r\nFont:Arial\r\nText:2008"));
    EXPECT_EQ(form.edt_port->objectName(), "edt_port");
    EXPECT_EQ(form.edt_port->property("ImeName"), QVariant());
    EXPECT_EQ(form.edt_port->font(), form.font());
    EXPECT_EQ(form.edt_port->text(), "2008");
}

TEST_F(ComponentTexts, ColumnBlockSetsValidItemsOnlyAndTheNextLineStillApplies)
{
    TLanguage::ApplyComponentTexts(*form.lstview_log,
                                   Lines("Columns:TListColumns\r\nTitle:Room\r\nWidth:80\r\n"
                                         "Title:Time\r\nWidth:abc\r\nHint:Log"));
    EXPECT_EQ(form.columns.headerData(0, Qt::Horizontal).toString(), "Room");
    EXPECT_EQ(form.lstview_log->header()->sectionSize(0), 80);
    EXPECT_EQ(form.columns.headerData(1, Qt::Horizontal).toString(), "Operation");
    EXPECT_EQ(form.lstview_log->header()->sectionSize(1), 200);
    EXPECT_EQ(form.lstview_log->toolTip(), "Log");

    // A block cut short by the end of the text sets the items it has.
    TLanguage::ApplyComponentTexts(*form.lstview_log,
                                   Lines("Columns:TListColumns\r\nTitle:Adresse\r\nWidth:90"));
    EXPECT_EQ(form.columns.headerData(0, Qt::Horizontal).toString(), "Adresse");
    EXPECT_EQ(form.lstview_log->header()->sectionSize(0), 90);
    EXPECT_EQ(form.columns.headerData(1, Qt::Horizontal).toString(), "Operation");
}

TEST_F(ComponentTexts, StringListBlockAppliesOnlyWithTheRightNumberOfLines)
{
    TLanguage::ApplyComponentTexts(*form.ComboBox1,
                                   Lines("Items:TStrings\r\n          0:Red\r\n"
                                         "          1:Green\r\n          2:Blue:ish\r\nHint:Pick"));
    EXPECT_EQ(form.ComboBox1->itemText(0), "Red");
    EXPECT_EQ(form.ComboBox1->itemText(1), "Green");
    EXPECT_EQ(form.ComboBox1->itemText(2), "Blue:ish");
    EXPECT_EQ(form.ComboBox1->currentIndex(), 1); // the selection stays
    EXPECT_EQ(form.ComboBox1->toolTip(), "Pick");

    TLanguage::ApplyComponentTexts(*form.ComboBox1,
                                   Lines("Items:TStrings\r\n          0:X\r\n          1:Y\r\n"));
    EXPECT_EQ(form.ComboBox1->count(), 3);
    EXPECT_EQ(form.ComboBox1->itemText(0), "Red");
}

TEST_F(ComponentTexts, StatusPanelsAreLeftAloneAndTheLineAfterTheBlockApplies)
{
    TLanguage::ApplyComponentTexts(*form.StatusBar1,
                                   Lines("Panels:TStatusPanels\r\nTitle:Bereit\r\nWidth:10\r\n"
                                         "Title:X\r\nWidth:10\r\nHint:Status"));
    const auto panels = form.StatusBar1->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 2);
    EXPECT_EQ(panels[0]->text(), "Ready");
    EXPECT_EQ(panels[0]->width(), 50);
    EXPECT_EQ(form.StatusBar1->toolTip(), "Status");
}

TEST_F(ComponentTexts, ComponentLookupIgnoresCaseButTheWindowsOwnNameDoesNot)
{
    form.Language1->SetLanguageID(3);
    db.addComponentRow("TestForm", 3, "bitbtn1", "Caption:found in any case");
    db.addComponentRow("TestForm", 3, "TestForm", "Caption:Fenster");
    db.addComponentRow("TestForm", 3, "testform", "Caption:wrong case of the window");
    db.addComponentRow("TestForm", 3, "NoSuchComponent", "Caption:nowhere");
    db.addComponentRow("TestForm", 4, "Label1", "Caption:other language");
    form.Language1->ApplyLanguage();
    EXPECT_EQ(form.BitBtn1->text(), "found in any case");
    EXPECT_EQ(form.windowTitle(), "Fenster");
    EXPECT_EQ(form.Label1->text(), "Port");

    // A component that bears the window's name in another case takes its row.
    db.exec("delete from Component_Table");
    db.addComponentRow("TestForm", 3, "testform", "Caption:to the label");
    form.Label1->setObjectName("TESTFORM");
    form.Language1->ApplyLanguage();
    EXPECT_EQ(form.Label1->text(), "to the label");
    EXPECT_EQ(form.windowTitle(), "Fenster");
}

TEST_F(ComponentTexts, ExportWritesOneRowPerComponentInCreationOrderThenTheWindow)
{
    form.Language1->SetLanguageID(9);
    form.Language1->Variable() = QStringList{"Save?", "Done"};
    form.columns.setHorizontalHeaderLabels({"", "Operation"});
    form.Language1->ExportLanguage();

    QStringList names;
    QStringList classes;
    for (const QVariantList &row : Rows(9)) {
        names.append(row[0].toString());
        classes.append(row[1].toString());
    }
    EXPECT_EQ(names, (QStringList{"BitBtn1", "Label1", "edt_port", "chk_local", "GroupBox1", "ComboBox1",
                                  "lstview_log", "StatusBar1", "Timer1", "atn_Close", "PopupMenu1",
                                  "Language1", "TestForm"}));
    EXPECT_EQ(classes,
              (QStringList{"TBitBtn", "TLabel", "TEdit", "TCheckBox", "TGroupBox", "TComboBox", "TListView",
                           "TStatusBar", "TTimer", "TAction", "TPopupMenu", "TLanguage", "TTestForm"}));

    EXPECT_EQ(RowText(9, "Timer1"), "Name:Timer1\r\n");
    EXPECT_EQ(RowText(9, "Language1"), "Name:Language1\r\nAppVersion:TFileVersion\r\nVariable:TStrings\r\n"
                                       "          0:Save?\r\n          1:Done\r\n");
    EXPECT_EQ(RowText(9, "atn_Close"), "Name:atn_Close\r\nCaption:Close\r\nHint:\r\n");
    EXPECT_EQ(RowText(9, "BitBtn1"), "Name:BitBtn1\r\nFont:TFont\r\nHint:Press\r\nCaption:OK\r\n");
    EXPECT_EQ(RowText(9, "ComboBox1"),
              "Name:ComboBox1\r\nFont:TFont\r\nHint:\r\nImeName:\r\nItems:TStrings\r\n"
              "          0:A\r\n          1:B\r\n          2:C\r\nText:B\r\n");
    EXPECT_EQ(RowText(9, "lstview_log"),
              "Name:lstview_log\r\nFont:TFont\r\nHint:\r\nColumns:TListColumns\r\n"
              "Title:TListColumn\r\nWidth:100\r\nTitle:Operation\r\nWidth:200\r\n");
    EXPECT_EQ(RowText(9, "StatusBar1"), "Name:StatusBar1\r\nFont:TFont\r\nHint:\r\nPanels:TStatusPanels\r\n"
                                        "Title:Ready\r\nWidth:50\r\nTitle:TStatusPanel\r\nWidth:50\r\n");
    // The window's own row: object headers without their blocks.
    EXPECT_EQ(RowText(9, "TestForm"), "Name:TestForm\r\nFont:TFont\r\nHint:\r\nCaption:Test window\r\n");
}

TEST_F(ComponentTexts, ExportThenApplyLeavesTheTextsAsTheyWere)
{
    form.Language1->SetLanguageID(2052);
    form.Language1->Variable() = QStringList{"Save?"};
    form.atn_Close->setToolTip("Ends the program");
    const QStringList before = TextsOf(form);
    form.Language1->ExportLanguage();

    form.setWindowTitle("x");
    for (QWidget *w : {static_cast<QWidget *>(form.BitBtn1), static_cast<QWidget *>(form.StatusBar1)})
        w->setToolTip("x");
    form.BitBtn1->setText("x");
    form.Label1->setText("x");
    form.edt_port->setText("x");
    form.chk_local->setText("x");
    form.GroupBox1->setTitle("x");
    form.ComboBox1->setItemText(0, "x");
    form.ComboBox1->setCurrentIndex(2);
    form.atn_Close->setText("x");
    form.atn_Close->setToolTip("x");
    form.columns.setHorizontalHeaderLabels({"x", "x"});
    form.lstview_log->header()->resizeSection(1, 30);
    form.Language1->Variable() = QStringList{"x"};
    ASSERT_NE(TextsOf(form), before);

    form.Language1->ApplyLanguage();
    EXPECT_EQ(TextsOf(form), before);
}

TEST_F(ComponentTexts, ExportingTwiceLeavesOneSetOfRowsAndOtherLanguagesAlone)
{
    db.addComponentRow("TestForm", 1, "BitBtn1", "Caption:other language");
    form.Language1->SetLanguageID(2);
    form.Language1->ExportLanguage();
    const auto first = Rows(2);
    form.BitBtn1->setText("Changed");
    form.Language1->ExportLanguage();
    const auto second = Rows(2);
    ASSERT_EQ(second.size(), first.size());
    EXPECT_EQ(second.size(), 13);
    EXPECT_EQ(RowText(2, "BitBtn1"), "Name:BitBtn1\r\nFont:TFont\r\nHint:Press\r\nCaption:Changed\r\n");
    EXPECT_EQ(Rows(1).size(), 1);
}

TEST_F(ComponentTexts, FailedExportKeepsThePreviousRows)
{
    form.Language1->ExportLanguage();
    const auto before = db.rows("select * from Component_Table order by ID");
    db.exec("create trigger refuse before insert on Component_Table when new.ComponentName = 'Label1' "
            "begin select raise(abort, 'refused by the test'); end");
    form.BitBtn1->setText("not kept");
    try {
        form.Language1->ExportLanguage();
        ADD_FAILURE() << "the export went through";
    } catch (const kx::DatabaseError &e) {
        EXPECT_EQ(e.text(), "refused by the test");
    }
    EXPECT_EQ(db.rows("select * from Component_Table order by ID"), before);
}

TEST(ComponentClassesTable, ADescendantsPropertyKeepsItsAncestorsPlace)
{
    const kx::PropertyList ancestor{kx::OtherProperty("Name", "A"), kx::OtherProperty("Caption", "A"),
                                    kx::OtherProperty("Hint", "A")};
    const kx::PropertyList all =
        kx::Inherit(ancestor, {kx::OtherProperty("Text", "B"), kx::OtherProperty("caption", "B")});
    QStringList order;
    for (const auto &p : all)
        order.append(p.name + "/" + p.typeName);
    EXPECT_EQ(order, (QStringList{"Name/A", "caption/B", "Hint/A", "Text/B"}));
}

#pragma once

#include "language/language.h"
#include "platform/programfolder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

// A small window with one component of each kind that carries texts.
class TTestForm : public QDialog
{
    Q_OBJECT

public:
    explicit TTestForm(const kx::ProgramFolder &folder)
    {
        setObjectName("TestForm");
        setWindowTitle("Test window");
        Name<QPushButton>(BitBtn1, "BitBtn1", "OK")->setToolTip("Press");
        Name<QLabel>(Label1, "Label1", "Port");
        Name<QLineEdit>(edt_port, "edt_port", "7800");
        Name<QCheckBox>(chk_local, "chk_local", "Local");
        GroupBox1 = new QGroupBox("Server", this);
        GroupBox1->setObjectName("GroupBox1");

        ComboBox1 = new QComboBox(GroupBox1); // inside the group: still the window's component
        ComboBox1->setObjectName("ComboBox1");
        ComboBox1->addItems({"A", "B", "C"});
        ComboBox1->setCurrentIndex(1);

        columns.setHorizontalHeaderLabels({"Address", "Operation"});
        lstview_log = new QTreeView(this);
        lstview_log->setObjectName("lstview_log");
        lstview_log->setModel(&columns);
        lstview_log->header()->setStretchLastSection(false);
        lstview_log->header()->resizeSection(0, 100);
        lstview_log->header()->resizeSection(1, 200);

        StatusBar1 = new QStatusBar(this);
        StatusBar1->setObjectName("StatusBar1");
        for (const char *text : {"Ready", ""}) {
            auto *panel = new QLabel(text);
            StatusBar1->addWidget(panel);
            panel->setFixedWidth(50);
        }

        Timer1 = new QTimer(this);
        Timer1->setObjectName("Timer1");
        atn_Close = new QAction("Close", this);
        atn_Close->setObjectName("atn_Close");
        PopupMenu1 = new QMenu(this);
        PopupMenu1->setObjectName("PopupMenu1");
        PopupMenu1->addAction(atn_Close);
        Language1 = new TLanguage(this, folder);
        Language1->setObjectName("Language1");
    }

    QPushButton *BitBtn1;
    QLabel *Label1;
    QLineEdit *edt_port;
    QCheckBox *chk_local;
    QGroupBox *GroupBox1;
    QComboBox *ComboBox1;
    QTreeView *lstview_log;
    QStatusBar *StatusBar1;
    QTimer *Timer1;
    QAction *atn_Close;
    QMenu *PopupMenu1;
    TLanguage *Language1;
    QStandardItemModel columns;

private:
    template <typename W> W *Name(W *&member, const char *name, const char *text)
    {
        member = new W(text, this);
        member->setObjectName(name);
        return member;
    }
};

#include "mainwindow.h"

#include "platform/notifier.h"
#include "server/connectionlog.h"
#include "server/interfaceserver.h"
#include "shell/windowplacement.h"
#include "store/setportipadder.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFrame>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr int PanelHeight = 86;
constexpr int SplitterHandle = 3;
constexpr int ButtonTop = 16;
constexpr int ButtonWidth = 120;
constexpr int ButtonHeight = 60;
constexpr int TimeColumnPadding = 12;

} // namespace

Tfrm_main::Tfrm_main(kx::ConnectionLog &log, kx::InterfaceServer &server,
                     std::function<Tfrm_setportipadder &()> networkSettings,
                     std::function<void()> requestTerminate, QWidget *parent)
    : QDialog(parent), m_log(log), m_server(server), m_networkSettings(std::move(networkSettings)),
      m_requestTerminate(std::move(requestTerminate))
{
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(QStringLiteral("Brokan lock system interface client"));
    setSizeGripEnabled(true);
    resize(533, 513);
    BuildLayout();
    BuildActions();
}

Tfrm_main::~Tfrm_main() = default;

QString Tfrm_main::TrayTip()
{
    return QStringLiteral("Brokan lock system interface client");
}

void Tfrm_main::BuildLayout()
{
    lstview_connectionlist = new QTreeView(this);
    lstview_connectionlist->setObjectName(QStringLiteral("lstview_connectionlist"));
    lstview_connectionlist->setRootIsDecorated(false);
    lstview_connectionlist->setUniformRowHeights(true);
    lstview_connectionlist->setItemsExpandable(false);
    lstview_connectionlist->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstview_connectionlist->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstview_connectionlist->setSelectionMode(QAbstractItemView::SingleSelection);
    lstview_connectionlist->setSortingEnabled(false);
    lstview_connectionlist->setAllColumnsShowFocus(true);
    lstview_connectionlist->setModel(&m_log);
    QHeaderView *header = lstview_connectionlist->header();
    header->setStretchLastSection(false);
    for (int column = 0; column < kx::ConnectionLog::ColumnCount; ++column)
        header->resizeSection(column, kx::ConnectionLog::ColumnWidths[column]);
    // The time shows whole whatever font the desktop gives the list, and the
    // operation text takes the width that is left, so that no row needs a
    // sideways scroll bar at the window's own size.
    const int timeWidth =
        lstview_connectionlist->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) +
        TimeColumnPadding;
    header->resizeSection(kx::ConnectionLog::TimeColumn,
                          qMax(kx::ConnectionLog::ColumnWidths[kx::ConnectionLog::TimeColumn], timeWidth));
    header->setSectionResizeMode(kx::ConnectionLog::OperationColumn, QHeaderView::Stretch);
    FollowNewRows();

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    // An etched edge: lowered outside, raised inside.
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setMinimumHeight(ButtonTop + ButtonHeight);

    BitBtn3 = AddPanelButton("BitBtn3", QStringLiteral("Network setting"), 112);
    BitBtn1 = AddPanelButton("BitBtn1", QStringLiteral("Clean data"), 240);
    BitBtn2 = AddPanelButton("BitBtn2", QStringLiteral("Close"), 368);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(SplitterHandle);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(lstview_connectionlist);
    Splitter1->addWidget(Panel1);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({height() - PanelHeight - SplitterHandle, PanelHeight});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter1);
}

void Tfrm_main::FollowNewRows()
{
    // While the user looks at the end of the log, a new row scrolls into view;
    // scrolled back to older rows, the view stays where the user put it.
    connect(&m_log, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = lstview_connectionlist->verticalScrollBar();
        m_followLog = !isVisible() || bar->value() == bar->maximum();
    });
    connect(&m_log, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_followLog)
            lstview_connectionlist->scrollToBottom();
    });
    connect(&m_log, &QAbstractItemModel::modelReset, this, [this] { m_followLog = true; });
}

QPushButton *Tfrm_main::AddPanelButton(const char *name, const QString &caption, int left)
{
    auto *button = new QPushButton(caption, Panel1);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, ButtonTop, ButtonWidth, ButtonHeight);
    // No default button: Enter in the log must not open a dialog.
    button->setAutoDefault(false);
    return button;
}

void Tfrm_main::BuildActions()
{
    atn_Close = new QAction(QStringLiteral("Close"), this);
    atn_Close->setObjectName(QStringLiteral("atn_Close"));
    atn_open = new QAction(QStringLiteral("Open lock interface"), this);
    atn_open->setObjectName(QStringLiteral("atn_open"));
    atn_clean = new QAction(QStringLiteral("Clean data"), this);
    atn_clean->setObjectName(QStringLiteral("atn_clean"));
    atn_networkseting = new QAction(QStringLiteral("Network setting"), this);
    atn_networkseting->setObjectName(QStringLiteral("atn_networkseting"));

    connect(atn_Close, &QAction::triggered, this, &Tfrm_main::atn_CloseExecute);
    connect(atn_open, &QAction::triggered, this, &Tfrm_main::atn_openExecute);
    connect(atn_clean, &QAction::triggered, this, &Tfrm_main::atn_cleanExecute);
    connect(atn_networkseting, &QAction::triggered, this, &Tfrm_main::atn_networksetingExecute);

    connect(BitBtn3, &QPushButton::clicked, atn_networkseting, &QAction::trigger);
    connect(BitBtn1, &QPushButton::clicked, atn_clean, &QAction::trigger);
    connect(BitBtn2, &QPushButton::clicked, this, &Tfrm_main::BitBtn2Click);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addAction(atn_Close);
    PopupMenu->addSeparator();
    PopupMenu->addAction(atn_open);
    // "Open lock interface" is offered only while there is something to open.
    connect(PopupMenu, &QMenu::aboutToShow, this, [this] { atn_open->setVisible(!isVisible()); });
}

bool Tfrm_main::AddTrayIcon()
{
    if (!TrayIcon) {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull())
            icon = style()->standardIcon(QStyle::SP_ComputerIcon);
        TrayIcon = new QSystemTrayIcon(icon, this);
        TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
        TrayIcon->setToolTip(TrayTip());
        connect(TrayIcon, &QSystemTrayIcon::activated, this, &Tfrm_main::WMTrayNotify);
        // The icon goes away with the program, not at the next mouse-over.
        connect(qApp, &QCoreApplication::aboutToQuit, TrayIcon, &QSystemTrayIcon::hide);
    }
    TrayIcon->show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void Tfrm_main::ShowInTray(kx::Notifier &notifier, bool trayAvailable)
{
    AddTrayIcon();
    if (trayAvailable)
        return;
    notifier.LogLine(QStringLiteral("No notification area is available: the main window is opened instead "
                                    "of the tray icon."));
    // Not exec(): start-up must go on to its message loop.
    show();
    BringToFront();
}

void Tfrm_main::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        kx::CentreOnScreen(*this);
        // Opened again: the rows written while it was hidden are in view.
        if (m_followLog)
            lstview_connectionlist->scrollToBottom();
    }
}

void Tfrm_main::BringToFront()
{
    raise();
    activateWindow();
}

void Tfrm_main::WMTrayNotify(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        if (isVisible())
            BringToFront();
        else
            atn_open->trigger();
        break;
    case QSystemTrayIcon::Context:
        BringToFront();
        if (!isVisible())
            PopupMenu->popup(QCursor::pos());
        break;
    default: break;
    }
}

void Tfrm_main::atn_CloseExecute()
{
    if (m_server.IsListening())
        m_server.Close();
    if (m_requestTerminate)
        m_requestTerminate();
}

void Tfrm_main::atn_openExecute()
{
    // Opened already: a second modal loop on the same window would nest.
    if (isVisible()) {
        BringToFront();
        return;
    }
    exec();
}

void Tfrm_main::atn_cleanExecute()
{
    m_log.Clear();
}

void Tfrm_main::atn_networksetingExecute()
{
    Tfrm_setportipadder &dialog = m_networkSettings();
    dialog.SetTerminateOnClose(false);
    dialog.exec();
}

void Tfrm_main::BitBtn2Click()
{
    reject();
}

// Property information of the widget classes, in the names of component texts.
// This file is linked into every program that links the GUI library (see
// CMakeLists.txt) and adds its table to the registry when the program starts.
#include "componentclass.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTreeView>

namespace kx {

namespace {

template <typename W> W &As(QObject &o)
{
    return static_cast<W &>(o);
}
template <typename W> const W &As(const QObject &o)
{
    return static_cast<const W &>(o);
}

// A text property over a getter and a setter of a widget class.
template <typename W>
PublishedProperty Text(const char *name, const char *typeName, QString (W::*get)() const,
                       void (W::*set)(const QString &))
{
    return TextProperty(
        QString::fromLatin1(name), QString::fromLatin1(typeName),
        [get](const QObject &o) { return (As<W>(o).*get)(); },
        [set](QObject &o, const QString &value) { (As<W>(o).*set)(value); });
}

PropertyList Widget(const PropertyList &own)
{
    // Every widget has a font (an object without texts) and a hint.
    static const PropertyList widget =
        Inherit(ComponentProperties(),
                {
                    ObjectProperty(QStringLiteral("Font"), QStringLiteral("TFont"),
                                   [](QObject &) { return std::optional<PropertyObject>(PropertyObject{}); }),
                    Text<QWidget>("Hint", "string", &QWidget::toolTip, &QWidget::setToolTip),
                });
    return Inherit(widget, own);
}

// The input-method name of the original platform; kept with the field, unused here.
PublishedProperty ImeName()
{
    return TextProperty(
        QStringLiteral("ImeName"), QStringLiteral("TImeName"),
        [](const QObject &o) { return o.property("ImeName").toString(); },
        [](QObject &o, const QString &value) { o.setProperty("ImeName", value); });
}

QHeaderView *ColumnHeader(QAbstractItemView &view)
{
    if (auto *tree = qobject_cast<QTreeView *>(&view))
        return tree->header();
    if (auto *table = qobject_cast<QTableView *>(&view))
        return table->horizontalHeader();
    return nullptr;
}

// A list view's columns: captions from the model's horizontal header, widths
// from the header view.
std::optional<PropertyObject> ListColumns(QObject &o)
{
    auto &view = As<QAbstractItemView>(o);
    PropertyObject columns;
    columns.kind = PropertyObject::Kind::Collection;
    columns.items = PropertyObject::Items::ListColumns;
    columns.count = [&view] { return view.model() ? view.model()->columnCount() : 0; };
    columns.text = [&view](int k) { return view.model()->headerData(k, Qt::Horizontal).toString(); };
    columns.width = [&view](int k) {
        QHeaderView *header = ColumnHeader(view);
        return header ? header->sectionSize(k) : 0;
    };
    columns.setItem = [&view](int k, const QString &caption, int width) {
        view.model()->setHeaderData(k, Qt::Horizontal, caption);
        if (QHeaderView *header = ColumnHeader(view))
            header->resizeSection(k, width);
    };
    return columns;
}

// A status bar's panels: the labels placed in it, in the order they were
// added. Their texts are exported but never applied.
std::optional<PropertyObject> StatusPanels(QObject &o)
{
    auto panels = std::make_shared<QList<QLabel *>>(o.findChildren<QLabel *>(Qt::FindDirectChildrenOnly));
    PropertyObject list;
    list.kind = PropertyObject::Kind::Collection;
    list.items = PropertyObject::Items::StatusPanels;
    list.count = [panels] { return int(panels->size()); };
    list.text = [panels](int k) { return panels->at(k)->text(); };
    list.width = [panels](int k) { return panels->at(k)->width(); };
    return list;
}

std::optional<PropertyObject> ComboItems(QObject &o)
{
    auto &combo = As<QComboBox>(o);
    PropertyObject items;
    items.kind = PropertyObject::Kind::StringList;
    items.count = [&combo] { return combo.count(); };
    items.text = [&combo](int i) { return combo.itemText(i); };
    items.assign = [&combo](const QStringList &texts) {
        if (texts.size() == combo.count()) {
            // Same count: rename in place, so the selection and item data stay.
            for (int i = 0; i < combo.count(); ++i)
                combo.setItemText(i, texts[i]);
            return;
        }
        combo.clear();
        combo.addItems(texts);
    };
    return items;
}

// An action without a tool tip of its own shows its text as one; that is no
// hint, and a text taken for one would pin the tool tip to the old language.
QString ActionHint(const QObject &o)
{
    const auto &action = As<QAction>(o);
    QAction plain(action.text());
    return action.toolTip() == plain.toolTip() ? QString() : action.toolTip();
}

void Register(const QMetaObject &qtClass, const char *name, const PropertyList &properties,
              bool window = false)
{
    ComponentClasses::Instance().Register(qtClass, {QString::fromLatin1(name), window, properties});
}

void RegisterWidgetClasses()
{
    const auto caption =
        Text<QAbstractButton>("Caption", "TCaption", &QAbstractButton::text, &QAbstractButton::setText);
    Register(QWidget::staticMetaObject, "", Widget({}));
    // Windows keep their Qt class names (Tfrm_main, TWelcomeForm, ...).
    const auto form =
        Widget({Text<QWidget>("Caption", "TCaption", &QWidget::windowTitle, &QWidget::setWindowTitle)});
    Register(QDialog::staticMetaObject, "", form, true);
    Register(QMainWindow::staticMetaObject, "", form, true);
    Register(QPushButton::staticMetaObject, "TBitBtn", Widget({caption}));
    Register(QCheckBox::staticMetaObject, "TCheckBox", Widget({caption}));
    Register(QRadioButton::staticMetaObject, "TRadioButton", Widget({caption}));
    Register(QLabel::staticMetaObject, "TLabel",
             Widget({Text<QLabel>("Caption", "TCaption", &QLabel::text, &QLabel::setText)}));
    Register(QLineEdit::staticMetaObject, "TEdit",
             Widget({ImeName(), Text<QLineEdit>("Text", "TCaption", &QLineEdit::text, &QLineEdit::setText)}));
    Register(QGroupBox::staticMetaObject, "TGroupBox",
             Widget({Text<QGroupBox>("Caption", "TCaption", &QGroupBox::title, &QGroupBox::setTitle)}));
    const auto listView =
        Widget({ObjectProperty(QStringLiteral("Columns"), QStringLiteral("TListColumns"), ListColumns)});
    Register(QTreeView::staticMetaObject, "TListView", listView);
    Register(QTableView::staticMetaObject, "TListView", listView);
    Register(
        QStatusBar::staticMetaObject, "TStatusBar",
        Widget({ObjectProperty(QStringLiteral("Panels"), QStringLiteral("TStatusPanels"), StatusPanels)}));
    Register(
        QComboBox::staticMetaObject, "TComboBox",
        Widget({ImeName(), ObjectProperty(QStringLiteral("Items"), QStringLiteral("TStrings"), ComboItems),
                Text<QComboBox>("Text", "TCaption", &QComboBox::currentText, &QComboBox::setCurrentText)}));
    Register(
        QAction::staticMetaObject, "TAction",
        Inherit(ComponentProperties(),
                {Text<QAction>("Caption", "TCaption", &QAction::text, &QAction::setText),
                 TextProperty(QStringLiteral("Hint"), QStringLiteral("string"), ActionHint,
                              [](QObject &o, const QString &hint) { As<QAction>(o).setToolTip(hint); })}));
    // A pop-up menu has no texts of its own; its entries are actions.
    Register(QMenu::staticMetaObject, "TPopupMenu", ComponentProperties());
}

[[maybe_unused]] const bool Registered = (RegisterWidgetClasses(), true);

} // namespace

} // namespace kx

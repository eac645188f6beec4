#pragma once

// Run-time property information of the components that carry window texts:
// per component class, its published properties with the names used in
// component texts, in declaration order with ancestors first, their kind,
// their declared type name and how to read and write each on the Qt object.
// The classes of the core (QObject, QTimer, TLanguage) are always known; the
// widget classes are added by widgetclasses.cpp when the GUI library is linked.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class QObject;
struct QMetaObject;

namespace kx {

// The object behind an object property.
struct PropertyObject
{
    enum class Kind { Other, Collection, StringList };
    // The two collections whose items are told apart.
    enum class Items { Other, ListColumns, StatusPanels };

    Kind kind = Kind::Other;
    Items items = Items::Other;
    std::function<int()> count;
    // A string list's entry, a column's caption, a panel's text.
    std::function<QString(int)> text;
    // A collection item's width.
    std::function<int(int)> width;
    // Sets a collection item's text and width (list-view columns only).
    std::function<void(int, const QString &, int)> setItem;
    // Replaces a string list's entries.
    std::function<void(const QStringList &)> assign;
};

struct PublishedProperty
{
    enum class Kind { Text, Object, Other };

    QString name;
    Kind kind = Kind::Other;
    QString typeName;
    // Text properties: read, and write when the property has a setter.
    std::function<QString(const QObject &)> read;
    std::function<void(QObject &, const QString &)> write;
    // Object properties: the object, or nothing when the property holds none.
    std::function<std::optional<PropertyObject>(QObject &)> object;
};

using PropertyList = std::vector<PublishedProperty>;

// Entries of the tables.
PublishedProperty TextProperty(const QString &name, const QString &typeName,
                               std::function<QString(const QObject &)> read,
                               std::function<void(QObject &, const QString &)> write);
PublishedProperty ObjectProperty(const QString &name, const QString &typeName,
                                 std::function<std::optional<PropertyObject>(QObject &)> object);
PublishedProperty OtherProperty(const QString &name, const QString &typeName);

// The ancestor's properties followed by the class's own; a property declared
// again keeps the ancestor's place.
PropertyList Inherit(const PropertyList &ancestor, const PropertyList &own);

struct ComponentClass
{
    // The class name in component texts; empty: the Qt class name of the object.
    QString name;
    // Windows carry their own components and are not components of another window.
    bool window = false;
    PropertyList properties;
};

class ComponentClasses
{
public:
    // The registry of the running program.
    static ComponentClasses &Instance();

    // Describes qtClass and the classes derived from it that have no entry of their own.
    void Register(const QMetaObject &qtClass, ComponentClass description);

    // The entry of the nearest registered class of object.
    const ComponentClass &Of(const QObject &object) const;
    QString ClassName(const QObject &object) const;
    bool IsWindow(const QObject &object) const { return Of(object).window; }
    // Property names match in any letter case; nothing when the class has no such property.
    const PublishedProperty *Find(const QObject &object, const QString &name) const;

    // The components of a window, in this order: its descendants that have a
    // name, depth first, each object's children in creation order. Objects named
    // "qt_..." (Qt's own internals) and other windows with their contents are
    // left out; the descendants of an unnamed object are still visited.
    QList<QObject *> Components(const QObject &window) const;

private:
    ComponentClasses();

    std::map<const QMetaObject *, ComponentClass> m_classes;
};

// The properties every component has: Name (the object name, read only here
// as names are never set from texts) and Tag.
const PropertyList &ComponentProperties();

} // namespace kx

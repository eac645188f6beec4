#include "componentclass.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>

namespace kx {

void RegisterCoreClasses(ComponentClasses &classes); // coreclasses.cpp

PropertyList Inherit(const PropertyList &ancestor, const PropertyList &own)
{
    PropertyList all = ancestor;
    for (const PublishedProperty &property : own) {
        auto same = std::find_if(all.begin(), all.end(), [&](const PublishedProperty &p) {
            return p.name.compare(property.name, Qt::CaseInsensitive) == 0;
        });
        if (same != all.end())
            *same = property;
        else
            all.push_back(property);
    }
    return all;
}

PublishedProperty TextProperty(const QString &name, const QString &typeName,
                               std::function<QString(const QObject &)> read,
                               std::function<void(QObject &, const QString &)> write)
{
    return {name, PublishedProperty::Kind::Text, typeName, std::move(read), std::move(write), nullptr};
}

PublishedProperty ObjectProperty(const QString &name, const QString &typeName,
                                 std::function<std::optional<PropertyObject>(QObject &)> object)
{
    return {name, PublishedProperty::Kind::Object, typeName, nullptr, nullptr, std::move(object)};
}

PublishedProperty OtherProperty(const QString &name, const QString &typeName)
{
    return {name, PublishedProperty::Kind::Other, typeName, nullptr, nullptr, nullptr};
}

const PropertyList &ComponentProperties()
{
    // Names are never set from component texts, so Name has no setter.
    static const PropertyList properties{
        TextProperty(
            QStringLiteral("Name"), QStringLiteral("TComponentName"),
            [](const QObject &o) { return o.objectName(); }, nullptr),
        OtherProperty(QStringLiteral("Tag"), QStringLiteral("Integer")),
    };
    return properties;
}

ComponentClasses &ComponentClasses::Instance()
{
    static ComponentClasses classes;
    return classes;
}

ComponentClasses::ComponentClasses()
{
    RegisterCoreClasses(*this);
}

void ComponentClasses::Register(const QMetaObject &qtClass, ComponentClass description)
{
    m_classes.insert_or_assign(&qtClass, std::move(description));
}

const ComponentClass &ComponentClasses::Of(const QObject &object) const
{
    for (const QMetaObject *meta = object.metaObject(); meta; meta = meta->superClass()) {
        const auto found = m_classes.find(meta);
        if (found != m_classes.end())
            return found->second;
    }
    // QObject is always registered, and every object derives from it.
    return m_classes.at(&QObject::staticMetaObject);
}

QString ComponentClasses::ClassName(const QObject &object) const
{
    const ComponentClass &entry = Of(object);
    return entry.name.isEmpty() ? QString::fromLatin1(object.metaObject()->className()) : entry.name;
}

const PublishedProperty *ComponentClasses::Find(const QObject &object, const QString &name) const
{
    for (const PublishedProperty &property : Of(object).properties) {
        if (property.name.compare(name, Qt::CaseInsensitive) == 0)
            return &property;
    }
    return nullptr;
}

QList<QObject *> ComponentClasses::Components(const QObject &window) const
{
    QList<QObject *> found;
    std::function<void(const QObject &)> visit = [&](const QObject &parent) {
        for (QObject *child : parent.children()) {
            if (IsWindow(*child) || child->objectName().startsWith(QLatin1String("qt_")))
                continue;
            if (!child->objectName().isEmpty())
                found.append(child);
            visit(*child);
        }
    };
    visit(window);
    return found;
}

} // namespace kx

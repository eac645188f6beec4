// Property information of the classes that need no display: any named object,
// the timer and the language component itself.
#include "componentclass.h"
#include "language.h"

#include <QTimer>

namespace kx {

namespace {

TLanguage &AsLanguage(QObject &o)
{
    return static_cast<TLanguage &>(o);
}

PropertyList LanguageProperties()
{
    // The version reader is an object with no texts of its own.
    const auto appVersion =
        ObjectProperty(QStringLiteral("AppVersion"), QStringLiteral("TFileVersion"),
                       [](QObject &) { return std::optional<PropertyObject>(PropertyObject{}); });

    const auto variable =
        ObjectProperty(QStringLiteral("Variable"), QStringLiteral("TStrings"), [](QObject &o) {
            TLanguage &language = AsLanguage(o);
            PropertyObject list;
            list.kind = PropertyObject::Kind::StringList;
            list.count = [&language] { return int(language.Variable().size()); };
            list.text = [&language](int i) { return language.Variable().at(i); };
            list.assign = [&language](const QStringList &texts) { language.Variable() = texts; };
            return std::optional<PropertyObject>(std::move(list));
        });

    return Inherit(ComponentProperties(),
                   {
                       OtherProperty(QStringLiteral("LanguageID"), QStringLiteral("Integer")),
                       appVersion,
                       variable,
                       OtherProperty(QStringLiteral("Active"), QStringLiteral("Boolean")),
                   });
}

} // namespace

void RegisterCoreClasses(ComponentClasses &classes)
{
    classes.Register(QObject::staticMetaObject, {QString(), false, ComponentProperties()});
    classes.Register(QTimer::staticMetaObject, {QStringLiteral("TTimer"), false, ComponentProperties()});
    classes.Register(TLanguage::staticMetaObject, {QStringLiteral("TLanguage"), false, LanguageProperties()});
}

} // namespace kx

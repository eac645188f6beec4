// The component-text format: one line per text property ("Caption:Welcome"),
// an object header per object property ("Columns:TListColumns"), followed for
// a collection by two lines per item ("Title:Port", "Width:120") and for a
// string list by one line per entry (ten spaces, the index, ":", the text).
// Block lengths are not written: reading takes them from the current counts.
#include "language.h"

#include <QRegularExpression>

namespace {

using kx::PropertyObject;
using kx::PublishedProperty;

// The part of a line after its first colon; the whole line when it has none.
QString AfterColon(const QString &line)
{
    return line.mid(line.indexOf(QLatin1Char(':')) + 1);
}

QString BeforeColon(const QString &line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : line.left(colon);
}

std::optional<PropertyObject> ObjectOf(const PublishedProperty &property, QObject &component)
{
    return property.object ? property.object(component) : std::nullopt;
}

} // namespace

namespace kx {

QStringList SplitLines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(breaks);
    // The piece after the last break is empty when the text ends with a break
    // (or is empty): it is no line of its own.
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace kx

void TLanguage::ApplyComponentTexts(QObject &component, const QStringList &lines)
{
    const auto &classes = kx::ComponentClasses::Instance();
    qsizetype i = 0;
    while (i < lines.size()) {
        const QString &line = lines[i];
        const QString name = BeforeColon(line);
        const PublishedProperty *property = classes.Find(component, name);
        ++i;
        if (!property || name.contains(QLatin1String("NAME"), Qt::CaseInsensitive))
            continue;

        if (property->kind == PublishedProperty::Kind::Text) {
            if (property->write)
                property->write(component, AfterColon(line));
            continue;
        }
        const auto object = ObjectOf(*property, component);
        if (property->kind != PublishedProperty::Kind::Object || !object)
            continue;

        if (object->kind == PropertyObject::Kind::Collection) {
            const qsizetype take = qMin<qsizetype>(2 * object->count(), lines.size() - i);
            ApplyCollectionTexts(*object, lines.mid(i, take));
            i += take;
        } else if (object->kind == PropertyObject::Kind::StringList) {
            const qsizetype count = object->count();
            const qsizetype take = qMin<qsizetype>(count, lines.size() - i);
            QStringList texts;
            for (qsizetype k = 0; k < take; ++k)
                texts.append(AfterColon(lines[i + k]));
            i += take;
            if (take == count)
                object->assign(texts);
        }
    }
}

void TLanguage::ApplyCollectionTexts(const PropertyObject &collection, const QStringList &lines)
{
    // Status-bar panels are exported but never applied; other collections have no texts.
    if (collection.items != PropertyObject::Items::ListColumns || !collection.setItem)
        return;
    const int count = collection.count();
    for (int k = 0; k < count; ++k) {
        if (2 * k + 1 >= lines.size())
            break;
        bool ok = false;
        const int width = AfterColon(lines[2 * k + 1]).toInt(&ok, 10);
        if (!ok || width < 0)
            continue; // a bad width leaves this item as it is
        collection.setItem(k, AfterColon(lines[2 * k]), width);
    }
}

QStringList TLanguage::ExportComponentTexts(QObject &component, bool windowRow)
{
    QStringList lines;
    for (const PublishedProperty &property : kx::ComponentClasses::Instance().Of(component).properties) {
        const QString header = property.name + QLatin1Char(':');
        if (property.kind == PublishedProperty::Kind::Text) {
            lines.append(header + property.read(component));
            continue;
        }
        if (property.kind != PublishedProperty::Kind::Object)
            continue;
        const auto object = ObjectOf(property, component);
        if (!object)
            continue;
        lines.append(header + property.typeName);
        if (windowRow)
            continue;
        if (object->kind == PropertyObject::Kind::Collection) {
            ExportCollectionTexts(*object, lines);
        } else if (object->kind == PropertyObject::Kind::StringList) {
            const int count = object->count();
            for (int j = 0; j < count; ++j)
                lines.append(QString(10, u' ') + QString::number(j) + QLatin1Char(':') + object->text(j));
        }
    }
    return lines;
}

void TLanguage::ExportCollectionTexts(const PropertyObject &collection, QStringList &lines)
{
    const int count = collection.count ? collection.count() : 0;
    for (int k = 0; k < count; ++k) {
        QString text;
        QString width;
        if (collection.items != PropertyObject::Items::Other) {
            text = collection.text(k);
            if (text.isEmpty())
                text = collection.items == PropertyObject::Items::ListColumns
                           ? QStringLiteral("TListColumn")
                           : QStringLiteral("TStatusPanel");
            width = QString::number(collection.width(k));
        }
        lines.append(QStringLiteral("Title:") + text);
        lines.append(QStringLiteral("Width:") + width);
    }
}

#include "ui/core/folder_tree.h"

namespace nimbara::ui {

std::optional<QString> substringToCh(const QString& text, QChar ch) {
    const qsizetype at = text.indexOf(ch);
    if (text.isEmpty() || at < 0) {
        return std::nullopt;
    }
    return at == 0 ? QString(QLatin1String("")) : text.left(at);
}

std::optional<QString> substringFromCh(const QString& text, QChar ch) {
    const qsizetype at = text.indexOf(ch);
    if (text.isEmpty() || at < 0 || at + 1 >= text.size()) {
        return std::nullopt;
    }
    return text.mid(at + 1);
}

QString pathWithoutLastComponent(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) {
        trimmed.chop(1);
    }
    const qsizetype at = trimmed.lastIndexOf(QLatin1Char('/'));
    if (at < 0) {
        return QLatin1String("");
    }
    if (at == 0) {
        return QStringLiteral("/");
    }
    return trimmed.left(at);
}

QString entryKindOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot + 1 >= name.size()) {
        return name;
    }
    return name.mid(dot + 1);
}

std::vector<QString> keyComponents(const QString& top, const QString& path) {
    std::vector<QString> components;
    if (path.isEmpty()) {
        return components;
    }
    QString shown = path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
    shown.replace(QLatin1String("/."), QLatin1String("/"));
    components.push_back(top);
    const QStringView rest = QStringView(shown).mid(1);
    for (qsizetype start = 0;;) {
        const qsizetype at = rest.indexOf(QLatin1Char('/'), start);
        if (at < 0) {
            components.push_back(rest.mid(start).toString());
            break;
        }
        components.push_back(rest.mid(start, at - start).toString());
        start = at + 1;
    }
    return components;
}

KeyPlan planKey(std::vector<QString> components) {
    KeyPlan plan;
    if (components.size() < 2) {
        return plan;
    }
    QString last = std::move(components.back());
    components.pop_back();
    if (!last.isEmpty()) {
        plan.entry = std::move(last);
    }
    if (components.size() > 1 && components[1].startsWith(QLatin1Char('.'))) {
        components[1].remove(0, 1);
    }
    plan.folders = std::move(components);
    return plan;
}

int compareFolderNames(const QString& a, const QString& b) {
    int order = QString::localeAwareCompare(a, b);
    if (order == 0) {
        // Names the language sorts as one (a composed and a decomposed letter, say) are still
        // two device folders: they stay apart, in one order whatever order they arrived in.
        order = QString::compare(a, b, Qt::CaseSensitive);
    }
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace nimbara::ui

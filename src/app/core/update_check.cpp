#include "app/core/update_check.h"

#include <QSettings>

#include <string>

#include "platform/plist_nesting.h"
#include "platform/plist_value.h"

namespace nimbara::app {

namespace {

void setError(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
}

// A sentence of a reader as a clause of ours: lower-case start, no full stop.
QString clause(const std::string& sentence) {
    QString text = QString::fromStdString(sentence);
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    if (!text.isEmpty()) {
        text[0] = text[0].toLower();
    }
    return text;
}

}  // namespace

std::optional<QUrl> updateAddress(const QSettings& settings, QString* error, bool* unset) {
    const QString text = settings.value(QLatin1String(kUpdateAddressKey)).toString().trimmed();
    if (unset != nullptr) {
        *unset = text.isEmpty();
    }
    if (text.isEmpty()) {
        // Nothing to ask: no request is made (at every launch) for a server that isn't there.
        setError(error, QStringLiteral("no update server is set (%1 in the settings file)")
                            .arg(QLatin1String(kUpdateAddressKey)));
        return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")) ||
        url.host().isEmpty()) {
        setError(
            error,
            QStringLiteral("the update address \"%1\" is not an http or https address").arg(text));
        return std::nullopt;
    }
    return url;
}

QString updateFailureText(const QString& reason, bool unset, const QString& settingsFile) {
    if (unset) {
        return QStringLiteral(
                   "No update server is set, so there is nowhere to look for a newer version. "
                   "An update server is set as %1 in the settings file %2.")
            .arg(QLatin1String(kUpdateAddressKey), settingsFile);
    }
    QString text = reason;
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper();
        if (!text.endsWith(QLatin1Char('.'))) {
            text += QLatin1Char('.');
        }
    }
    return text + QStringLiteral(" Try again later.");
}

std::optional<QVersionNumber> parseVersion(const QString& text) {
    // QVersionNumber skips leading blanks and stops at the first character it can't read; a
    // version must be nothing but its numbers and dots.
    if (text.isEmpty() || !text.front().isDigit()) {
        return std::nullopt;
    }
    qsizetype end = 0;
    const QVersionNumber version = QVersionNumber::fromString(text, &end);
    if (version.isNull() || end != text.size()) {
        return std::nullopt;
    }
    return version;
}

bool isNewerVersion(const QString& candidate, const QString& running) {
    const auto newer = parseVersion(candidate);
    const auto current = parseVersion(running);
    if (!newer || !current) {
        return false;
    }
    // Trailing zeros don't make a version newer: 1.2.0 is 1.2.
    return QVersionNumber::compare(newer->normalized(), current->normalized()) > 0;
}

std::optional<UpdateAnswer> parseUpdateAnswer(const QByteArray& body, QString* error) {
    if (body.isEmpty()) {
        setError(error, QStringLiteral("the update server's answer is empty"));
        return std::nullopt;
    }
    if (body.size() > kMaxUpdateAnswerBytes) {
        setError(error, QStringLiteral("the update server's answer is larger than %1 bytes")
                            .arg(kMaxUpdateAnswerBytes));
        return std::nullopt;
    }
    if (const auto problem = plistNestingProblem(
            body.constData(), static_cast<std::size_t>(body.size()), kMaxUpdateAnswerDepth)) {
        setError(
            error,
            QStringLiteral("the update server's answer is refused (%1)").arg(clause(*problem)));
        return std::nullopt;
    }
    std::string parseError;
    const auto list =
        PlistValue::parse(body.constData(), static_cast<std::size_t>(body.size()), &parseError);
    if (!list) {
        setError(error, QStringLiteral("the update server's answer is not a property list (%1)")
                            .arg(clause(parseError)));
        return std::nullopt;
    }
    if (!list->isDict()) {
        setError(error, QStringLiteral("the update server's answer is not a dictionary"));
        return std::nullopt;
    }
    const PlistValue* version = list->find("lastestVersion");
    if (version == nullptr || !version->isString()) {
        setError(error, QStringLiteral("the update server's answer names no version"));
        return std::nullopt;
    }
    UpdateAnswer answer;
    answer.lastestVersion = QString::fromStdString(version->toString()).trimmed();
    if (!parseVersion(answer.lastestVersion)) {
        setError(error, QStringLiteral("the update server names \"%1\", which is not a version")
                            .arg(answer.lastestVersion.left(40)));
        return std::nullopt;
    }
    if (const PlistValue* news = list->find("WhatsNew")) {
        if (!news->isString()) {
            setError(error, QStringLiteral("the update server's news is not a text"));
            return std::nullopt;
        }
        answer.whatsNew = QString::fromStdString(news->toString());
    }
    return answer;
}

QString newsText(const QString& whatsNew) {
    QString text = whatsNew;
    text.replace(QLatin1Char('*'), QLatin1Char('\n'));
    return text;
}

}  // namespace nimbara::app

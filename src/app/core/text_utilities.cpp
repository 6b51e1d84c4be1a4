// C texts to strings and the contact look-up by phone number.
#include "app/core/text_utilities.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <vector>

#include "backup/pr_contact_node.h"

namespace nimbara::shell {

int Char2Unicode(const char* utf8, char32_t* uncode, int count) {
    if (uncode == nullptr || count <= 0) {
        return 0;
    }
    std::fill(uncode, uncode + count, char32_t{0});
    if (utf8 == nullptr) {
        return 0;
    }
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder(QByteArrayView(utf8, static_cast<qsizetype>(std::strlen(utf8))));
    if (decoder.hasError()) {
        return 0;
    }
    const QList<uint> units = text.toUcs4();
    const int written = static_cast<int>(std::min<qsizetype>(units.size(), count - 1));
    for (int i = 0; i < written; ++i) {
        uncode[i] = static_cast<char32_t>(units[i]);
    }
    uncode[written] = 0;
    return written;
}

QString GetStringFormChar(const char* utf8) {
    if (utf8 == nullptr) {
        return QStringLiteral("");
    }
    // One unit per byte always has room for every character, plus the closing 0.
    const std::size_t capacity = std::strlen(utf8) + 1;
    std::vector<char32_t> units(capacity);
    const int written = Char2Unicode(utf8, units.data(), static_cast<int>(capacity));
    return QString::fromUcs4(units.data(), written);
}

QString GetNSStringDate(const char32_t* text) {
    if (text == nullptr) {
        return QStringLiteral(" ");
    }
    return QString::fromUcs4(text, -1);
}

QString GetNSStringDate(const std::optional<std::u32string>& text) {
    return text ? GetNSStringDate(text->c_str()) : GetNSStringDate(nullptr);
}

namespace {

QString normalisedNumber(const QString& number) {
    QString digits;
    digits.reserve(number.size());
    for (QChar c : number) {
        if (c != u'-' && c != u'(' && c != u')' && c != u' ') {
            digits.append(c);
        }
    }
    return digits;
}

// The first contact whose number matches; `minimumFragment` is the shortest middle part that
// counts as a match.
std::shared_ptr<PRContactNode> findContact(const QString& phoneNumber, const ContactList& contacts,
                                           qsizetype minimumFragment) {
    const QString wanted = normalisedNumber(phoneNumber);
    for (const std::shared_ptr<PRContactNode>& contact : contacts) {
        if (!contact) {
            continue;
        }
        const QString stored = contact->contactPhone();
        if (stored.isEmpty()) {
            continue;
        }
        const QString theirs = normalisedNumber(stored);
        const bool theirsShorter = theirs.size() < wanted.size();
        const QString& shorter = theirsShorter ? theirs : wanted;
        const QString& longer = theirsShorter ? wanted : theirs;
        const qsizetype quarter = shorter.size() / 4;
        const QString fragment = shorter.mid(quarter, shorter.size() / 2 + quarter);
        // An empty part is found nowhere.
        if (fragment.isEmpty() || fragment.size() < minimumFragment) {
            continue;
        }
        if (longer.contains(fragment, Qt::CaseInsensitive)) {
            return contact;
        }
    }
    return nullptr;
}

QString nameWithPicture(const QString& phoneNumber, const ContactList& contacts,
                        QByteArray& messageContactData) {
    const std::shared_ptr<PRContactNode> contact = findContact(phoneNumber, contacts, 6);
    if (!contact) {
        return QString();
    }
    messageContactData = contact->imageData();
    return contact->contactName();
}

}  // namespace

QString getNameByPhoneNumber(const QString& phoneNumber, const ContactList& contactArray) {
    const std::shared_ptr<PRContactNode> contact = findContact(phoneNumber, contactArray, 1);
    return contact ? contact->contactName() : QString();
}

QString getNameByPhoneNumber(const QString& phoneNumber, const ContactList& contactArray,
                             QByteArray& messageContactData) {
    return nameWithPicture(phoneNumber, contactArray, messageContactData);
}

QString getTransNameByPhoneNumber(const QString& phoneNumber, const ContactList& transContactArray,
                                  QByteArray& messageContactData) {
    return nameWithPicture(phoneNumber, transContactArray, messageContactData);
}

}  // namespace nimbara::shell

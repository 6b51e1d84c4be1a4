// C texts to strings and the contact look-up by phone number.
#include "ui/core/text_utilities.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>

#include "backup/contact_reader.h"
#include "backup/pr_contact_node.h"

namespace nimbara::shell {

namespace {

// The 0-terminated UTF-8 text decoded; nothing for a null pointer or bytes that are not valid
// UTF-8.
std::optional<QString> decodedUtf8(const char* utf8) {
    if (utf8 == nullptr) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(QByteArrayView(utf8, static_cast<qsizetype>(std::strlen(utf8))));
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

int Char2Unicode(const char* utf8, char32_t* uncode, int count) {
    if (uncode == nullptr || count <= 0) {
        return 0;
    }
    std::fill(uncode, uncode + count, char32_t{0});
    const std::optional<QString> text = decodedUtf8(utf8);
    if (!text) {
        return 0;
    }
    const QList<uint> units = text->toUcs4();
    const int written = static_cast<int>(std::min<qsizetype>(units.size(), count - 1));
    for (int i = 0; i < written; ++i) {
        uncode[i] = static_cast<char32_t>(units[i]);
    }
    uncode[written] = 0;
    return written;
}

QString GetStringFormChar(const char* utf8) {
    const std::optional<QString> text = decodedUtf8(utf8);
    // Never a null string: "nothing" reads as empty.
    return text && !text->isEmpty() ? *text : QStringLiteral("");
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

QString getNameByPhoneNumber(const QString& phoneNumber, const ContactList& contactArray) {
    const std::shared_ptr<PRContactNode> contact =
        backup::findContactByPhone(contactArray, phoneNumber, false);
    return contact ? contact->contactName() : QString();
}

QString getNameByPhoneNumber(const QString& phoneNumber, const ContactList& contactArray,
                             QByteArray& messageContactData) {
    const std::shared_ptr<PRContactNode> contact =
        backup::findContactByPhone(contactArray, phoneNumber, true);
    if (!contact) {
        return QString();
    }
    messageContactData = contact->imageData();
    return contact->contactName();
}

QString getTransNameByPhoneNumber(const QString& phoneNumber, const ContactList& transContactArray,
                                  QByteArray& messageContactData) {
    return getNameByPhoneNumber(phoneNumber, transContactArray, messageContactData);
}

}  // namespace nimbara::shell

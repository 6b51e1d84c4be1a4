#include "backup/writers/pr_vcf_controller.h"

#include "backup/pr_contact_node.h"

#include <QStringList>

#include <utility>
#include <vector>

namespace nimbara::backup {

namespace {

constexpr std::size_t kFoldAt = 75;

// "N": family name; given name; additional names; prefixes; suffixes. The node holds the whole
// name only ("First Middle Last"), so its last word is taken as the family name.
std::string structuredName(const QString& fullName) {
    QStringList words = fullName.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString family;
    QString given;
    if (words.size() >= 2) {
        family = words.takeLast();
    }
    if (!words.isEmpty()) {
        given = words.takeFirst();
    }
    return vCardEscaped(family) + ";" + vCardEscaped(given) + ";" +
           vCardEscaped(words.join(QLatin1Char(' '))) + ";;";
}

QString formattedName(const PRContactNode& node) {
    for (const QString& candidate :
         {node.contactName(), node.contactCompany(), node.contactPhone(), node.contactEmail()}) {
        const QString text = candidate.simplified();
        if (!text.isEmpty()) {
            return text;
        }
    }
    return QStringLiteral("Unknown");
}

const char* photoType(const QByteArray& data) {
    if (data.startsWith("\x89PNG")) {
        return "PNG";
    }
    if (data.startsWith("GIF8")) {
        return "GIF";
    }
    return "JPEG";
}

void addLine(std::string& card, const char* property, const QString& value) {
    if (value.trimmed().isEmpty()) {
        return;
    }
    card += vCardFoldedLine(std::string(property) + ":" + vCardEscaped(value));
}

// One line per value, its label as the TYPE and the first one preferred. A contact that holds
// only the joined text (one value) is written with `plainType`.
void addValues(std::string& card, const std::string& property, const char* fixedTypes,
               const std::vector<PRContactValue>& values, const QString& joined,
               const char* plainType) {
    bool first = true;
    const auto add = [&](const QString& type, const QString& value) {
        if (value.trimmed().isEmpty()) {
            return;
        }
        QString types = QString::fromLatin1(fixedTypes) + type;
        if (first) {
            types += types.isEmpty() || types.endsWith(QLatin1Char(',')) ? QLatin1String("PREF")
                                                                         : QLatin1String(",PREF");
            first = false;
        }
        if (types.endsWith(QLatin1Char(','))) {
            types.chop(1);
        }
        const std::string params = types.isEmpty() ? std::string() : ";TYPE=" + types.toStdString();
        card += vCardFoldedLine(property + params + ":" + vCardEscaped(value.trimmed()));
    };
    if (values.empty()) {
        add(QString::fromLatin1(plainType), joined);
        return;
    }
    for (const PRContactValue& v : values) {
        add(vCardType(v.label), v.value);
    }
}

}  // namespace

QString vCardType(const QString& label) {
    // The address book's own labels, "_$!<Mobile>!$_" and the like.
    static const std::pair<const char*, const char*> known[] = {
        {"Mobile", "CELL"}, {"iPhone", "IPHONE"},    {"Home", "HOME"},        {"Work", "WORK"},
        {"Main", "MAIN"},   {"HomeFAX", "HOME,FAX"}, {"WorkFAX", "WORK,FAX"}, {"OtherFAX", "FAX"},
        {"Pager", "PAGER"}, {"Other", "OTHER"},      {"School", "SCHOOL"},    {"iCloud", "ICLOUD"},
    };
    QString name = label.trimmed();
    if (name.startsWith(QLatin1String("_$!<")) && name.endsWith(QLatin1String(">!$_"))) {
        name = name.mid(4, name.size() - 8);
    }
    for (const auto& [text, type] : known) {
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0) {
            return QString::fromLatin1(type);
        }
    }
    // A label of the user's own: its letters and digits, as one word of the parameter.
    QString type;
    for (const QChar c : name) {
        if ((c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-')) {
            type += c.toUpper();
        }
    }
    return type;
}

std::string vCardEscaped(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        switch (c.unicode()) {
            case '\\':
                out += QLatin1String("\\\\");
                break;
            case ';':
                out += QLatin1String("\\;");
                break;
            case ',':
                out += QLatin1String("\\,");
                break;
            case '\r':
                if (i + 1 < value.size() && value[i + 1] == QLatin1Char('\n')) {
                    ++i;
                }
                out += QLatin1String("\\n");
                break;
            case '\n':
            case 0x2028:
            case 0x2029:
                out += QLatin1String("\\n");
                break;
            case '\t':
                out += c;
                break;
            default:
                // Other control characters have no place in a card.
                if (c.unicode() >= 0x20 && c.unicode() != 0x7F) {
                    out += c;
                }
        }
    }
    return out.toStdString();
}

std::string vCardFoldedLine(const std::string& line) {
    std::string out;
    out.reserve(line.size() + line.size() / 64 * 3 + 2);
    std::size_t pos = 0;
    std::size_t room = kFoldAt;
    while (line.size() - pos > room) {
        std::size_t cut = pos + room;
        // Never between the bytes of one character.
        while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(line, pos, cut - pos);
        out += "\r\n ";
        pos = cut;
        room = kFoldAt - 1;  // the leading blank of a continuation line counts
    }
    out.append(line, pos, std::string::npos);
    out += "\r\n";
    return out;
}

std::string vCardText(const PRContactNode& node) {
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    card += vCardFoldedLine("FN:" + vCardEscaped(formattedName(node)));
    card += vCardFoldedLine("N:" + structuredName(node.contactName()));
    addLine(card, "ORG", node.contactCompany());
    addLine(card, "TITLE", node.contactJobtitle());
    addValues(card, "EMAIL", "INTERNET,", node.contactEmails(), node.contactEmail(), "HOME");
    addValues(card, "TEL", "", node.contactPhones(), node.contactPhone(), "CELL");
    if (!node.contactAdress().trimmed().isEmpty()) {
        // The address is one text: it goes into the street part.
        card += vCardFoldedLine("ADR;TYPE=HOME:;;" + vCardEscaped(node.contactAdress()) + ";;;;");
    }
    addLine(card, "URL", node.contactHomepage());
    addLine(card, "NOTE", node.contactNote());
    const QByteArray photo = node.imageData();
    if (!photo.isEmpty()) {
        card += vCardFoldedLine(std::string("PHOTO;ENCODING=b;TYPE=") + photoType(photo) + ":" +
                                PRVCFController::baseEncode(photo, true));
    }
    card += "END:VCARD\r\n";
    return card;
}

QString vCardFileStem(const PRContactNode& node) {
    const QString name = node.contactName().trimmed();
    if (!name.isEmpty()) {
        return name;
    }
    const QString company = node.contactCompany().trimmed();
    if (!company.isEmpty()) {
        return company;
    }
    return QStringLiteral("unknown %1").arg(node.rowid());
}

ExportWriteResult writeContactVCard(const PRContactNode& node,
                                    const std::filesystem::path& folder) {
    PRVCFController writer;
    return writer.creatFile(node, folder);
}

}  // namespace nimbara::backup

nimbara::backup::ExportWriteResult PRVCFController::creatFile(const PRContactNode& node,
                                                              const std::filesystem::path& folder) {
    strContent_ = nimbara::backup::vCardText(node);
    return nimbara::backup::writeExportFile(folder, nimbara::backup::vCardFileStem(node), ".vcf",
                                            strContent_,
                                            QStringLiteral("unknown %1").arg(node.rowid()));
}

std::string PRVCFController::baseEncode(QByteArrayView source, bool padded) {
    const QByteArray encoded = source.toByteArray().toBase64(
        padded ? QByteArray::Base64Encoding : QByteArray::OmitTrailingEquals);
    return encoded.toStdString();
}

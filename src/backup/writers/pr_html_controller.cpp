#include "backup/writers/pr_html_controller.h"

#include "backup/message_sender.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/writers/attachment_copy.h"

#include <QUrl>

namespace {

// The head up to the title, between the title and the heading, and after the heading. The style
// sheet: grey bubbles on the left (triangle-isosceles), green ones on the right
// (triangle-isosceles2), blue ones (triangle-isosceles3), and pictures on the right (imgdic).
constexpr const char* kHeadStart =
    "<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'><title>";
constexpr const char* kHeadMiddle =
    "</title><style>body {padding:0; margin:0; font:1em/1.4 Helvetica,Cambria, Georgia, "
    "sans-serif; color:#333;  font-size:12px; background:#fff;}.date {text-align:center;}\t"
    "#container {width:500px; padding:0 0 50px; margin:0 auto;}h1 {font-size:18px;text-align:"
    "center; font-weight:bold;}h3 {font-size:14px; font-weight:bold; font-style:normal; "
    "text-align:left;color:#272727; }\t.triangle-isosceles {background:#f3f3f3;word-break:"
    "break-all;width:200px;position:relative;padding:10px;margin:1em 0 3em;background:"
    "-webkit-gradient(linear, 0 0, 0 100%, from(#f3f3f3), to(#dedede));\tbackground:"
    "-moz-linear-gradient(#f3f3f3, #dedede);background:-o-linear-gradient(#f3f3f3, #dedede);"
    "background:linear-gradient(#f3f3f3, #dedede);\t-webkit-border-radius:10px;"
    "-moz-border-radius:10px;border-radius:10px;}\t.triangle-isosceles:after {content:'';"
    "position:absolute;bottom:-15px; left:30px; border-width:15px 15px 0; border-style:solid;"
    "border-color:#dedede transparent;display:block; width:0;}\t.content {width:400px; "
    "position:relative;z-index:1;}\t.triangle-isosceles2 {background:#addc53;word-break:"
    "break-all;width:200px; left:170px;position:relative;padding:10px;margin:1em 0 3em;"
    "background:-webkit-gradient(linear, 0 0, 0 100%, from(#addc53), to(#8eca35));\t"
    "background:-moz-linear-gradient(#addc53, #8eca35);background:-o-linear-gradient(#addc53, "
    "#8eca35);\tbackground:linear-gradient(#addc53, #8eca35);-webkit-border-radius:10px;"
    "-moz-border-radius:10px;border-radius:10px;}\t.triangle-isosceles2:after {content:'';"
    "position:absolute;bottom:-15px; right:30px;border-width:15px 15px 0; border-style:solid;"
    "border-color:#8eca35 transparent;display:block; width:0;}\t.triangle-isosceles3 "
    "{background:#a0cff8;word-break:break-all;width:200px; left:170px;position:relative;"
    "padding:10px;margin:1em 0 3em;background:-webkit-gradient(linear, 0 0, 0 100%, "
    "from(#a0cff8), to(#87bfef));background:-moz-linear-gradient(#a0cff8, #87bfef);\t"
    "background:-o-linear-gradient(#a0cff8, #87bfef);background:linear-gradient(#a0cff8, "
    "#87bfef);-webkit-border-radius:10px;-moz-border-radius:10px;border-radius:10px;}\t"
    ".triangle-isosceles3:after {content:'';position:absolute;bottom:-15px; right:30px;"
    "border-width:15px 15px 0; border-style:solid;border-color:#87bfef transparent;display:"
    "block; width:0;}\thr{height:1px;border:0;border-bottom:1px dotted #cccccc;margin:0;}"
    ".imgdic{left:170px; position:relative;}</style></head><body><h1>";
constexpr const char* kHeadEnd = "</h1><div id='container'><div class='content'>";
constexpr const char* kDocumentEnd = "</div></div></body></html>";

using nimbara::backup::htmlEscaped;

// Message text: escaped, its line breaks kept as line breaks of the page.
QString messageTextHtml(const QString& text) {
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return htmlEscaped(normalised).replace(QLatin1Char('\n'), QLatin1String("<br/>"));
}

// The address of a copy beside the page, relative to the page: its name, percent-encoded (no
// quote, colon or slash is left to be read as markup, a scheme or a folder).
QString copyAddress(const QString& fileName) {
    return QString::fromLatin1(QUrl::toPercentEncoding(fileName));
}

}  // namespace

void PRHtmlController::initMessageHtmlHeader(const QString& title) {
    const QString escaped = htmlEscaped(title);
    strHtmlContent_ = QLatin1String(kHeadStart) + escaped + QLatin1String(kHeadMiddle) + escaped +
                      QLatin1String(kHeadEnd);
    ended_ = false;
}

void PRHtmlController::addHtmlContent(const QString& fragment) {
    strHtmlContent_ += fragment;
}

nimbara::backup::ExportWriteResult PRHtmlController::writeHtmlInPath(
    const std::filesystem::path& folder, const QString& name) {
    if (!ended_) {
        strHtmlContent_ += QLatin1String(kDocumentEnd);
        ended_ = true;
    }
    return nimbara::backup::writeExportFile(folder, name, ".html", strHtmlContent_.toStdString(),
                                            QStringLiteral("Message"));
}

namespace nimbara::backup {

QString htmlEscaped(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            case '"':
                out += QLatin1String("&quot;");
                break;
            case '\'':
                out += QLatin1String("&#39;");
                break;
            default:
                out += c;
        }
    }
    return out;
}

QString messageDocumentTitle(const QString& deviceName) {
    return deviceName + QLatin1String("'s Message");
}

QString conversationDocumentName(const PRMessageTreeNode& conversation) {
    const QString name = conversation.messageTreeNodeName();
    return name.size() >= 2 ? name : conversation.messageTreeNodeAdress();
}

void addConversationHtml(PRHtmlController& html, const PRMessageTreeNode& conversation,
                         const ConversationAttachments& attachments) {
    handleFatherMessageHtml(conversation, html);
    for (const auto& message : conversation.MessageNodeArray()) {
        if (!message) {
            continue;
        }
        // Copied first: the page links the copy by the name it was given.
        QString copyName;
        if (attachments.backup != nullptr &&
            !(attachments.stopRequested && attachments.stopRequested())) {
            const auto copy = copyMessageAttachment(*attachments.backup, *message,
                                                    attachments.folder, attachments.stopRequested);
            if (copy && copy->ok) {
                copyName = QString::fromStdString(copy->path.filename().string());
            }
            if (copy && attachments.copied) {
                attachments.copied(*message, *copy);
            }
        }
        handleMessageHtml(*message, html, false, copyName);
    }
    html.addHtmlContent(QStringLiteral("<hr/>"));
}

}  // namespace nimbara::backup

void handleFatherMessageHtml(const PRMessageTreeNode& conversation, PRHtmlController& html) {
    html.addHtmlContent(
        QLatin1String("<p><h3>Name: ") + htmlEscaped(conversation.messageTreeNodeName()) +
        QLatin1String(" &nbsp;&nbsp;Phone: ") + htmlEscaped(conversation.messageTreeNodeAdress()) +
        QLatin1String(" </h3>"));
}

void handleMessageHtml(const PRMessageNode& message, PRHtmlController& html, bool isFarther,
                       const QString& attachmentCopy) {
    QString fragment;
    const QString name = message.messageName();
    if (isFarther) {
        fragment += QLatin1String("<p><h3>Name: ") + htmlEscaped(name) +
                    QLatin1String(" &nbsp;&nbsp;Phone: ") + htmlEscaped(message.messagePhone()) +
                    QLatin1String(" &nbsp;&nbsp;Email: </h3><hr/>");
    }
    fragment += QLatin1String("<p class='name'>Name: ") +
                htmlEscaped(nimbara::backup::messageSenderLabel(message)) +
                QLatin1String(" &nbsp;&nbsp; Date: ") + htmlEscaped(message.messageDate()) +
                QLatin1String(" </p>");
    const QString type = message.messageType();
    if (message.isHasAttach() && !attachmentCopy.isEmpty()) {
        const QString address = copyAddress(attachmentCopy);
        fragment += type == QLatin1String("Received") ? QLatin1String("<p>")
                                                      : QLatin1String("<p class='imgdic'>");
        // A picture inline; a card, a location or a movie as a link to its copy.
        fragment += message.attachType() == QLatin1String("Image")
                        ? QLatin1String("<img src='") + address + QLatin1String("'/>")
                        : QLatin1String("<a href='") + address + QLatin1String("'>") +
                              htmlEscaped(attachmentCopy) + QLatin1String("</a>");
        fragment += QLatin1String("</p>");
    } else {
        QString text = messageTextHtml(message.messageContent());
        if (message.isHasAttach() && nimbara::backup::keepsAttachmentCopy(message)) {
            // No copy of it stands beside the page: said so, rather than a broken link.
            text += (text.trimmed().isEmpty() ? QString() : QStringLiteral("<br/>")) +
                    QStringLiteral("<i>The attachment could not be copied.</i>");
        }
        fragment +=
            (type == QLatin1String("Send") ? QLatin1String("<p class='triangle-isosceles2'> ")
                                           : QLatin1String("<p class='triangle-isosceles'> ")) +
            text + QLatin1String(" </p>");
    }
    html.addHtmlContent(fragment);
}

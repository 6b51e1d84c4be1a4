// Size texts and the leading-number reader behind them.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/text_format.h"
#include "ui/core/text_utilities.h"

namespace nimbara::shell {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Appends the digits at `pos` to `out`; returns how many there were.
qsizetype takeDigits(QStringView text, qsizetype& pos, std::string& out) {
    qsizetype count = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        out.push_back(static_cast<char>(text[pos].unicode()));
        ++pos;
        ++count;
    }
    return count;
}

// A double as an unsigned byte count, truncated toward zero; 0 when it doesn't fit.
std::uint64_t toByteCount(double value) {
    constexpr double kLimit = 18446744073709551616.0;  // 2^64
    if (!(value >= 0.0) || value >= kLimit) {
        return 0;
    }
    return static_cast<std::uint64_t>(value);
}

}  // namespace

double leadingDouble(QStringView text) {
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos])) {
        ++pos;
    }
    std::string number;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        if (text[pos] == u'-') {
            number.push_back('-');
        }
        ++pos;
    }
    qsizetype digits = takeDigits(text, pos, number);
    if (pos < text.size() && text[pos] == u'.') {
        number.push_back('.');
        ++pos;
        digits += takeDigits(text, pos, number);
    }
    if (digits == 0) {
        return 0.0;
    }
    // An exponent counts only when digits follow it.
    if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
        qsizetype expPos = pos + 1;
        std::string exponent = "e";
        if (expPos < text.size() && (text[expPos] == u'+' || text[expPos] == u'-')) {
            exponent.push_back(static_cast<char>(text[expPos].unicode()));
            ++expPos;
        }
        if (takeDigits(text, expPos, exponent) > 0) {
            number += exponent;
        }
    }
    if (number.back() == '.') {
        number.pop_back();
    }
    if (auto value = parseDouble(number)) {
        return *value;
    }
    // Out of range: the reader saturates like the C library does.
    return number.front() == '-' ? -std::numeric_limits<double>::infinity()
                                 : std::numeric_limits<double>::infinity();
}

int leadingInt(QStringView text) {
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<int>::max();
    while (pos < text.size() && isDigit(text[pos])) {
        value = value * 10 + (text[pos].unicode() - u'0');
        if (value > kMax + 1) {
            value = kMax + 1;
        }
        ++pos;
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return static_cast<int>(value > kMax ? kMax : value);
}

QString size_to_unit(std::uint64_t bytes) {
    float value = static_cast<float>(bytes);
    const char* unit = "bytes";
    if (bytes >= 1'000'000'000'000ULL) {
        value = value / 1000.0f / 1000.0f / 1000.0f / 1000.0f;
        unit = "TB";
    } else if (bytes >= 1'000'000'000ULL) {
        value = value / 1000.0f / 1000.0f / 1000.0f;
        unit = "GB";
    } else if (bytes >= 1'000'000ULL) {
        value = value / 1000.0f / 1000.0f;
        unit = "MB";
    } else if (bytes >= 1'000ULL) {
        value = value / 1000.0f;
        unit = "KB";
    }
    return QString::fromStdString(formatFixed(static_cast<double>(value), 2) + unit);
}

std::uint64_t sizeFormString(const QString& sizeText) {
    const qsizetype length = sizeText.size();
    if (length == 0) {
        return 0;
    }
    std::uint64_t provisional = 0;
    if (length >= 6 && sizeText.endsWith(QLatin1String("bytes"))) {
        provisional =
            toByteCount(std::trunc(leadingDouble(QStringView(sizeText).left(length - 5))));
    }
    if (length < 2) {
        return provisional;
    }
    const QStringView unit = QStringView(sizeText).right(2);
    double factor = 0;
    if (unit == u"KB") {
        factor = 1000.0;
    } else if (unit == u"MB") {
        factor = 1000.0 * 1000.0;
    } else if (unit == u"GB") {
        factor = 1000.0 * 1000.0 * 1000.0;
    } else if (unit == u"TB") {
        factor = 1000.0 * 1000.0 * 1000.0 * 1000.0;
    } else {
        return provisional;
    }
    return toByteCount(leadingDouble(QStringView(sizeText).left(length - 2)) * factor);
}

QString getFullName(std::uint64_t number) {
    QString text = QString::number(number);
    if (text.size() < 8) {
        text.prepend(QString(8 - text.size(), u'0'));
    }
    return text;
}

}  // namespace nimbara::shell

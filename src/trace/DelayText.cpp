#include "trace/DelayText.h"

#include <QtGlobal>
#include <cmath>
#include <limits>
#include <string>

#include "trace/HoplarkError.h"

namespace hoplark {

namespace {

// A decimal number held exactly: value = (negative ? -1 : 1) * digits * 10^exponent.
struct ExactDecimal {
    bool negative = false;
    std::string digits;  // without leading zeros; empty means zero
    long long exponent = 0;
};

QString notValidMessage(const QString& numberText) {
    return QStringLiteral("'%1' is not a valid floating point value").arg(numberText);
}

bool isDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Optional spaces, sign, digits, separator and digits, exponent, trailing spaces; nothing else.
ExactDecimal parseExact(const QString& text, QChar separator) {
    ExactDecimal result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        result.negative = text[i] == u'-';
        ++i;
    }
    bool sawDigit = false;
    bool sawSeparator = false;
    std::string digits;
    long long fractionDigits = 0;
    for (; i < n && isDigit(text[i]); ++i) {
        digits.push_back(char(text[i].unicode()));
        sawDigit = true;
    }
    if (i < n && text[i] == separator) {
        sawSeparator = true;
        for (++i; i < n && isDigit(text[i]); ++i) {
            digits.push_back(char(text[i].unicode()));
            ++fractionDigits;
            sawDigit = true;
        }
    }
    if (!sawDigit && !sawSeparator) throw HoplarkError(notValidMessage(text));

    long long exponent = 0;
    if (i < n && (text[i] == u'E' || text[i] == u'e')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i >= n || !isDigit(text[i])) throw HoplarkError(notValidMessage(text));
        for (; i < n && isDigit(text[i]); ++i) {
            // Beyond this the number is 0 or an overflow either way.
            if (exponent < 100000) exponent = exponent * 10 + (text[i].unicode() - '0');
        }
        if (negativeExponent) exponent = -exponent;
    }
    while (i < n && text[i] == u' ')
        ++i;
    if (i != n) throw HoplarkError(notValidMessage(text));

    const auto firstNonZero = digits.find_first_not_of('0');
    result.digits = firstNonZero == std::string::npos ? std::string() : digits.substr(firstNonZero);
    result.exponent = exponent - fractionDigits;
    return result;
}

// digits * factor, exactly, for a small factor.
std::string multiply(const std::string& digits, int factor) {
    std::string out(digits.size() + 8, '0');
    long long carry = 0;
    size_t pos = out.size();
    for (size_t k = digits.size(); k-- > 0;) {
        const long long v = (digits[k] - '0') * static_cast<long long>(factor) + carry;
        out[--pos] = char('0' + v % 10);
        carry = v / 10;
    }
    while (carry > 0) {
        out[--pos] = char('0' + carry % 10);
        carry /= 10;
    }
    const auto firstNonZero = out.find_first_not_of('0');
    return firstNonZero == std::string::npos ? std::string() : out.substr(firstNonZero);
}

// The magnitude limit of the number itself, 2^127, as the conversion has always enforced it.
bool atLeast2To127(const ExactDecimal& d) {
    if (d.digits.empty()) return false;
    const long long magnitude =
        static_cast<long long>(d.digits.size()) + d.exponent;  // 10^(m-1) <= x < 10^m
    if (magnitude <= 38) return false;                         // below 1e38 < 2^127
    if (magnitude >= 40) return true;                          // at least 1e39 > 2^127
    const long double approx =
        std::stold(d.digits.substr(0, 30)) *
        std::pow(10.0L, static_cast<long double>(
                            d.exponent + static_cast<long long>(d.digits.size()) -
                            static_cast<long long>(std::min<size_t>(d.digits.size(), 30))));
    return approx >= std::ldexp(1.0L, 127);
}

}  // namespace

qint32 GetDelayMs(const QString& text, QChar decimalSeparator) {
    qsizetype start = 0;
    qsizetype stop = text.size();
    while (start < stop && text[start].unicode() <= 32)
        ++start;
    while (stop > start && text[stop - 1].unicode() <= 32)
        --stop;
    const QString stripped = text.mid(start, stop - start);

    const qsizetype space = stripped.indexOf(u' ');
    QChar unit = u'S';
    QString numberText = stripped;
    if (space >= 0) {
        unit = space + 1 < stripped.size() ? stripped[space + 1] : QChar(u' ');
        if (unit.unicode() >= 'a' && unit.unicode() <= 'z') unit = QChar(unit.unicode() - 32);
        numberText = stripped.left(space + 1);
    }

    const ExactDecimal number = parseExact(numberText, decimalSeparator);
    if (atLeast2To127(number)) throw HoplarkError(QStringLiteral("Floating point overflow"));

    int unitFactor = 1;  // milliseconds per unit, beyond the common factor 1000
    if (unit == u'M') unitFactor = 60;
    if (unit == u'H') unitFactor = 3600;

    // trunc(digits * unitFactor * 10^(exponent + 3)), exactly.
    std::string scaled = multiply(number.digits, unitFactor);
    const long long shift = number.exponent + 3;
    std::string integerDigits;
    if (shift >= 0) {
        if (!scaled.empty())
            integerDigits = scaled + std::string(static_cast<size_t>(std::min(shift, 20LL)), '0');
    } else if (static_cast<long long>(scaled.size()) > -shift) {
        integerDigits = scaled.substr(0, scaled.size() - static_cast<size_t>(-shift));
    }

    const qint64 limit = qint64(std::numeric_limits<qint32>::max()) + 1;  // 2^31
    qint64 magnitude = 0;
    if (integerDigits.size() > 11)
        throw HoplarkError(QStringLiteral("Invalid floating point operation"));
    for (char c : integerDigits)
        magnitude = magnitude * 10 + (c - '0');
    if (magnitude >= limit) throw HoplarkError(QStringLiteral("Invalid floating point operation"));

    const qint32 ms = static_cast<qint32>(number.negative ? -magnitude : magnitude);
    return ms == 0 ? 15000 : ms;
}

bool DelayUnitLooksLikeMilliseconds(const QString& text) {
    const QString stripped = text.trimmed();
    const qsizetype space = stripped.indexOf(u' ');
    if (space < 0) return false;
    const QString unit = stripped.mid(space + 1).section(u' ', 0, 0).toLower();
    if (!unit.startsWith(u'm')) return false;
    const QString minutes = QStringLiteral("minutes");
    const bool formOfMinutes = minutes.startsWith(unit) || unit == QLatin1String("mins") ||
                               unit == QLatin1String("min.") || unit == QLatin1String("mins.");
    return !formOfMinutes;
}

QString FormatDelay(qint32 ms, QChar decimalSeparator) {
    auto asText = [decimalSeparator](double value) {
        QString text = QString::number(value, 'g', 15);
        text.replace(u'.', decimalSeparator);
        return text;
    };
    if (ms >= 7200000) return asText(ms / 3600000.0) + QStringLiteral(" Hours");
    if (ms >= 120000) return asText(ms / 60000.0) + QStringLiteral(" Minutes");
    if (ms == 1000) return QStringLiteral("1 Second");
    return asText(ms / 1000.0) + QStringLiteral(" Seconds");
}

qint32 StepDelayLadder(qint32 currentMs, LadderDirection direction) {
    constexpr int count = static_cast<int>(std::size(DelayStepsMs));
    int reference = 0;
    while (reference < count && DelayStepsMs[reference] < currentMs)
        ++reference;
    if (reference >= count) reference = count - 2;  // above the top step

    int chosen = reference;
    if (direction == LadderDirection::Up) {
        chosen = std::min(reference + 1, count - 1);
    } else if (DelayStepsMs[reference] == currentMs) {
        chosen = std::max(reference - 1, 0);
    }
    return DelayStepsMs[chosen];
}

QString TraceCountDisplayText(const QString& text) {
    return text == QStringLiteral("0") ? QStringLiteral("Unlimited") : text;
}

}  // namespace hoplark

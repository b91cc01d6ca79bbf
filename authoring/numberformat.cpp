#include "authoring/numberformat.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace authoring {

namespace {

// Excel refuses longer codes.
constexpr qsizetype kMaxCodeChars = 255;
// Serials of 10000-01-01 in the two date systems: Excel shows ##### from there.
constexpr double kEndOf1900Dates = 2958466;
constexpr double kEndOf1904Dates = 2958466 - 1462;
constexpr int kMaxSubSecondDigits = 3;

const char *const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char *const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char16_t kChineseDays[] = u"日一二三四五六";

// The locales whose dates this reader shows as Excel does: US English and
// Chinese (PRC), the calendar and numerals being the Gregorian and Arabic ones.
constexpr uint kEnglishUs = 0x0409;
constexpr uint kChinesePrc = 0x0804;

bool isColor(const QString &lower)
{
    static const QStringList colors = {QStringLiteral("black"),   QStringLiteral("blue"),
                                       QStringLiteral("cyan"),    QStringLiteral("green"),
                                       QStringLiteral("magenta"), QStringLiteral("red"),
                                       QStringLiteral("white"),   QStringLiteral("yellow")};
    if (colors.contains(lower))
        return true;
    if (!lower.startsWith(u"color") || lower.size() == 5)
        return false;
    bool ok = false;
    const int n = lower.mid(5).toInt(&ok);
    return ok && n >= 1 && n <= 56;
}

// The digits of `value` × 10^shift, rounded half away from zero to
// `decimals` places from the 15 significant digits Excel keeps, as the
// integer part without leading zeros ("" for zero) and the decimals.
struct Digits
{
    QString integer;
    QString fraction;
};

Digits decimalDigits(double value, int decimals, int shift = 0)
{
    Digits digits;
    if (value != 0) {
        // "d.dddddddddddddde±x": 15 significant digits and their exponent.
        const QString scientific = QString::number(value, 'e', 14);
        const qsizetype e = scientific.indexOf(u'e');
        const QString mantissa = scientific.left(1) + scientific.mid(2, e - 2);
        const int point = scientific.mid(e + 1).toInt() + 1 + shift; // digits before the point
        if (point <= 0) {
            digits.fraction = QString(-point, u'0') + mantissa;
        } else if (point >= mantissa.size()) {
            digits.integer = mantissa + QString(point - mantissa.size(), u'0');
        } else {
            digits.integer = mantissa.left(point);
            digits.fraction = mantissa.mid(point);
        }
    }
    if (digits.fraction.size() > decimals) {
        const bool up = digits.fraction.at(decimals) >= u'5';
        digits.fraction.truncate(decimals);
        if (up) {
            QString all = digits.integer + digits.fraction;
            qsizetype i = all.size() - 1;
            for (; i >= 0 && all.at(i) == u'9'; --i)
                all[i] = u'0';
            if (i >= 0)
                all[i] = QChar(all.at(i).unicode() + 1);
            else
                all.prepend(u'1');
            digits.integer = all.left(all.size() - decimals);
            digits.fraction = all.right(decimals);
        }
    }
    digits.fraction = digits.fraction.leftJustified(decimals, u'0');
    qsizetype zeros = 0;
    while (zeros < digits.integer.size() && digits.integer.at(zeros) == u'0')
        ++zeros;
    digits.integer.remove(0, zeros);
    return digits;
}

QString stripDecimals(const QString &text)
{
    if (!text.contains(u'.') || text.contains(u'E'))
        return text;
    qsizetype end = text.size();
    while (text.at(end - 1) == u'0')
        --end;
    if (text.at(end - 1) == u'.')
        --end;
    return text.left(end);
}

// "1.50000E-07" → "1.5E-07".
QString normalizeExponent(const QString &text)
{
    const qsizetype e = text.indexOf(u'E');
    if (e < 0)
        return text;
    QString mantissa = text.left(e);
    if (mantissa.contains(u'.')) {
        while (mantissa.endsWith(u'0'))
            mantissa.chop(1);
        if (mantissa.endsWith(u'.'))
            mantissa.chop(1);
    }
    return mantissa + text.mid(e);
}

QString padded(qint64 n, int width)
{
    return QString::number(n).rightJustified(width, u'0');
}

} // namespace

QString generalNumber(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    // The widest text that fits: 11 characters, the minus sign not counted.
    const qsizetype width = value < 0 ? 12 : 11;
    const int magnitude = int(std::floor(std::log10(std::fabs(value))));
    QString text;
    if (magnitude >= -4 && magnitude <= -1) {
        text = QString::number(value, 'g', 10 + magnitude);
    } else if (std::abs(magnitude) <= 9) {
        text = stripDecimals(QString::number(value, 'f', 12));
        if (text.size() > width)
            text = QString::number(value, 'g', 10);
        if (text.size() > width)
            text = QString::number(value, 'e', 5);
    } else if (magnitude == 10) {
        text = QString::number(value, 'f', 0);
    } else {
        text = stripDecimals(QString::number(value, 'f', 11));
        if (text.size() > width || text == u"0" || text == u"-0")
            text = QString::number(value, 'g', 6);
    }
    return stripDecimals(normalizeExponent(text.toUpper()));
}

NumberFormat::NumberFormat(const QString &code)
{
    if (code.size() > kMaxCodeChars)
        return;
    // Split at the semicolons outside quotes, escapes and brackets.
    QStringList parts;
    QString part;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == u';') {
            parts.append(part);
            part.clear();
            continue;
        }
        part += c;
        if (c == u'\\' || c == u'_' || c == u'*') {
            if (++i < code.size())
                part += code.at(i);
        } else if (c == u'"' || c == u'[') {
            const QChar close = c == u'"' ? u'"' : u']';
            while (++i < code.size() && code.at(i) != close)
                part += code.at(i);
            if (i < code.size())
                part += close;
        }
    }
    parts.append(part);
    if (parts.size() > 4)
        return;
    for (const QString &p : std::as_const(parts)) {
        std::optional<Section> section = parseSection(p);
        if (!section)
            return;
        m_sections.append(std::move(*section));
    }
    m_valid = true;
}

std::optional<NumberFormat::Section> NumberFormat::parseSection(const QString &code) const
{
    Section section;
    auto literal = [&](const QString &text) { section.tokens.append({Kind::Literal, text}); };
    auto run = [&](qsizetype i) {
        qsizetype end = i;
        while (end < code.size() && code.at(end).toLower() == code.at(i).toLower())
            ++end;
        return int(end - i);
    };
    bool seconds = false;
    qsizetype i = 0;
    while (i < code.size()) {
        const QChar c = code.at(i);
        const QChar lower = c.toLower();
        const QString rest = code.mid(i).toLower();
        if (c == u'"') {
            const qsizetype close = code.indexOf(u'"', i + 1);
            if (close < 0)
                return std::nullopt;
            literal(code.mid(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            if (i + 1 >= code.size())
                return std::nullopt;
            // _x leaves the width of x blank; *x fills the cell with x, which
            // a text of its own cannot show.
            if (c == u'\\')
                literal(code.at(i + 1));
            else if (c == u'_')
                literal(QStringLiteral(" "));
            i += 2;
        } else if (c == u'[') {
            const qsizetype close = code.indexOf(u']', i + 1);
            if (close < 0)
                return std::nullopt;
            const QString inside = code.mid(i + 1, close - i - 1);
            const QString lowerInside = inside.toLower();
            i = close + 1;
            if (isColor(lowerInside))
                continue;
            if (!lowerInside.isEmpty() && run(i - inside.size() - 1) == inside.size() &&
                QStringLiteral("hms").contains(lowerInside.at(0))) {
                const Kind kind = lowerInside.at(0) == u'h'   ? Kind::ElapsedHours
                                  : lowerInside.at(0) == u'm' ? Kind::ElapsedMinutes
                                                              : Kind::ElapsedSeconds;
                section.tokens.append({kind, QString(), int(inside.size())});
                seconds = seconds || kind == Kind::ElapsedSeconds;
                continue;
            }
            if (!inside.startsWith(u'$'))
                return std::nullopt; // a condition, another calendar or numeral system
            // [$symbol-locale]: the symbol is shown, the locale must be one we know.
            const qsizetype dash = inside.indexOf(u'-');
            literal(inside.mid(1, dash < 0 ? -1 : dash - 1));
            if (dash >= 0) {
                bool ok = false;
                const uint locale = inside.mid(dash + 1).toUInt(&ok, 16);
                if (!ok || (locale != kEnglishUs && locale != kChinesePrc))
                    return std::nullopt;
                section.chineseNames = locale == kChinesePrc;
            }
        } else if (c == u'0' || c == u'#' || c == u'?') {
            section.tokens.append({Kind::Digit, c});
            ++i;
        } else if (c == u'.') {
            const int zeros = i + 1 < code.size() && code.at(i + 1) == u'0' ? run(i + 1) : 0;
            if (seconds && zeros > 0) {
                if (zeros > kMaxSubSecondDigits)
                    return std::nullopt;
                section.tokens.append({Kind::SubSecond, QString(), zeros});
                i += 1 + zeros;
            } else {
                section.tokens.append({Kind::Point, QString()});
                ++i;
            }
        } else if (c == u',') {
            section.tokens.append({Kind::Comma, QString()});
            ++i;
        } else if (c == u'%') {
            section.tokens.append({Kind::Percent, QString()});
            ++i;
        } else if (c == u'@') {
            section.text = true;
            ++i;
        } else if (lower == u'e' && i + 1 < code.size() &&
                   (code.at(i + 1) == u'+' || code.at(i + 1) == u'-')) {
            section.tokens.append({Kind::Exponent, code.at(i + 1)});
            i += 2;
        } else if (rest.startsWith(u"general")) {
            section.tokens.append({Kind::General, QString()});
            i += 7;
        } else if (rest.startsWith(u"am/pm") || rest.startsWith(u"a/p") ||
                   rest.startsWith(u"上午/下午")) {
            const qsizetype length = rest.startsWith(u"a/p") ? 3 : 5;
            section.tokens.append({Kind::AmPm, code.mid(i, length)});
            section.hours12 = true;
            i += length;
        } else if (lower == u'y' || lower == u'm' || lower == u'd' || lower == u'h' ||
                   lower == u's' || lower == u'a') {
            const int width = run(i);
            const Kind kind = lower == u'y'   ? Kind::Year
                              : lower == u'm' ? Kind::Month
                              : lower == u'd' ? Kind::Day
                              : lower == u'h' ? Kind::Hour
                              : lower == u's' ? Kind::Second
                                              : Kind::Weekday;
            if (kind == Kind::Weekday && width < 3)
                return std::nullopt;
            section.tokens.append({kind, QString(), width});
            seconds = seconds || kind == Kind::Second;
            i += width;
        } else if (c.unicode() < 0x80 && c.isLetter()) {
            return std::nullopt; // an era, a Buddhist year, or no code at all
        } else {
            literal(c);
            ++i;
        }
    }

    // An m of one or two letters is minutes right after hours or right
    // before seconds, with only literals between.
    QList<Token> &tokens = section.tokens;
    auto neighbour = [&](qsizetype from, int step) -> const Token * {
        for (qsizetype j = from + step; j >= 0 && j < tokens.size(); j += step) {
            if (tokens.at(j).kind != Kind::Literal)
                return &tokens.at(j);
        }
        return nullptr;
    };
    for (qsizetype j = 0; j < tokens.size(); ++j) {
        if (tokens.at(j).kind != Kind::Month || tokens.at(j).width > 2)
            continue;
        const Token *before = neighbour(j, -1);
        const Token *after = neighbour(j, 1);
        if ((before && (before->kind == Kind::Hour || before->kind == Kind::ElapsedHours)) ||
            (after && (after->kind == Kind::Second || after->kind == Kind::ElapsedSeconds)))
            tokens[j].kind = Kind::Minute;
    }

    int points = 0;
    int exponents = 0;
    bool numeric = false;
    for (const Token &token : std::as_const(tokens)) {
        switch (token.kind) {
        case Kind::Literal:
        case Kind::Comma:
            break;
        case Kind::Digit:
        case Kind::Percent:
        case Kind::General:
            numeric = true;
            break;
        case Kind::Point:
            ++points;
            break;
        case Kind::Exponent:
            ++exponents;
            break;
        default:
            section.date = true;
        }
    }
    if (section.date && (numeric || points || exponents))
        return std::nullopt;
    // In a date a comma is only text.
    for (Token &token : tokens) {
        if (section.date && token.kind == Kind::Comma)
            token = {Kind::Literal, QStringLiteral(",")};
    }
    if (points > 1 || exponents > 1)
        return std::nullopt;
    // A slash between digits is a fraction.
    if (!section.date) {
        for (const Token &token : std::as_const(tokens)) {
            if (token.kind == Kind::Literal && token.text == u"/" && numeric)
                return std::nullopt;
        }
    }
    return section;
}

std::optional<QString> NumberFormat::format(double value, bool date1904) const
{
    if (!m_valid || !std::isfinite(value))
        return std::nullopt;
    // Up to three sections for numbers (positive; negative; zero); a fourth,
    // or a last one holding @, is for text.
    QList<const Section *> sections;
    for (const Section &section : m_sections)
        sections.append(&section);
    if (sections.size() == 4 || (!sections.isEmpty() && sections.last()->text))
        sections.removeLast();
    if (sections.isEmpty())
        return generalNumber(value);

    const Section *section = sections.first();
    QString sign;
    if (value < 0 && sections.size() >= 2) {
        section = sections.at(1);
        value = -value;
    } else if (value < 0) {
        sign = QStringLiteral("-");
        value = -value;
    } else if (value == 0 && sections.size() >= 3) {
        section = sections.at(2);
    }
    if (section->date) {
        if (!sign.isEmpty())
            return std::nullopt;
        return formatDate(*section, value, date1904);
    }
    const std::optional<QString> text = formatNumber(*section, value);
    if (!text)
        return std::nullopt;
    return sign + *text;
}

std::optional<QString> NumberFormat::formatNumber(const Section &section, double value) const
{
    const QList<Token> &tokens = section.tokens;
    // Where the placeholders are: before the point, after it, after the E.
    QList<qsizetype> integer;
    QList<qsizetype> fraction;
    QList<qsizetype> exponent;
    qsizetype exponentAt = -1;
    bool afterPoint = false;
    for (qsizetype j = 0; j < tokens.size(); ++j) {
        switch (tokens.at(j).kind) {
        case Kind::Digit:
            (exponentAt >= 0 ? exponent : afterPoint ? fraction : integer).append(j);
            break;
        case Kind::Point:
            afterPoint = true;
            break;
        case Kind::Exponent:
            exponentAt = j;
            break;
        case Kind::Percent:
            value *= 100;
            break;
        default:
            break;
        }
    }

    // A comma between digits of the integer groups thousands; commas right
    // after the last digit before the point scale by 1000 each.
    bool grouping = false;
    QList<bool> shown(tokens.size(), true);
    const qsizetype lastMantissa = !fraction.isEmpty()  ? fraction.last()
                                   : !integer.isEmpty() ? integer.last()
                                                        : -1;
    for (qsizetype j = 0; j < tokens.size(); ++j) {
        if (tokens.at(j).kind != Kind::Comma)
            continue;
        if (!integer.isEmpty() && j > integer.first() && j < integer.last()) {
            grouping = true;
            shown[j] = false;
            continue;
        }
        bool scales = lastMantissa >= 0 && j > lastMantissa;
        for (qsizetype k = lastMantissa + 1; scales && k < j; ++k)
            scales = tokens.at(k).kind == Kind::Comma;
        if (scales) {
            value /= 1000;
            shown[j] = false;
        }
    }

    const int decimals = int(fraction.size());
    Digits digits = decimalDigits(value, decimals);
    int power = 0;
    if (exponentAt >= 0) {
        // The exponent is a multiple of the integer digits: ##0.0E+0 is
        // engineering notation.
        const int step = std::max(1, int(integer.size()));
        if (value != 0) {
            const QString scientific = QString::number(value, 'e', 14);
            const int magnitude = scientific.mid(scientific.indexOf(u'e') + 1).toInt();
            power = int(std::floor(double(magnitude) / step)) * step;
            digits = decimalDigits(value, decimals, -power);
            if (digits.integer.size() > step) {
                power += step;
                digits = decimalDigits(value, decimals, -power);
            }
        }
    }

    // The integer's digits, filled into its placeholders from the right; the
    // first placeholder takes all that are left.
    QStringList integerText(integer.size());
    qsizetype left = digits.integer.size();
    int produced = 0;
    for (qsizetype p = integer.size() - 1; p >= 0; --p) {
        const QChar placeholder = tokens.at(integer.at(p)).text.at(0);
        QString piece;
        auto put = [&](QChar digit) {
            if (grouping && produced > 0 && produced % 3 == 0)
                piece.prepend(u',');
            piece.prepend(digit);
            ++produced;
        };
        if (left > 0)
            put(digits.integer.at(--left));
        while (p == 0 && left > 0)
            put(digits.integer.at(--left));
        if (piece.isEmpty() && placeholder == u'0')
            put(u'0');
        else if (piece.isEmpty() && placeholder == u'?')
            piece = QStringLiteral(" ");
        integerText[p] = piece;
    }
    // Trailing zeros of the decimals go where the placeholder is # or ?.
    QStringList fractionText;
    for (qsizetype p = 0; p < fraction.size(); ++p)
        fractionText.append(digits.fraction.at(p));
    for (qsizetype p = fraction.size() - 1; p >= 0 && digits.fraction.at(p) == u'0'; --p) {
        const QChar placeholder = tokens.at(fraction.at(p)).text.at(0);
        if (placeholder == u'0')
            break;
        fractionText[p] = placeholder == u'?' ? QStringLiteral(" ") : QString();
    }

    QString text;
    qsizetype nextInteger = 0;
    qsizetype nextFraction = 0;
    for (qsizetype j = 0; j < tokens.size(); ++j) {
        const Token &token = tokens.at(j);
        switch (token.kind) {
        case Kind::Literal:
            text += token.text;
            break;
        case Kind::Comma:
            if (shown.at(j))
                text += u',';
            break;
        case Kind::Percent:
            text += u'%';
            break;
        case Kind::General:
            text += generalNumber(value);
            break;
        case Kind::Point:
            // With no integer placeholder the integer still shows, if any.
            if (integer.isEmpty())
                text += digits.integer;
            text += u'.';
            break;
        case Kind::Digit:
            if (exponentAt >= 0 && j > exponentAt)
                break;
            text += nextInteger < integer.size() && integer.at(nextInteger) == j
                        ? integerText.at(nextInteger++)
                        : fractionText.at(nextFraction++);
            break;
        case Kind::Exponent: {
            int zeros = 0;
            for (const qsizetype k : std::as_const(exponent))
                zeros += tokens.at(k).text == u"0";
            text += u'E';
            if (power < 0)
                text += u'-';
            else if (token.text == u"+")
                text += u'+';
            text += padded(std::abs(power), zeros);
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return text;
}

std::optional<QString> NumberFormat::formatDate(const Section &section, double value,
                                                bool date1904) const
{
    if (value >= (date1904 ? kEndOf1904Dates : kEndOf1900Dates))
        return std::nullopt;
    int subDigits = 0;
    for (const Token &token : section.tokens) {
        if (token.kind == Kind::SubSecond)
            subDigits = std::max(subDigits, token.width);
        if (section.chineseNames && ((token.kind == Kind::Month && token.width > 2) ||
                                     (token.kind == Kind::Day && token.width > 2)))
            return std::nullopt;
    }
    // The time of day, rounded to the finest unit shown, may roll over into
    // the next day; units not shown are cut off, as Excel does.
    const qint64 unitsPerSecond = qint64(std::pow(10, subDigits));
    const qint64 unitsPerDay = 86400 * unitsPerSecond;
    qint64 day = qint64(std::floor(value));
    qint64 units = std::llround((value - double(day)) * double(unitsPerDay));
    if (units >= unitsPerDay) {
        ++day;
        units -= unitsPerDay;
    }
    const qint64 seconds = units / unitsPerSecond;
    const qint64 hour = seconds / 3600;
    const qint64 minute = seconds / 60 % 60;
    const qint64 second = seconds % 60;

    // Excel's 1900 system counts 29 February 1900, which never was, as day
    // 60; day 0 is shown as 0 January 1900.
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    int weekday = 0; // 0 is Sunday
    if (date1904) {
        const QDate date = QDate(1904, 1, 1).addDays(day);
        year = date.year();
        month = date.month();
        dayOfMonth = date.day();
        weekday = date.dayOfWeek() % 7;
    } else {
        if (day == 0) {
            year = 1900, month = 1, dayOfMonth = 0;
        } else if (day == 60) {
            year = 1900, month = 2, dayOfMonth = 29;
        } else {
            const QDate date = QDate(1899, 12, day < 60 ? 31 : 30).addDays(day);
            year = date.year();
            month = date.month();
            dayOfMonth = date.day();
        }
        // Excel counts 1 January 1900 as a Sunday.
        weekday = int((day + 6) % 7);
    }

    QString text;
    for (const Token &token : section.tokens) {
        switch (token.kind) {
        case Kind::Literal:
            text += token.text;
            break;
        case Kind::Year:
            text += token.width <= 2 ? padded(year % 100, 2) : padded(year, 4);
            break;
        case Kind::Month: {
            const QString name = QLatin1String(kMonthNames[month - 1]);
            text += token.width == 1   ? QString::number(month)
                    : token.width == 2 ? padded(month, 2)
                    : token.width == 3 ? name.left(3)
                    : token.width == 5 ? name.left(1)
                                       : name;
            break;
        }
        case Kind::Day:
            text += token.width == 1   ? QString::number(dayOfMonth)
                    : token.width == 2 ? padded(dayOfMonth, 2)
                    : token.width == 3 ? QLatin1String(kDayNames[weekday]).left(3)
                                       : QLatin1String(kDayNames[weekday]);
            break;
        case Kind::Weekday:
            if (token.width > 3)
                text += QStringLiteral("星期");
            text += QChar(kChineseDays[weekday]);
            break;
        case Kind::Hour: {
            qint64 h = hour;
            if (section.hours12)
                h = h % 12 == 0 ? 12 : h % 12;
            text += padded(h, std::min(token.width, 2));
            break;
        }
        case Kind::Minute:
            text += padded(minute, std::min(token.width, 2));
            break;
        case Kind::Second:
            text += padded(second, std::min(token.width, 2));
            break;
        case Kind::SubSecond:
            text += u'.' + padded(units % unitsPerSecond, subDigits).left(token.width);
            break;
        case Kind::ElapsedHours:
            text += padded(day * 24 + hour, token.width);
            break;
        case Kind::ElapsedMinutes:
            text += padded((day * 24 + hour) * 60 + minute, token.width);
            break;
        case Kind::ElapsedSeconds:
            text += padded(((day * 24 + hour) * 60 + minute) * 60 + second, token.width);
            break;
        case Kind::AmPm: {
            const bool pm = hour >= 12;
            if (token.text == u"上午/下午")
                text += pm ? QStringLiteral("下午") : QStringLiteral("上午");
            else if (token.text.size() == 3)
                text += token.text.at(pm ? 2 : 0);
            else
                text += pm ? QStringLiteral("PM") : QStringLiteral("AM");
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return text;
}

QString NumberFormat::builtinCode(int id)
{
    switch (id) {
    case 0:
        return QStringLiteral("General");
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 9:
        return QStringLiteral("0%");
    case 10:
        return QStringLiteral("0.00%");
    case 11:
        return QStringLiteral("0.00E+00");
    case 12:
        return QStringLiteral("# ?/?");
    case 13:
        return QStringLiteral("# ?\?/?\?");
    case 14:
        return QStringLiteral("yyyy/m/d");
    case 15:
        return QStringLiteral("d-mmm-yy");
    case 16:
        return QStringLiteral("d-mmm");
    case 17:
        return QStringLiteral("mmm-yy");
    case 18:
        return QStringLiteral("h:mm AM/PM");
    case 19:
        return QStringLiteral("h:mm:ss AM/PM");
    case 20:
        return QStringLiteral("h:mm");
    case 21:
        return QStringLiteral("h:mm:ss");
    case 22:
        return QStringLiteral("yyyy/m/d h:mm");
    case 27:
    case 36:
    case 50:
    case 52:
    case 57:
        return QStringLiteral("yyyy\"年\"m\"月\"");
    case 28:
    case 29:
    case 51:
    case 53:
    case 54:
    case 58:
        return QStringLiteral("m\"月\"d\"日\"");
    case 30:
        return QStringLiteral("m-d-yy");
    case 31:
        return QStringLiteral("yyyy\"年\"m\"月\"d\"日\"");
    case 32:
        return QStringLiteral("h\"时\"mm\"分\"");
    case 33:
        return QStringLiteral("h\"时\"mm\"分\"ss\"秒\"");
    case 34:
    case 55:
        return QStringLiteral("上午/下午h\"时\"mm\"分\"");
    case 35:
    case 56:
        return QStringLiteral("上午/下午h\"时\"mm\"分\"ss\"秒\"");
    case 37:
        return QStringLiteral("#,##0 ;(#,##0)");
    case 38:
        return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39:
        return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40:
        return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 45:
        return QStringLiteral("mm:ss");
    case 46:
        return QStringLiteral("[h]:mm:ss");
    case 47:
        return QStringLiteral("mmss.0");
    case 48:
        return QStringLiteral("##0.0E+0");
    case 49:
        return QStringLiteral("@");
    default:
        return QString();
    }
}

} // namespace authoring

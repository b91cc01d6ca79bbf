#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace authoring {

// A number format of a workbook's styles, applied to a number the way Excel
// shows it in a cell: dates and times (in the 1900 or the 1904 date system),
// percentages, fixed decimals, thousands separators, scientific notation and
// quoted text. What cannot be shown exactly as Excel shows it is refused, not
// guessed: conditions such as [>100], fractions, other calendars and numeral
// systems, the system's own long date and time ([$-F800]), and values Excel
// itself shows as ##### (a negative date, a year past 9999).
class NumberFormat
{
public:
    explicit NumberFormat(const QString &code);

    // The text Excel shows for `value`, or nothing when it cannot be shown
    // as Excel shows it.
    std::optional<QString> format(double value, bool date1904) const;

    // The code of a built-in format as Excel set to Chinese (PRC) shows it,
    // so 14 is the short date yyyy/m/d; empty for an id that is not built in
    // or whose look depends on the computer's settings (the currencies 5-8
    // and accounting formats 41-44).
    static QString builtinCode(int id);

private:
    enum class Kind
    {
        Literal,
        Digit, // 0, # or ?
        Point, // the decimal point
        Comma, // a thousands separator, a scaling by 1000, or text
        Percent,
        Exponent, // E+ or E-
        General,
        Year,
        Month,
        Minute, // an m next to hours or seconds
        Day,
        Weekday, // aaa, aaaa: the day of the week in Chinese
        Hour,
        Second,
        SubSecond, // .0 to .000 after seconds
        ElapsedHours,
        ElapsedMinutes,
        ElapsedSeconds,
        AmPm
    };
    struct Token
    {
        Kind kind;
        QString text; // a literal's text, a digit's placeholder, an AM/PM marker
        int width = 0;
    };
    struct Section
    {
        QList<Token> tokens;
        bool date = false;
        bool text = false; // holds @: the section for text
        bool hours12 = false;
        bool chineseNames = false; // [$-804]: Excel's month and day names differ
    };

    std::optional<Section> parseSection(const QString &code) const;
    std::optional<QString> formatNumber(const Section &section, double value) const;
    std::optional<QString> formatDate(const Section &section, double value, bool date1904) const;

    QList<Section> m_sections;
    bool m_valid = false;
};

// A number as Excel's General format shows it in a cell wide enough for 11
// characters: at most 10 significant digits, 0.000054 rather than 5.4E-05,
// and an exponent (1.23457E+15, 1E-10) only when the digits do not fit.
// Whole numbers below 10^15 are the exception: they keep every digit, as a
// wider cell shows them, because a bank's ids and telephone numbers must
// come through exactly.
QString generalNumber(double value);

} // namespace authoring

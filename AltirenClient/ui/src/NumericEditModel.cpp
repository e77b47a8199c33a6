#include "AltirenUi/NumericEditModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

constexpr int kMaxDecimalPlaces = 100;

bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

void CNumericEditModel::SeparatorsOf(QChar localeDecimal, QChar localeGroup, QChar& thousands,
                                     QChar& decimal) {
    decimal = localeDecimal;
    thousands = localeGroup != localeDecimal ? localeGroup : QChar(',');
}

void CNumericEditModel::SetValue(double value) {
    m_value = std::isfinite(value) ? value : 0.0;
    Rebuild(0);
}

void CNumericEditModel::SetGrouping(bool grouping) {
    m_grouping = grouping;
    Rebuild(0);
}

void CNumericEditModel::SetThousandsSeparator(QChar separator) {
    m_thousands = separator;
    Rebuild(0);
}

void CNumericEditModel::SetDecimalSeparator(QChar separator) {
    m_decimal = separator;
    Rebuild(0);
}

void CNumericEditModel::SetDecimalPlaces(int places) {
    m_decimals = std::clamp(places, 0, kMaxDecimalPlaces);
    Rebuild(0);
}

// The digits are those of the shortest decimal text that reads back as the value, so
// that a typed 0.29 shows as 0.29; cutting the value's full binary expansion
// (0.28999...) would show 0.28.
QString CNumericEditModel::Format(double value) const {
    if (!std::isfinite(value))
        value = 0.0;
    const bool negative = std::signbit(value);
    std::string digits = "0";
    int point = 1;
    if (value != 0.0) {
        char buffer[64];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                           std::chars_format::scientific);
        const std::string text(buffer, written.ptr);
        const size_t e = text.find('e');
        digits.clear();
        for (size_t i = 0; i < e; ++i)
            if (text[i] != '.')
                digits += text[i];
        point = std::atoi(text.c_str() + e + 1) + 1;
    }
    // A point before the first digit: zeros in front, the point before them.
    if (point < 0) {
        digits.insert(0, static_cast<size_t>(-point), '0');
        point = 0;
    }
    const size_t whole = static_cast<size_t>(point);
    std::string integer = digits.substr(0, std::min(whole, digits.size()));
    if (whole > digits.size())
        integer.append(whole - digits.size(), '0');
    if (integer.empty())
        integer = "0";
    std::string fraction = whole < digits.size() ? digits.substr(whole) : std::string();
    fraction.resize(static_cast<size_t>(m_decimals), '0');

    QString out;
    if (negative)
        out += QLatin1Char('-');
    for (size_t i = 0; i < integer.size(); ++i) {
        if (m_grouping && i > 0 && (integer.size() - i) % 3 == 0)
            out += m_thousands;
        out += QLatin1Char(integer[i]);
    }
    if (m_decimals > 0) {
        out += m_decimal;
        out += QString::fromLatin1(fraction.c_str());
    }
    return out;
}

bool CNumericEditModel::Parse(const QString& text, double& value) const {
    std::string plain;
    bool negative = false;
    bool anyDigit = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsDigit(c)) {
            plain += static_cast<char>(c.unicode());
            anyDigit = true;
        } else if (c == m_decimal && m_decimals > 0) {
            plain += '.';
        } else if (c == QLatin1Char('-') && i == 0) {
            negative = true;
        }
    }
    if (!anyDigit) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    double number = 0;
    const auto read = std::from_chars(plain.data(), plain.data() + plain.size(), number);
    if (read.ec != std::errc() || !std::isfinite(number))
        return false;
    value = negative ? -number : number;
    return true;
}

int CNumericEditModel::DecimalIndex(const QString& text) const {
    return m_decimals > 0 ? static_cast<int>(text.lastIndexOf(m_decimal)) : -1;
}

CNumericEditModel::CaretPlace CNumericEditModel::PlaceOf(const QString& text, int caret) const {
    CaretPlace place;
    const int dec = DecimalIndex(text);
    if (dec >= 0 && caret > dec) {
        place.inFraction = true;
        for (int i = dec + 1; i < caret && i < text.size(); ++i)
            place.digits += IsDigit(text[i]);
        return place;
    }
    const int end = dec >= 0 ? dec : static_cast<int>(text.size());
    for (int i = std::max(caret, 0); i < end; ++i)
        place.digits += IsDigit(text[i]);
    return place;
}

int CNumericEditModel::CaretFor(const QString& text, CaretPlace place) const {
    const int dec = DecimalIndex(text);
    if (place.inFraction && dec >= 0) {
        int pos = dec + 1;
        for (int passed = 0; passed < place.digits && pos < text.size(); ++pos)
            passed += IsDigit(text[pos]);
        return pos;
    }
    const int start = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    int pos = dec >= 0 ? dec : static_cast<int>(text.size());
    for (int passed = 0; passed < place.digits && pos > start;) {
        --pos;
        passed += IsDigit(text[pos]);
    }
    return pos;
}

CNumericEditModel::Edit CNumericEditModel::Accept(const QString& edited, int caret) {
    double value = 0;
    if (!Parse(edited, value))
        return Edit::Dropped;
    const CaretPlace place = PlaceOf(edited, caret);
    m_value = value;
    m_text = Format(value);
    m_caret = CaretFor(m_text, place);
    return Edit::Changed;
}

CNumericEditModel::Edit CNumericEditModel::MoveTo(int caret) {
    m_caret = std::clamp(caret, 0, static_cast<int>(m_text.size()));
    return Edit::Moved;
}

void CNumericEditModel::Rebuild(int caret) {
    m_text = Format(m_value);
    m_caret = std::clamp(caret, 0, static_cast<int>(m_text.size()));
}

CNumericEditModel::Edit CNumericEditModel::TypeCharacter(QChar c, int selStart, int selEnd) {
    const int length = static_cast<int>(m_text.size());
    int s = std::clamp(std::min(selStart, selEnd), 0, length);
    const int e = std::clamp(std::max(selStart, selEnd), 0, length);
    QString edited = m_text;
    const bool hasSign = m_text.startsWith(QLatin1Char('-'));

    if (IsDigit(c)) {
        // A digit is taken or refused, never dropped without a word.
        const auto taken = [](Edit edit) { return edit == Edit::Dropped ? Edit::Refused : edit; };
        if (s != e) {
            edited.remove(s, e - s);
        } else {
            const int dec = DecimalIndex(m_text);
            if (dec >= 0 && s > dec) {
                // The fraction has its fixed length: a digit takes the place of the next.
                if (s >= length)
                    return Edit::Refused;
                edited[s] = c;
                return taken(Accept(edited, s + 1));
            }
        }
        if (s == 0 && hasSign && !edited.isEmpty() && edited[0] == QLatin1Char('-'))
            s = 1;
        edited.insert(s, c);
        return taken(Accept(edited, s + 1));
    }
    if (c == QLatin1Char('-')) {
        if (hasSign) {
            edited.remove(0, 1);
            return Accept(edited, std::max(s - 1, 0));
        }
        edited.prepend(QLatin1Char('-'));
        return Accept(edited, s + 1);
    }
    if (c == QLatin1Char('+')) {
        if (!hasSign)
            return Edit::Dropped;
        edited.remove(0, 1);
        return Accept(edited, std::max(s - 1, 0));
    }
    if (c == m_decimal && m_decimals > 0)
        return MoveTo(DecimalIndex(m_text) + 1);
    return Edit::Dropped;
}

CNumericEditModel::Edit CNumericEditModel::Backspace(int selStart, int selEnd) {
    const int length = static_cast<int>(m_text.size());
    const int s = std::clamp(std::min(selStart, selEnd), 0, length);
    const int e = std::clamp(std::max(selStart, selEnd), 0, length);
    QString edited = m_text;
    if (s != e) {
        edited.remove(s, e - s);
        return Accept(edited, s);
    }
    if (s == 0)
        return Edit::Dropped;
    const QChar before = m_text[s - 1];
    if (before == m_decimal && s - 1 == DecimalIndex(m_text))
        return MoveTo(s - 1);
    if (before == m_thousands && m_grouping && s >= 2) {
        edited.remove(s - 2, 1);
        return Accept(edited, s - 2);
    }
    edited.remove(s - 1, 1);
    return Accept(edited, s - 1);
}

CNumericEditModel::Edit CNumericEditModel::Delete(int selStart, int selEnd) {
    const int length = static_cast<int>(m_text.size());
    const int s = std::clamp(std::min(selStart, selEnd), 0, length);
    const int e = std::clamp(std::max(selStart, selEnd), 0, length);
    QString edited = m_text;
    if (s != e) {
        edited.remove(s, e - s);
        return Accept(edited, s);
    }
    if (s >= length)
        return Edit::Dropped;
    const QChar at = m_text[s];
    if (at == m_decimal && s == DecimalIndex(m_text))
        return MoveTo(s + 1);
    if (at == m_thousands && m_grouping && s + 1 < length) {
        edited.remove(s + 1, 1);
        return Accept(edited, s);
    }
    edited.remove(s, 1);
    return Accept(edited, s);
}

// What a formatted numeric edit holds and how keys change it, without a widget. The
// value is always shown as a sign, the integer digits grouped in threes, a decimal
// separator and a fixed number of fraction digits, cut (not rounded); every accepted
// edit reads the edited text back into the value and rebuilds the text from it.
#pragma once

#include <QChar>
#include <QString>

class CNumericEditModel {
public:
    CNumericEditModel() { Rebuild(0); }

    // The separators of a locale: the decimal one as it is, the thousands one unless it
    // equals the decimal one (',' stays then).
    static void SeparatorsOf(QChar localeDecimal, QChar localeGroup, QChar& thousands,
                             QChar& decimal);

    double GetValue() const { return m_value; }
    // Rebuilds the text and puts the caret at the start.
    void SetValue(double value);

    bool GetGrouping() const { return m_grouping; }
    QChar GetThousandsSeparator() const { return m_thousands; }
    QChar GetDecimalSeparator() const { return m_decimal; }
    int GetDecimalPlaces() const { return m_decimals; }
    // Each setter rebuilds the text from the current value.
    void SetGrouping(bool grouping);
    void SetThousandsSeparator(QChar separator);
    void SetDecimalSeparator(QChar separator);
    void SetDecimalPlaces(int places);

    const QString& GetText() const { return m_text; }
    int GetCaret() const { return m_caret; }

    // The text of a value with the current settings.
    QString Format(double value) const;
    // A text read back into a value (separators dropped); false when it holds no number
    // a double can hold. A text without digits reads as 0.
    bool Parse(const QString& text, double& value) const;

    // What an edit did: nothing (the key is dropped; the caret stays where it was), moved
    // the caret only, or changed the text (and placed the caret). Refused: a digit the
    // field cannot take (past the last fraction place), which the owner tells the user of;
    // nothing changed.
    enum class Edit { Dropped, Moved, Changed, Refused };

    // Edits at the caret or over the selection [selStart, selEnd) of the current text.
    // A digit inserts (in the fraction it overwrites the digit at the caret) or is
    // refused, '-' toggles the sign, '+' removes it, the decimal separator moves the caret
    // into the fraction; any other character is dropped.
    Edit TypeCharacter(QChar c, int selStart, int selEnd);
    // The selection or the character before the caret; a thousands separator is passed
    // over together with the digit beyond it, the decimal separator is only passed over.
    Edit Backspace(int selStart, int selEnd);
    // The selection or the character after the caret, with the same rules.
    Edit Delete(int selStart, int selEnd);

private:
    // Where the caret stands, independent of the separators: in the integer part with so
    // many digits to its right, or in the fraction with so many digits to its left.
    struct CaretPlace {
        bool inFraction = false;
        int digits = 0;
    };
    CaretPlace PlaceOf(const QString& text, int caret) const;
    int CaretFor(const QString& text, CaretPlace place) const;
    int DecimalIndex(const QString& text) const;
    // Takes an edited text: reads it, rebuilds the text, puts the caret at the place.
    Edit Accept(const QString& edited, int caret);
    Edit MoveTo(int caret);
    void Rebuild(int caret);

    double m_value = 0;
    bool m_grouping = true;
    QChar m_thousands = ',';
    QChar m_decimal = '.';
    int m_decimals = 0;
    QString m_text;
    int m_caret = 0;
};

// The numeric edit without a widget: formatting, reading back, and edits by keys.
#include "AltirenUi/NumericEditModel.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using Edit = CNumericEditModel::Edit;

CNumericEditModel Model(int decimals, double value) {
    CNumericEditModel model;
    model.SetDecimalPlaces(decimals);
    model.SetValue(value);
    return model;
}

// Types the text at the caret, one character at a time.
void Type(CNumericEditModel& model, const char* text) {
    for (const char* c = text; *c; ++c)
        model.TypeCharacter(QLatin1Char(*c), model.GetCaret(), model.GetCaret());
}

TEST(NumericEditModel, ShowsTheValueGroupedWithItsFractionCutNotRounded) {
    CNumericEditModel model = Model(2, 1234567.891);
    EXPECT_EQ(model.GetText(), "1,234,567.89");
    model.SetGrouping(false);
    EXPECT_EQ(model.GetText(), "1234567.89");
    model.SetGrouping(true);
    model.SetDecimalPlaces(0);
    EXPECT_EQ(model.GetText(), "1,234,567");
    model.SetThousandsSeparator('.');
    model.SetDecimalSeparator(',');
    model.SetDecimalPlaces(2);
    EXPECT_EQ(model.GetText(), "1.234.567,89");

    const CNumericEditModel plain = Model(2, 0);
    EXPECT_EQ(plain.GetText(), "0.00");
    EXPECT_EQ(plain.Format(0.05), "0.05");  // point one place before the first digit
    EXPECT_EQ(plain.Format(0.005), "0.00"); // two places: cut
    EXPECT_EQ(plain.Format(0.999), "0.99");
    EXPECT_EQ(plain.Format(0.29), "0.29"); // not the 0.28999... of its binary expansion
    EXPECT_EQ(plain.Format(90.5), "90.50");
    EXPECT_EQ(plain.Format(-5), "-5.00");
    EXPECT_EQ(plain.Format(4294967295.0), "4,294,967,295.00");
    EXPECT_EQ(plain.Format(1e20), "100,000,000,000,000,000,000.00");
    EXPECT_EQ(Model(4, 0.0001).GetText(), "0.0001"); // three places before the first digit
    EXPECT_EQ(Model(0, 999.9).GetText(), "999");
    EXPECT_EQ(Model(0, 1000).GetText(), "1,000");
}

TEST(NumericEditModel, TakesTheSeparatorsOfTheLocaleUnlessBothAreTheSame) {
    QChar thousands, decimal;
    CNumericEditModel::SeparatorsOf('.', ',', thousands, decimal);
    EXPECT_EQ(thousands, ',');
    EXPECT_EQ(decimal, '.');
    CNumericEditModel::SeparatorsOf(',', QChar(0x00A0), thousands, decimal);
    EXPECT_EQ(thousands, QChar(0x00A0));
    EXPECT_EQ(decimal, ',');
    CNumericEditModel::SeparatorsOf(',', ',', thousands, decimal);
    EXPECT_EQ(thousands, ',');
    EXPECT_EQ(decimal, ',');
}

TEST(NumericEditModel, ReadsItsTextBackIntoTheValue) {
    const CNumericEditModel model = Model(2, 0);
    double value = -1;
    ASSERT_TRUE(model.Parse("1,234.50", value));
    EXPECT_EQ(value, 1234.5);
    ASSERT_TRUE(model.Parse("-8,001", value));
    EXPECT_EQ(value, -8001);
    ASSERT_TRUE(model.Parse("", value));
    EXPECT_EQ(value, 0);
    ASSERT_TRUE(model.Parse("-", value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(model.Parse(QString(400, '9'), value)); // no double holds it
}

TEST(NumericEditModel, DigitsSignsAndOtherKeys) {
    CNumericEditModel model = Model(0, 5);
    EXPECT_EQ(model.TypeCharacter('x', 1, 1), Edit::Dropped);
    EXPECT_EQ(model.TypeCharacter(' ', 1, 1), Edit::Dropped);
    EXPECT_EQ(model.TypeCharacter('.', 1, 1), Edit::Dropped); // no fraction to move into
    EXPECT_EQ(model.GetText(), "5");
    EXPECT_EQ(model.TypeCharacter('-', 1, 1), Edit::Changed);
    EXPECT_EQ(model.GetText(), "-5");
    EXPECT_EQ(model.GetValue(), -5);
    EXPECT_EQ(model.GetCaret(), 2); // the caret moves with the text
    model.TypeCharacter('-', 2, 2);
    EXPECT_EQ(model.GetText(), "5");
    model.TypeCharacter('-', 0, 0);
    EXPECT_EQ(model.TypeCharacter('+', 0, 0), Edit::Changed);
    EXPECT_EQ(model.GetText(), "5");
    EXPECT_EQ(model.TypeCharacter('+', 0, 0), Edit::Dropped);

    // Typed after the lone 0, digits grow the number; the separators follow.
    CNumericEditModel latency = Model(0, 0);
    latency.TypeCharacter('8', 1, 1);
    Type(latency, "001");
    EXPECT_EQ(latency.GetText(), "8,001");
    EXPECT_EQ(latency.GetValue(), 8001);
    EXPECT_EQ(latency.GetCaret(), 5);
    // A digit typed in front of the sign goes after it.
    latency.TypeCharacter('-', 5, 5);
    latency.TypeCharacter('1', 0, 0);
    EXPECT_EQ(latency.GetText(), "-18,001");
}

TEST(NumericEditModel, TheFractionKeepsItsLengthAndDigitsTakeItsPlaces) {
    CNumericEditModel loss = Model(2, 0);
    loss.TypeCharacter('9', 0, 4); // over the whole text
    EXPECT_EQ(loss.GetText(), "9.00");
    EXPECT_EQ(loss.GetCaret(), 1);
    Type(loss, "0");
    EXPECT_EQ(loss.GetText(), "90.00");
    EXPECT_EQ(loss.TypeCharacter('.', 2, 2), Edit::Moved);
    EXPECT_EQ(loss.GetCaret(), 3);
    Type(loss, "5");
    EXPECT_EQ(loss.GetText(), "90.50");
    EXPECT_EQ(loss.GetValue(), 90.5);
    EXPECT_EQ(loss.GetCaret(), 4);
    Type(loss, "7");
    EXPECT_EQ(loss.GetText(), "90.57");
    // Past the last place the digit is refused (its owner says so), the text unchanged.
    EXPECT_EQ(loss.TypeCharacter('1', 5, 5), Edit::Refused);
    EXPECT_EQ(loss.GetText(), "90.57");
    EXPECT_EQ(loss.GetCaret(), 5);
}

TEST(NumericEditModel, BackspaceAndDeletePassOverTheSeparators) {
    CNumericEditModel model = Model(2, 1234);
    ASSERT_EQ(model.GetText(), "1,234.00");
    // Backspace right after the thousands separator takes the digit before it.
    EXPECT_EQ(model.Backspace(2, 2), Edit::Changed);
    EXPECT_EQ(model.GetText(), "234.00");
    EXPECT_EQ(model.GetCaret(), 0);

    model.SetValue(1234);
    // Delete right before it takes the digit after it.
    EXPECT_EQ(model.Delete(1, 1), Edit::Changed);
    EXPECT_EQ(model.GetText(), "134.00");
    EXPECT_EQ(model.GetCaret(), 1);

    // The decimal separator is only passed over.
    EXPECT_EQ(model.Backspace(4, 4), Edit::Moved);
    EXPECT_EQ(model.GetCaret(), 3);
    EXPECT_EQ(model.Delete(3, 3), Edit::Moved);
    EXPECT_EQ(model.GetCaret(), 4);
    EXPECT_EQ(model.GetText(), "134.00");

    // Removing every digit leaves 0, the caret before the point.
    model.Backspace(0, 3);
    EXPECT_EQ(model.GetText(), "0.00");
    EXPECT_EQ(model.GetValue(), 0);
    EXPECT_EQ(model.GetCaret(), 1);
    EXPECT_EQ(model.Backspace(0, 0), Edit::Dropped);
    EXPECT_EQ(model.Delete(4, 4), Edit::Dropped);

    CNumericEditModel latency = Model(0, 5);
    latency.Backspace(1, 1);
    EXPECT_EQ(latency.GetText(), "0");
    Type(latency, "7"); // after the lone 0: 07 reads 7
    EXPECT_EQ(latency.GetText(), "7");
}

TEST(NumericEditModel, SettingTheValueRebuildsTheTextWithTheCaretAtTheStart) {
    CNumericEditModel model = Model(0, 0);
    Type(model, "12");
    ASSERT_EQ(model.GetCaret(), 2);
    model.SetValue(8000);
    EXPECT_EQ(model.GetText(), "8,000");
    EXPECT_EQ(model.GetCaret(), 0);
    model.SetValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(model.GetText(), "0");
}

} // namespace

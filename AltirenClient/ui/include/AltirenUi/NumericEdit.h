// An edit that holds a floating-point value and always shows it formatted (sign, digits
// grouped in threes, decimal separator, a fixed number of fraction digits). Keys are
// taken one by one (CNumericEditModel); the separators come from the system locale. The
// right and middle mouse buttons are ignored: no context menu, no pasting of other text.
// The focus selects the whole text unless a click placed the caret, so that typing
// replaces the value; a digit the field cannot take is announced with digitRefused.
#pragma once

#include "AltirenUi/NumericEditModel.h"

#include <QLineEdit>

class CNumericEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CNumericEdit(QWidget* parent = nullptr);

    double GetValue() const { return m_model.GetValue(); }
    // Rebuilds the text and puts the caret at the start.
    void SetValue(double value);

    bool GetGrouping() const { return m_model.GetGrouping(); }
    QChar GetThousandsSeparator() const { return m_model.GetThousandsSeparator(); }
    QChar GetDecimalSeparator() const { return m_model.GetDecimalSeparator(); }
    int GetDecimalPlaces() const { return m_model.GetDecimalPlaces(); }
    // Each setter rebuilds the text from the current value.
    void SetGrouping(bool grouping);
    void SetThousandsSeparator(QChar separator);
    void SetDecimalSeparator(QChar separator);
    void SetDecimalPlaces(int places);

signals:
    // A typed digit was not taken (past the last fraction place); the text is unchanged.
    void digitRefused();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Shows what an edit of the model did; a changed text is announced with textChanged.
    void Show(CNumericEditModel::Edit edit);

    CNumericEditModel m_model;
};

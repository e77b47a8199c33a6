// The address control: four fields of at most three digits side by side with dots drawn
// between them. Digits are typed; '.' and blank move to the next field; a third digit
// checks the field (above 255 gives the message and selects it again, else the focus
// moves on, and a '.' right after it stays in the new field); Right at a field's end and Left at
// its start cross to the neighbour field; Tab and Shift+Tab leave the control; Enter and Escape go
// on to the dialog. Colours come from the palette.
#pragma once

#include "AltirenClient/Prompt.h"
#include "AltirenUi/IpAddressFields.h"

#include <QWidget>

#include <array>
#include <string>

class QLineEdit;

class CIPAddrCtl : public QWidget {
    Q_OBJECT

public:
    // The fields carry their number (1 to 4) as this property.
    static constexpr const char* kFieldProperty = "ipAddrField";

    // prompt: where the field messages go (none when null).
    explicit CIPAddrCtl(IPrompt* prompt, QWidget* parent = nullptr);

    // Reads the four fields; false for an incomplete address (its count names the field,
    // which is selected, after its message when messages is set).
    bool GetAddress(IpAddressValue& address, bool messages);
    void SetAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
    // All four fields empty.
    bool IsBlank() const;
    void Clear();

    // The dialog exchange: reading gets the address with messages and refuses 0.0.0.0
    // ("Please specify a non zero IP address."); the text is "%d.%d.%d.%d".
    bool GetText(std::string& dotted);
    void SetText(const std::string& dotted);

    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return m_bReadOnly; }

    QLineEdit* Field(int index) const { return m_fields[static_cast<size_t>(index)]; }
    QSize sizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int IndexOf(QObject* field) const;
    bool OnFieldKey(int index, QKeyEvent* key);
    void FocusField(int index, bool selectText);
    void AfterDigit(int index);
    void LeaveControl(bool forward);
    void UpdateColours();
    int DotWidth() const;

    IPrompt* m_prompt;
    std::array<QLineEdit*, 4> m_fields{};
    bool m_bReadOnly = false;
    // The field a third digit has just moved the focus to (-1 after any other key).
    int m_nAdvancedTo = -1;
};

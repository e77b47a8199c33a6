#include "AltirenUi/NumericEdit.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>

namespace {

// The right button would open the context menu; the middle one pastes the X selection.
bool IsRefusedButton(const QMouseEvent* event) {
    return event->button() == Qt::RightButton || event->button() == Qt::MiddleButton;
}

} // namespace

CNumericEdit::CNumericEdit(QWidget* parent) : QLineEdit(parent) {
    const QLocale locale = QLocale::system();
    const QString decimal = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    QChar thousands, point;
    CNumericEditModel::SeparatorsOf(decimal.isEmpty() ? QChar('.') : decimal[0],
                                    group.isEmpty() ? QChar(',') : group[0], thousands, point);
    m_model.SetDecimalSeparator(point);
    m_model.SetThousandsSeparator(thousands);
    setAcceptDrops(false);
    setDragEnabled(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    Show(CNumericEditModel::Edit::Changed);
}

void CNumericEdit::SetValue(double value) {
    m_model.SetValue(value);
    Show(CNumericEditModel::Edit::Changed);
}

void CNumericEdit::SetGrouping(bool grouping) {
    m_model.SetGrouping(grouping);
    Show(CNumericEditModel::Edit::Changed);
}

void CNumericEdit::SetThousandsSeparator(QChar separator) {
    m_model.SetThousandsSeparator(separator);
    Show(CNumericEditModel::Edit::Changed);
}

void CNumericEdit::SetDecimalSeparator(QChar separator) {
    m_model.SetDecimalSeparator(separator);
    Show(CNumericEditModel::Edit::Changed);
}

void CNumericEdit::SetDecimalPlaces(int places) {
    m_model.SetDecimalPlaces(places);
    Show(CNumericEditModel::Edit::Changed);
}

void CNumericEdit::Show(CNumericEditModel::Edit edit) {
    if (edit == CNumericEditModel::Edit::Refused)
        emit digitRefused();
    if (edit == CNumericEditModel::Edit::Dropped || edit == CNumericEditModel::Edit::Refused)
        return;
    const bool differs = text() != m_model.GetText();
    {
        const QSignalBlocker quiet(this);
        if (differs)
            setText(m_model.GetText());
        setCursorPosition(m_model.GetCaret());
    }
    if (differs)
        emit textChanged(text());
}

// Tab, a page switch, the window's activation: the whole text, which a digit replaces.
void CNumericEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason)
        selectAll();
}

void CNumericEdit::keyPressEvent(QKeyEvent* event) {
    // Edits that would put other text in the field.
    for (QKeySequence::StandardKey key :
         {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
          QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord,
          QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine}) {
        if (event->matches(key)) {
            event->accept();
            return;
        }
    }
    const int selStart = hasSelectedText() ? selectionStart() : cursorPosition();
    const int selEnd = hasSelectedText() ? selectionEnd() : cursorPosition();
    const Qt::KeyboardModifiers commands = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
        Show(m_model.Backspace(selStart, selEnd));
        event->accept();
        return;
    case Qt::Key_Delete:
        Show(m_model.Delete(selStart, selEnd));
        event->accept();
        return;
    case Qt::Key_Insert:
        event->accept();
        return;
    default:
        break;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed[0].isPrint() && !(event->modifiers() & commands)) {
        Show(m_model.TypeCharacter(typed[0], selStart, selEnd));
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CNumericEdit::mousePressEvent(QMouseEvent* event) {
    if (IsRefusedButton(event)) {
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void CNumericEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (IsRefusedButton(event)) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CNumericEdit::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

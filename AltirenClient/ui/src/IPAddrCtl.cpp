#include "AltirenUi/IPAddrCtl.h"

#include "AltirenClient/StringTable.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>

#include <cstdio>

namespace {
constexpr int kFrame = 2;
} // namespace

CIPAddrCtl::CIPAddrCtl(IPrompt* prompt, QWidget* parent) : QWidget(parent), m_prompt(prompt) {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        auto* field = new QLineEdit(this);
        field->setProperty(kFieldProperty, static_cast<int>(i + 1));
        field->setMaxLength(3);
        // Digits only, pasted text too.
        field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,3}")), field));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setContextMenuPolicy(Qt::NoContextMenu);
        // Tab reaches the control through its first field; the others are clicked or
        // reached by the control's own keys.
        field->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        field->installEventFilter(this);
        m_fields[i] = field;
    }
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_fields[0]);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    UpdateColours();
}

QSize CIPAddrCtl::sizeHint() const {
    const QFontMetrics metrics(font());
    const int field = metrics.horizontalAdvance(QStringLiteral("2555"));
    return QSize(4 * field + 3 * DotWidth() + 2 * kFrame, metrics.height() + 2 * kFrame + 4);
}

int CIPAddrCtl::DotWidth() const {
    return QFontMetrics(font()).horizontalAdvance(QLatin1Char('.'));
}

void CIPAddrCtl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int dot = DotWidth();
    const int inner = width() - 2 * kFrame;
    const int field = (inner - 3 * dot) / 4;
    const int height = this->height() - 2 * kFrame;
    for (size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setGeometry(kFrame + static_cast<int>(i) * (field + dot), kFrame, field,
                                 height);
}

void CIPAddrCtl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool writable = isEnabled() && !m_bReadOnly;
    painter.fillRect(rect(), palette().color(writable ? QPalette::Base : QPalette::Button));
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = kFrame;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_FrameLineEdit, &frame, &painter, this);
    // The dots: window text when enabled, grey text when not.
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    for (size_t i = 0; i + 1 < m_fields.size(); ++i) {
        const QRect field = m_fields[i]->geometry();
        const QRect dot(field.right() + 1, field.top(), DotWidth(), field.height());
        painter.drawText(dot, Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("."));
    }
}

void CIPAddrCtl::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
        UpdateColours();
        break;
    case QEvent::FontChange:
        for (QLineEdit* field : m_fields)
            field->setFont(font());
        updateGeometry();
        break;
    default:
        break;
    }
}

void CIPAddrCtl::UpdateColours() {
    const bool writable = isEnabled() && !m_bReadOnly;
    const QColor background = palette().color(writable ? QPalette::Base : QPalette::Button);
    for (QLineEdit* field : m_fields) {
        QPalette colours = field->palette();
        colours.setColor(QPalette::Base, background);
        field->setPalette(colours);
    }
    update();
}

void CIPAddrCtl::SetReadOnly(bool readOnly) {
    m_bReadOnly = readOnly;
    for (QLineEdit* field : m_fields)
        field->setReadOnly(readOnly);
    UpdateColours();
}

int CIPAddrCtl::IndexOf(QObject* field) const {
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i] == field)
            return static_cast<int>(i);
    return -1;
}

void CIPAddrCtl::FocusField(int index, bool selectText) {
    if (index < 0 || index >= static_cast<int>(m_fields.size()))
        return;
    QLineEdit* field = m_fields[static_cast<size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    if (selectText)
        field->selectAll();
}

bool CIPAddrCtl::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index < 0)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress)
        return OnFieldKey(index, static_cast<QKeyEvent*>(event));
    // A field left after the focus came to it by a third digit: a later '.' moves on.
    if (event->type() == QEvent::FocusOut && index == m_nAdvancedTo)
        m_nAdvancedTo = -1;
    if (event->type() == QEvent::FocusIn && index == 0 &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason)
        m_fields[0]->selectAll();
    return QWidget::eventFilter(watched, event);
}

// True when the key is handled here; false lets the field (and after it the dialog) have it.
bool CIPAddrCtl::OnFieldKey(int index, QKeyEvent* key) {
    QLineEdit* field = m_fields[static_cast<size_t>(index)];
    // A '.' typed after a third digit has already moved the focus belongs to that field,
    // whatever the field holds (a dialog may start at 0.0.0.0 or at an address).
    const bool justAdvanced = m_nAdvancedTo == index;
    m_nAdvancedTo = -1;
    switch (key->key()) {
    case Qt::Key_Tab:
        LeaveControl(true);
        return true;
    case Qt::Key_Backtab:
        LeaveControl(false);
        return true;
    case Qt::Key_Right:
        if (key->modifiers() == Qt::NoModifier && field->cursorPosition() == field->text().size() &&
            index < 3) {
            FocusField(index + 1, false);
            m_fields[static_cast<size_t>(index) + 1]->setCursorPosition(0);
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (key->modifiers() == Qt::NoModifier && field->cursorPosition() == 0 && index > 0) {
            QLineEdit* previous = m_fields[static_cast<size_t>(index) - 1];
            FocusField(index - 1, false);
            previous->setCursorPosition(static_cast<int>(previous->text().size()));
            return true;
        }
        return false;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // Not for the field: the dialog presses its default button or cancels.
        key->ignore();
        return true;
    default:
        break;
    }
    const QString text = key->text();
    if (text.size() != 1 || !text[0].isPrint() || (key->modifiers() & Qt::ControlModifier))
        return false; // editing and movement keys
    const QChar c = text[0];
    if (c == QLatin1Char('.') || c == QLatin1Char(' ')) {
        if (index < 3 && !justAdvanced)
            FocusField(index + 1, true);
        return true;
    }
    if (!c.isDigit() || c.unicode() > 0x7F) {
        QApplication::beep();
        return true;
    }
    if (m_bReadOnly)
        return true;
    const int before = static_cast<int>(field->text().size());
    const bool replacing = field->hasSelectedText();
    // Straight to the field, past this filter.
    static_cast<QObject*>(field)->event(key);
    // Only a digit that was taken and made the third one checks the field.
    if (field->text().size() == 3 && (replacing || before == 2))
        AfterDigit(index);
    return true;
}

void CIPAddrCtl::AfterDigit(int index) {
    QLineEdit* field = m_fields[static_cast<size_t>(index)];
    const std::optional<unsigned> value = IpFieldValue(field->text().toStdString());
    if (value && *value > 255) {
        if (m_prompt)
            TellIpFieldRange(*m_prompt, *value);
        FocusField(index, true);
        return;
    }
    if (index < 3) {
        FocusField(index + 1, true);
        m_nAdvancedTo = index + 1;
    }
}

void CIPAddrCtl::LeaveControl(bool forward) {
    // From the first field backwards, or from the last forwards: the dialog's neighbour.
    QLineEdit* from = forward ? m_fields[3] : m_fields[0];
    QWidget* next = from;
    for (int guard = 0; guard < 1000; ++guard) {
        next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
        if (!next || next == from)
            return;
        if (isAncestorOf(next) || next == this)
            continue;
        if (next->isVisibleTo(window()) && next->isEnabled() &&
            (next->focusPolicy() & Qt::TabFocus) && !next->focusProxy() &&
            next->window() == window()) {
            next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

bool CIPAddrCtl::IsBlank() const {
    for (const QLineEdit* field : m_fields)
        if (!field->text().isEmpty())
            return false;
    return true;
}

void CIPAddrCtl::Clear() {
    for (QLineEdit* field : m_fields)
        field->clear();
}

bool CIPAddrCtl::GetAddress(IpAddressValue& address, bool messages) {
    IpFieldTexts texts;
    for (size_t i = 0; i < m_fields.size(); ++i)
        texts[i] = m_fields[i]->text().toStdString();
    address = ReadIpFields(texts, messages ? m_prompt : nullptr);
    if (address.count != 0) {
        FocusField(address.count - 1, true);
        return false;
    }
    return true;
}

void CIPAddrCtl::SetAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t octets[] = {a, b, c, d};
    for (size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(QString::number(octets[i]));
}

bool CIPAddrCtl::GetText(std::string& dotted) {
    IpAddressValue address;
    if (!GetAddress(address, true))
        return false;
    if (address.Number() == 0) {
        if (m_prompt)
            ShowClientMessage(*m_prompt, IDS_NON_ZERO_IP, IDS_CAPTION_WARNING,
                              MB_OK | MB_ICONEXCLAMATION);
        FocusField(0, true);
        return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", address.octets[0], address.octets[1],
                  address.octets[2], address.octets[3]);
    dotted = text;
    return true;
}

void CIPAddrCtl::SetText(const std::string& dotted) {
    const IpFieldTexts texts = SplitDotted(dotted);
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const std::optional<unsigned> value = IpFieldValue(texts[i]);
        m_fields[i]->setText(value && *value < 1000 ? QString::number(*value) : QString());
    }
}

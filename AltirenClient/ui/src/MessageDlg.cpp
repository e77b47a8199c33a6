#include "AltirenUi/MessageDlg.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/UiResources.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr UINT kIconBits = 0x70;
constexpr UINT kDefaultBeep = 0xFFFFFFFF;
constexpr int kIconSize = 32;

std::function<void(UINT)>& Beeper() {
    static std::function<void(UINT)> beeper;
    return beeper;
}

} // namespace

CMessageDlg::Picture CMessageDlg::PictureFor(UINT flags) {
    switch (flags & kIconBits) {
    case MB_ICONHAND:
        return Picture::Error;
    case MB_ICONEXCLAMATION:
        return Picture::Warning;
    case MB_ICONASTERISK:
        return Picture::Information;
    case MB_ICONQUESTION:
        return Picture::Question;
    default:
        return Picture::Client;
    }
}

UINT CMessageDlg::BeepFor(UINT flags) {
    return PictureFor(flags) == Picture::Client ? kDefaultBeep : flags & kIconBits;
}

void CMessageDlg::SetBeeper(std::function<void(UINT)> beeper) {
    Beeper() = std::move(beeper);
}

CMessageDlg::CMessageDlg(QWidget* parent) : QDialog(parent) {
    ControlId::Set(this, IDD_MESSAGE);
    m_icon = new QLabel(this);
    ControlId::Set(m_icon, IDC_MESSAGE_ICON);
    m_icon->setFixedSize(kIconSize, kIconSize);
    m_text = new QLabel(this);
    ControlId::Set(m_text, IDC_MESSAGE_TEXT);
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_check = new QCheckBox(tr("Don't show this message again"), this);
    ControlId::Set(m_check, IDC_MESSAGE_DONT_SHOW);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ControlId::Set(buttons->button(QDialogButtonBox::Ok), IDOK);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMessageDlg::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_check);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

int CMessageDlg::Show(const std::string& text, const std::string& caption, UINT flags) {
    m_strMessage = text;
    m_strCaption = caption;
    m_nFlags = flags;
    OnInitDialog();
    return exec();
}

int CMessageDlg::ShowById(UINT textId, UINT captionId, UINT flags) {
    return Show(LoadClientString(textId), LoadClientString(captionId), flags);
}

void CMessageDlg::OnInitDialog() {
    setWindowTitle(QString::fromStdString(m_strCaption));
    m_picture = PictureFor(m_nFlags);
    QIcon icon;
    QStyle* style = QApplication::style();
    switch (m_picture) {
    case Picture::Error:
        icon = style->standardIcon(QStyle::SP_MessageBoxCritical);
        break;
    case Picture::Warning:
        icon = style->standardIcon(QStyle::SP_MessageBoxWarning);
        break;
    case Picture::Information:
        icon = style->standardIcon(QStyle::SP_MessageBoxInformation);
        break;
    case Picture::Question:
        icon = style->standardIcon(QStyle::SP_MessageBoxQuestion);
        break;
    case Picture::Client:
        icon = UiResources::Icon(IDI_MESSAGE);
        break;
    }
    m_icon->setPixmap(icon.pixmap(kIconSize, kIconSize));
    m_text->setText(QString::fromStdString(m_strMessage));
    m_check->setChecked(m_bChecked);
    if (Beeper())
        Beeper()(BeepFor(m_nFlags));
    else
        QApplication::beep();
}

void CMessageDlg::accept() {
    m_bChecked = m_check->isChecked();
    QDialog::accept();
}

int CMessageDlgPrompt::ShowMessageDialog(const std::string& text, const std::string& caption,
                                         UINT flags, bool& dontShowAgain) {
    CMessageDlg dialog(m_owner.data());
    const int result = dialog.Show(text, caption, flags) == QDialog::Accepted ? IDOK : IDCANCEL;
    dontShowAgain = dialog.IsChecked();
    return result;
}

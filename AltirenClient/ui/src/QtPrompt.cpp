#include "AltirenUi/QtPrompt.h"

#include <QString>

QMessageBox::StandardButtons CQtPrompt::ButtonsFor(UINT flags) {
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_ABORTRETRYIGNORE:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MB_YESNOCANCEL:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO:
        return QMessageBox::Yes | QMessageBox::No;
    case MB_RETRYCANCEL:
        return QMessageBox::Retry | QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon CQtPrompt::IconFor(UINT flags) {
    switch (flags & MB_ICONMASK) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int CQtPrompt::AnswerFor(int button) {
    switch (button) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Abort:
        return IDABORT;
    case QMessageBox::Retry:
        return IDRETRY;
    case QMessageBox::Ignore:
        return IDIGNORE;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

QMessageBox* CQtPrompt::CreateBox(const std::string& text, const std::string& caption,
                                  UINT flags) const {
    auto* box = new QMessageBox(IconFor(flags), QString::fromStdString(caption),
                                QString::fromStdString(text), ButtonsFor(flags), m_owner.data());
    box->setTextFormat(Qt::PlainText);
    return box;
}

int CQtPrompt::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    QMessageBox* box = CreateBox(text, caption, flags);
    const int button = box->exec();
    delete box;
    return AnswerFor(button);
}

#include "AltirenUi/AltirenPageBrowser.h"

#include "AltirenUi/BrowseView.h"
#include "AltirenUi/ControlId.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// 391 x 281 dialog units.
constexpr int kWidth = 640;
constexpr int kHeight = 460;

} // namespace

CAltirenPageBrowser::CAltirenPageBrowser(QWidget* parent, IPrompt& prompt,
                                         const ImportedScenario& current)
    : QDialog(parent), m_model(prompt, current) {
    ControlId::Set(this, IDD_PAGE_BROWSER);
    setWindowTitle(QStringLiteral("Pramitone Server - Available Topovel Files"));
    setModal(true);
    resize(kWidth, kHeight);

    m_view = new CBrowseView;
    ControlId::Set(m_view, IDC_BROWSER);
    m_view->SetResourceLoader([this](const QUrl& address) { return LoadResource(address); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    ControlId::Set(m_cancel, IDCANCEL);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_view, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { Navigate(m_view->PageAddress().resolved(link)); });
}

int CAltirenPageBrowser::Run() {
    if (!Start())
        return IDCANCEL;
    if (!m_nEnded)
        m_nEnded = exec() == QDialog::Accepted ? IDOK : IDCANCEL;
    return m_nEnded;
}

bool CAltirenPageBrowser::Start() {
    std::string address;
    if (!m_model.GetBrowseAddress(address))
        return false;
    Navigate(QUrl(QString::fromStdString(address)));
    return true;
}

void CAltirenPageBrowser::Navigate(const QUrl& address) {
    if (m_nEnded)
        return;
    const std::string url = address.toString(QUrl::FullyEncoded).toStdString();
    switch (m_model.BeforeNavigate(url)) {
    case CAltirenPageBrowserModel::Navigation::Continue: {
        std::string body, type;
        // A page that cannot be fetched leaves the one shown.
        if (m_model.FetchFromServer(url, body, type))
            m_view->ShowPage(address, QString::fromUtf8(body.data(), static_cast<int>(body.size())),
                             type.empty() || type == "text/html");
        break;
    }
    case CAltirenPageBrowserModel::Navigation::Stay:
        break;
    case CAltirenPageBrowserModel::Navigation::Accept:
        m_nEnded = IDOK;
        if (isVisible())
            accept();
        break;
    case CAltirenPageBrowserModel::Navigation::Refuse:
        m_nEnded = IDCANCEL;
        if (isVisible())
            reject();
        break;
    }
}

QByteArray CAltirenPageBrowser::LoadResource(const QUrl& address) {
    std::string body, type;
    if (!m_model.FetchFromServer(address.toString(QUrl::FullyEncoded).toStdString(), body, type))
        return QByteArray();
    return QByteArray(body.data(), static_cast<qsizetype>(body.size()));
}

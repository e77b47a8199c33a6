#include "AltirenUi/AltirenPageBrowser.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUi/BrowseView.h"
#include "AltirenUi/ControlId.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// 391 x 281 dialog units.
constexpr int kWidth = 640;
constexpr int kHeight = 460;

using Model = CAltirenPageBrowserModel;

} // namespace

CAltirenPageBrowser::CAltirenPageBrowser(QWidget* parent, IPrompt& prompt,
                                         const ImportedScenario& current)
    : QDialog(parent), m_prompt(prompt), m_model(prompt, current) {
    ControlId::Set(this, IDD_PAGE_BROWSER);
    setWindowTitle(QStringLiteral("Pramitone Server - Available Topovel Files"));
    setModal(true);
    resize(kWidth, kHeight);

    m_view = new CBrowseView;
    ControlId::Set(m_view, IDC_BROWSER);
    m_view->SetResourceRequester([this](const QUrl& address) { RequestResource(address); });
    m_status = new QLabel(QString::fromStdString(LoadClientString(IDS_WAITING_FOR_SERVER)));
    ControlId::Set(m_status, IDC_BROWSER_STATUS);
    m_busy = new QProgressBar;
    m_busy->setRange(0, 0); // no measure of the wait: it only moves
    m_busy->setTextVisible(false);
    m_busy->setMaximumWidth(120);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    ControlId::Set(m_cancel, IDCANCEL);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status);
    bottom->addWidget(m_busy);
    bottom->addStretch(1);
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(bottom);
    ShowWaiting(false);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::finished, this, [this] { CancelRequests(); });
    connect(m_view, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { Navigate(m_view->PageAddress().resolved(link)); });
}

CAltirenPageBrowser::~CAltirenPageBrowser() {
    CancelRequests();
}

int CAltirenPageBrowser::Run() {
    if (!Start())
        return IDCANCEL;
    if (!m_nEnded)
        m_nEnded = exec() == QDialog::Accepted ? IDOK : IDCANCEL;
    CancelRequests();
    return m_nEnded;
}

bool CAltirenPageBrowser::Start() {
    std::string address;
    UINT why = 0;
    if (!m_model.GetBrowseAddress(address, why)) {
        if (why)
            ShowClientMessage(m_prompt, why, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    Navigate(QUrl(QString::fromStdString(address)));
    return true;
}

bool CAltirenPageBrowser::IsWaiting() const {
    return m_pending.IsRunning();
}

void CAltirenPageBrowser::Navigate(const QUrl& address) {
    if (m_nEnded)
        return;
    const std::string url = address.toString(QUrl::FullyEncoded).toStdString();
    Model::FetchJob job;
    switch (m_model.Decide(url, job)) {
    case Model::Navigation::Continue:
        // The newest click is the one that counts.
        m_pending.Cancel();
        m_pending = ServerRequest::Run<Model::Fetched>(
            this,
            [job](const std::atomic<bool>& cancelled) { return Model::RunFetch(job, &cancelled); },
            [this, address](Model::Fetched fetched) { OnPage(address, std::move(fetched)); });
        ShowWaiting(true);
        break;
    case Model::Navigation::Fetch:
        m_pending.Cancel();
        m_pending = ServerRequest::Run<Model::Fetched>(
            this,
            [job](const std::atomic<bool>& cancelled) { return Model::RunFetch(job, &cancelled); },
            [this, job](Model::Fetched fetched) { OnScenario(job, std::move(fetched)); });
        ShowWaiting(true);
        break;
    case Model::Navigation::Accept:
        End(IDOK);
        break;
    case Model::Navigation::Refuse:
        End(IDCANCEL);
        break;
    case Model::Navigation::Stay:
        break;
    }
}

void CAltirenPageBrowser::OnPage(const QUrl& address, Model::Fetched fetched) {
    ShowWaiting(false);
    // A page that cannot be fetched leaves the one shown.
    if (!fetched.ok)
        return;
    for (ServerRequest::Handle& resource : m_resources)
        resource.Cancel();
    m_resources.clear();
    m_view->ShowPage(address,
                     QString::fromUtf8(fetched.body.data(), static_cast<int>(fetched.body.size())),
                     fetched.contentType.empty() || fetched.contentType == "text/html");
}

void CAltirenPageBrowser::OnScenario(const Model::FetchJob& job, Model::Fetched fetched) {
    ShowWaiting(false);
    switch (m_model.Complete(job, std::move(fetched))) {
    case Model::Navigation::Accept:
        End(IDOK);
        break;
    case Model::Navigation::Refuse:
        End(IDCANCEL);
        break;
    default:
        break;
    }
}

void CAltirenPageBrowser::RequestResource(const QUrl& address) {
    Model::FetchJob job;
    if (!m_model.PageJob(address.toString(QUrl::FullyEncoded).toStdString(), job)) {
        // Not the server's: the view takes nothing for it, and never asks again.
        QMetaObject::invokeMethod(
            this, [this, address] { m_view->ResourceArrived(address, QByteArray()); },
            Qt::QueuedConnection);
        return;
    }
    m_resources.push_back(ServerRequest::Run<Model::Fetched>(
        this,
        [job](const std::atomic<bool>& cancelled) { return Model::RunFetch(job, &cancelled); },
        [this, address](Model::Fetched fetched) {
            m_view->ResourceArrived(
                address, fetched.ok ? QByteArray(fetched.body.data(),
                                                 static_cast<qsizetype>(fetched.body.size()))
                                    : QByteArray());
        }));
}

void CAltirenPageBrowser::ShowWaiting(bool waiting) {
    m_status->setVisible(waiting);
    m_busy->setVisible(waiting);
    m_view->viewport()->setCursor(waiting ? Qt::BusyCursor : Qt::ArrowCursor);
}

void CAltirenPageBrowser::End(int result) {
    m_nEnded = result;
    CancelRequests();
    if (isVisible())
        done(result == IDOK ? QDialog::Accepted : QDialog::Rejected);
}

void CAltirenPageBrowser::CancelRequests() {
    m_pending.Cancel();
    for (ServerRequest::Handle& resource : m_resources)
        resource.Cancel();
    m_resources.clear();
    if (m_status)
        ShowWaiting(false);
}

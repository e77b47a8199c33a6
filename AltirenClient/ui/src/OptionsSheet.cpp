#include "AltirenUi/OptionsSheet.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/EmulationManager.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/MessageDlg.h"
#include "AltirenUi/OptionsPreferencesPage.h"
#include "AltirenUi/ProxyAccountServer.h"
#include "AltirenUi/SClientOptionsInstPage.h"
#include "AltirenUi/SClientOptionsLoginPage.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Mask bits in tab order.
constexpr std::array<uint32_t, 4> kBits = {
    IOptionsSheet::kPageRegistration, IOptionsSheet::kPageLogin, IOptionsSheet::kPageStatistics,
    IOptionsSheet::kPagePreferences};
constexpr size_t kRegistration = 0;
constexpr size_t kLogin = 1;
constexpr size_t kStatistics = 2;

} // namespace

COptionsSheet::COptionsSheet(OptionsSheetSetup setup, UINT titleId, QWidget* parent, uint32_t mask)
    : QDialog(parent), m_setup(std::move(setup)), m_ownPrompt(this) {
    setWindowTitle(QString::fromStdString(LoadClientString(titleId)));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    if (!m_setup.prompt)
        m_setup.prompt = &m_ownPrompt;
    if (!m_setup.messageDialog) {
        m_ownMessageDialog = std::make_unique<CMessageDlgPrompt>(this);
        m_setup.messageDialog = m_ownMessageDialog.get();
    }
    if (!m_setup.server)
        m_setup.server = CProxyAccountServer::Factory();
    if (!m_setup.manager)
        m_setup.manager = [this] { return dynamic_cast<IEmulationManager*>(m_runParent); };

    m_tabs = new QTabWidget(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    ControlId::Set(m_ok, IDOK);
    ControlId::Set(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (auto* page = qobject_cast<COptionsPage*>(m_tabs->widget(index)))
            page->OnSetActive();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(buttons);
    resize(460, 360);
    installEventFilter(this);
    RequestPages(mask);
}

COptionsSheet::~COptionsSheet() = default;

IEmulationManager* COptionsSheet::Manager() const {
    return m_setup.manager ? m_setup.manager() : nullptr;
}

std::unique_ptr<COptionsPage> COptionsSheet::MakePage(size_t index) {
    AccountPageContext account;
    account.prompt = m_setup.prompt;
    account.server = m_setup.server;
    account.manager = [this] { return Manager(); };
    switch (index) {
    case kRegistration:
        return std::make_unique<CSClientOptionsInstPage>(account);
    case kLogin:
        return std::make_unique<CSClientOptionsLoginPage>(account);
    case kStatistics:
        if (!m_setup.pages.statisticsPage)
            return nullptr;
        return m_setup.pages.statisticsPage(
            OptionsPageContext{m_setup.prompt, m_setup.messageDialog});
    default:
        return std::make_unique<COptionsPreferencesPage>(m_setup.program);
    }
}

void COptionsSheet::RequestPages(uint32_t mask) {
    for (size_t i = 0; i < kPageCount; ++i) {
        if (!(mask & kBits[i]) || (m_mask & kBits[i]))
            continue;
        std::unique_ptr<COptionsPage> page = MakePage(i);
        if (!page)
            continue;
        // Tab order is sheet order, whenever a page comes.
        int position = 0;
        for (size_t j = 0; j < i; ++j)
            position += m_pages[j] ? 1 : 0;
        m_pages[i] = page.release();
        m_tabs->insertTab(position, m_pages[i], m_pages[i]->Title());
        if (i == kRegistration)
            static_cast<CSClientOptionsInstPage*>(m_pages[i])->SetMessage(m_description);
    }
    m_mask |= mask;
}

COptionsPage* COptionsSheet::Page(uint32_t bit) const {
    for (size_t i = 0; i < kPageCount; ++i)
        if (kBits[i] == bit)
            return m_pages[i];
    return nullptr;
}

void COptionsSheet::SetDescription(UINT textId) {
    m_description = textId;
    if (m_pages[kRegistration])
        static_cast<CSClientOptionsInstPage*>(m_pages[kRegistration])->SetMessage(textId);
}

bool COptionsSheet::IsWindowShown() const {
    return isVisible();
}

void COptionsSheet::Raise() {
    show();
    raise();
    activateWindow();
}

void COptionsSheet::RemakePages() {
    for (COptionsPage*& page : m_pages) {
        if (!page)
            continue;
        m_tabs->removeTab(m_tabs->indexOf(page));
        delete page;
        page = nullptr;
    }
    const uint32_t mask = m_mask;
    m_mask = 0;
    RequestPages(mask);
}

int COptionsSheet::RunModal(QWidget* parent) {
    m_runParent = parent;
    // Every run opens its pages afresh: what an earlier run left unapplied is gone.
    RemakePages();
    if (m_tabs->count() > 0) {
        m_tabs->setCurrentIndex(0);
        if (auto* page = qobject_cast<COptionsPage*>(m_tabs->currentWidget()))
            page->OnSetActive();
    }
    const int result = exec();
    m_runParent = nullptr;
    return result == QDialog::Accepted ? IDOK : IDCANCEL;
}

void COptionsSheet::EnableOkButton(bool enable) {
    m_ok->setEnabled(enable);
}

void COptionsSheet::accept() {
    if (!m_ok->isEnabled())
        return;
    // One account on two tabs: the registration uses the server address typed on the
    // Login tab, and the Login tab, where no account was typed, the one typed for the
    // registration, so that what was typed on either is what is used.
    auto* registration = static_cast<CSClientOptionsInstPage*>(m_pages[kRegistration]);
    auto* login = static_cast<CSClientOptionsLoginPage*>(m_pages[kLogin]);
    if (registration && login) {
        registration->Model().SetTypedServerAddress(
            login->IsModified() ? std::optional<std::string>(login->TypedServerAddress())
                                : std::nullopt);
        if (registration->IsModified() && !login->IsAccountEdited())
            login->TakeAccount(registration->TypedUserName(), registration->TypedPassword());
    }
    for (COptionsPage* page : m_pages) {
        if (!page || !page->IsModified())
            continue;
        if (!page->OnApply()) {
            m_tabs->setCurrentWidget(page);
            return;
        }
        page->SetModified(false);
    }
    QDialog::accept();
}

bool COptionsSheet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            QWidget* focus = QApplication::focusWidget();
            if (!focus || focus->window() != this)
                focus = m_tabs->currentWidget();
            // Every control of the registration page asks for the log-on options topic.
            const bool registration =
                m_pages[kRegistration] && focus &&
                (focus == m_pages[kRegistration] || m_pages[kRegistration]->isAncestorOf(focus));
            HelpHook::Request(registration ? IDS_LOGIN_OPTIONS_TOPIC
                                           : ControlId::OfWidgetOrParent(focus));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

OptionsSheetProvider COptionsSheet::Provider(OptionsSheetPages pages) {
    struct Holder {
        OptionsSheetPages pages;
        std::unique_ptr<COptionsSheet> sheet;
    };
    auto holder = std::make_shared<Holder>();
    holder->pages = std::move(pages);
    return [holder]() -> IOptionsSheet* {
        if (!holder->sheet) {
            OptionsSheetSetup setup;
            setup.pages = holder->pages;
            holder->sheet = std::make_unique<COptionsSheet>(std::move(setup));
        }
        return holder->sheet.get();
    };
}

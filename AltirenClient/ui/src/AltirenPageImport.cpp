#include "AltirenUi/AltirenPageImport.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"
#include "AltirenUi/AltirenPageBrowser.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/QtPrompt.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// The colour of a summary run, given in blue-green-red order.
QColor FromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

// While it lives, the boxes of a Qt prompt are modal over the dialog, not the page's
// window.
class PromptOwnerScope {
public:
    PromptOwnerScope(IPrompt& prompt, QWidget* owner)
        : m_prompt(dynamic_cast<CQtPrompt*>(&prompt)) {
        if (m_prompt) {
            m_previous = m_prompt->GetOwner();
            m_prompt->SetOwner(owner);
        }
    }
    ~PromptOwnerScope() {
        if (m_prompt)
            m_prompt->SetOwner(m_previous);
    }
    PromptOwnerScope(const PromptOwnerScope&) = delete;
    PromptOwnerScope& operator=(const PromptOwnerScope&) = delete;

private:
    CQtPrompt* m_prompt;
    QPointer<QWidget> m_previous;
};

} // namespace

CAltirenPageImport::CAltirenPageImport(QWidget* parent, CPlayButtonSink* sink, IPrompt& prompt)
    : QWidget(parent), m_sink(sink), m_prompt(prompt) {
    ControlId::Set(this, IDD_PAGE_IMPORT);

    auto* label = new QLabel(QStringLiteral("&Imported configuration:"));
    ControlId::Set(label, IDC_IMPORT_LABEL);
    m_fileName = new QLineEdit;
    ControlId::Set(m_fileName, IDC_IMPORT_FILE_NAME);
    m_fileName->setReadOnly(true);
    label->setBuddy(m_fileName);

    m_summary = new QTextBrowser;
    ControlId::Set(m_summary, IDC_IMPORT_SUMMARY);
    m_summary->setOpenLinks(false);
    m_summary->setOpenExternalLinks(false);
    QPalette palette = m_summary->palette();
    palette.setColor(QPalette::Base, Qt::white);
    m_summary->setPalette(palette);

    m_import = new QPushButton(QStringLiteral("Select &Emulated Network..."));
    ControlId::Set(m_import, IDC_IMPORT_SELECT);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(label);
    page->addWidget(m_fileName);
    page->addWidget(m_summary, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_import);
    page->addLayout(buttonRow);

    connect(m_import, &QPushButton::clicked, this, [this] { OnButtonImport(); });
    connect(m_summary, &QTextBrowser::anchorClicked, this, &CAltirenPageImport::OnSummaryLink);
    WriteSummary();
}

CAltirenPageImport::~CAltirenPageImport() = default;

ImportPageFactory CAltirenPageImport::Factory() {
    return [](const ManagerPageContext& context) -> std::unique_ptr<IImportPage> {
        return std::make_unique<CAltirenPageImport>(context.parent, context.sink, *context.prompt);
    };
}

void CAltirenPageImport::Lock(bool lock) {
    m_import->setEnabled(!lock);
}

void CAltirenPageImport::Reset() {
    m_model.Reset();
    m_fileName->clear();
    WriteSummary();
    if (m_sink && isVisible())
        m_sink->EnablePlayButton(false);
}

void CAltirenPageImport::OnButtonImport() {
    if (!ClientState::IsServerOnline()) {
        ShowClientMessage(m_prompt, IDS_SERVER_UNREACHABLE, IDS_CAPTION_ERROR,
                          MB_OK | MB_ICONERROR);
        return;
    }
    if (m_browser) {
        m_browser->raise();
        m_browser->activateWindow();
        return;
    }
    CAltirenPageBrowser dialog(window(), m_prompt, m_model.Scenario());
    m_browser = &dialog;
    int result = IDCANCEL;
    {
        const PromptOwnerScope owner(m_prompt, &dialog);
        result = dialog.Run();
    }
    m_browser = nullptr;
    if (result != IDOK)
        return;
    m_model.Accept(dialog.Result());
    m_fileName->setText(GetImportedFileName(QString::fromStdString(m_model.FileName())));
    WriteSummary();
    if (m_sink)
        m_sink->EnablePlayButton(m_model.IsLoaded());
}

QString CAltirenPageImport::GetImportedFileName(const QString& name) const {
    const QFontMetrics metrics(m_fileName->font());
    const QMargins margins = m_fileName->textMargins();
    // The line edit keeps a few pixels of its own on either side of the text.
    const int width = m_fileName->contentsRect().width() - margins.left() - margins.right() - 2 * 2;
    int fitting = 0;
    while (fitting < name.size() && metrics.horizontalAdvance(name.left(fitting + 1)) <= width)
        ++fitting;
    return CAltirenPageImportModel::Ellipsize(name, fitting);
}

void CAltirenPageImport::WriteSummary() {
    std::string dtd;
    if (!CClientSettings().bGetInstallFolder(dtd))
        dtd.clear();
    m_summary->clear();
    QTextCursor cursor(m_summary->document());
    const QTextCharFormat plain;
    for (const SummaryRun& run : CScenarioSummary::Render(m_model.Summary(dtd))) {
        const QString text = QString::fromStdString(run.text);
        if (run.bold || run.underline || run.colorBgr) {
            QTextCharFormat header;
            header.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
            header.setFontUnderline(run.underline);
            header.setForeground(FromBgr(run.colorBgr));
            cursor.insertText(text, header);
            continue;
        }
        for (const auto& piece : CAltirenPageImportModel::SplitLinks(text)) {
            if (!piece.link) {
                cursor.insertText(piece.text, plain);
                continue;
            }
            QTextCharFormat link;
            link.setAnchor(true);
            link.setAnchorHref(piece.text);
            link.setFontUnderline(true);
            link.setForeground(Qt::blue);
            cursor.insertText(piece.text, link);
        }
    }
    // The summary is read from its first section.
    m_summary->moveCursor(QTextCursor::Start);
    m_summary->ensureCursorVisible();
}

void CAltirenPageImport::OnSummaryLink(const QUrl& address) {
    QUrl target = address;
    if (target.scheme().isEmpty())
        target = QUrl(QStringLiteral("http://") + address.toString());
    // Only web addresses are handed to the desktop.
    if (target.scheme() == QLatin1String("http") || target.scheme() == QLatin1String("https"))
        QDesktopServices::openUrl(target);
}

bool CAltirenPageImport::event(QEvent* event) {
    // ShowToParent comes also while the window is hidden, as the page is switched to.
    if ((event->type() == QEvent::Show || event->type() == QEvent::ShowToParent) && m_sink)
        m_sink->EnablePlayButton(m_model.IsLoaded());
    return QWidget::event(event);
}

void CAltirenPageImport::closeEvent(QCloseEvent* event) {
    event->ignore();
}

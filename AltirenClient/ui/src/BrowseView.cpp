#include "AltirenUi/BrowseView.h"

#include <QTextDocument>

#include <algorithm>

CBrowseView::CBrowseView(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
}

void CBrowseView::ShowPage(const QUrl& address, const QString& text, bool html) {
    m_page = address;
    m_pending.clear();
    m_arrived.clear();
    m_html = html ? text : QString();
    // Resources of the last page are not those of this one.
    document()->clear();
    if (html)
        setHtml(text);
    else
        setPlainText(text);
}

void CBrowseView::ResourceArrived(const QUrl& address, const QByteArray& bytes) {
    auto wanted = m_pending.find(address);
    if (wanted == m_pending.end())
        return;
    const std::vector<Wanted> names = std::move(wanted->second);
    m_pending.erase(wanted);
    // Kept also when empty: a resource not to be had is not asked for again.
    m_arrived[address] = bytes;
    if (bytes.isEmpty())
        return;
    const bool styleSheet = std::any_of(names.begin(), names.end(), [](const Wanted& w) {
        return w.type == QTextDocument::StyleSheetResource;
    });
    if (styleSheet) {
        // Style sheets apply as the page is read: the page is read again, and takes every
        // resource that has come from what was kept.
        const QUrl page = m_page;
        const auto arrived = m_arrived;
        setHtml(m_html);
        m_arrived = arrived;
        m_page = page;
        return;
    }
    QTextDocument* doc = document();
    for (const Wanted& w : names)
        doc->addResource(w.type, w.name, bytes);
    // The layout made without the image is made again with it.
    doc->markContentsDirty(0, doc->characterCount());
    viewport()->update();
}

QVariant CBrowseView::loadResource(int type, const QUrl& name) {
    // An empty value, not a null one: for a null value the document would read a file
    // of that name itself.
    const QVariant nothing = QVariant(QByteArray());
    // Only images and style sheets, and only through the requester: nothing is read from
    // a file or from any other source the base class knows.
    if (!m_requester ||
        (type != QTextDocument::ImageResource && type != QTextDocument::StyleSheetResource))
        return nothing;
    const QUrl address = m_page.resolved(name);
    auto arrived = m_arrived.find(address);
    if (arrived != m_arrived.end()) {
        if (arrived->second.isEmpty())
            return nothing;
        if (type == QTextDocument::StyleSheetResource)
            return QString::fromUtf8(arrived->second);
        return arrived->second;
    }
    std::vector<Wanted>& wanted = m_pending[address];
    const bool asked = !wanted.empty();
    for (const Wanted& w : wanted)
        if (w.type == type && w.name == name)
            return nothing;
    wanted.push_back(Wanted{type, name});
    if (!asked)
        m_requester(address);
    return nothing;
}

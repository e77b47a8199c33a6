#include "AltirenUi/BrowseView.h"

#include <QTextDocument>

CBrowseView::CBrowseView(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
}

void CBrowseView::ShowPage(const QUrl& address, const QString& text, bool html) {
    m_page = address;
    // Resources of the last page are not those of this one.
    document()->clear();
    if (html)
        setHtml(text);
    else
        setPlainText(text);
}

QVariant CBrowseView::loadResource(int type, const QUrl& name) {
    // An empty value, not a null one: for a null value the document would read a file
    // of that name itself.
    const QVariant nothing = QVariant(QByteArray());
    // Only images and style sheets, and only through the loader: nothing is read from a
    // file or from any other source the base class knows.
    if (!m_loader ||
        (type != QTextDocument::ImageResource && type != QTextDocument::StyleSheetResource))
        return nothing;
    const QByteArray bytes = m_loader(m_page.resolved(name));
    if (bytes.isEmpty())
        return nothing;
    if (type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(bytes);
    return bytes;
}

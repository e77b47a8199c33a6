// The view of the scenario download dialog: plain HTML in a QTextBrowser that follows no
// link by itself (every click goes to the dialog) and loads an image or a style sheet only
// through the loader it is given, with the address resolved against the page shown.
#pragma once

#include <QTextBrowser>
#include <QUrl>

#include <functional>

class CBrowseView : public QTextBrowser {
public:
    // The bytes of a resource at an absolute address; empty when it is not to be had.
    using ResourceLoader = std::function<QByteArray(const QUrl& address)>;

    explicit CBrowseView(QWidget* parent = nullptr);

    void SetResourceLoader(ResourceLoader loader) { m_loader = std::move(loader); }

    // Shows a page fetched from address; its relative links and resources resolve
    // against it.
    void ShowPage(const QUrl& address, const QString& text, bool html);
    const QUrl& PageAddress() const { return m_page; }

    QVariant loadResource(int type, const QUrl& name) override;

private:
    ResourceLoader m_loader;
    QUrl m_page;
};

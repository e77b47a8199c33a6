// The view of the scenario download dialog: plain HTML in a QTextBrowser that follows no
// link by itself (every click goes to the dialog) and loads an image or a style sheet only
// through the requester it is given, with the address resolved against the page shown.
// A resource is never waited for: the page is laid out without it, and it takes its place
// when it arrives (ResourceArrived).
#pragma once

#include <QTextBrowser>
#include <QUrl>

#include <functional>
#include <map>
#include <vector>

class CBrowseView : public QTextBrowser {
public:
    // Asks for the bytes of a resource at an absolute address; they are handed to
    // ResourceArrived when they come.
    using ResourceRequester = std::function<void(const QUrl& address)>;

    explicit CBrowseView(QWidget* parent = nullptr);

    void SetResourceRequester(ResourceRequester requester) { m_requester = std::move(requester); }

    // Shows a page fetched from address; its relative links and resources resolve
    // against it. Resources asked for by an earlier page are no longer taken.
    void ShowPage(const QUrl& address, const QString& text, bool html);
    const QUrl& PageAddress() const { return m_page; }

    // The bytes of a resource asked for (empty when it is not to be had): the page is laid
    // out again with it.
    void ResourceArrived(const QUrl& address, const QByteArray& bytes);
    // Resources asked for and not yet arrived.
    size_t PendingResources() const { return m_pending.size(); }

    QVariant loadResource(int type, const QUrl& name) override;

private:
    struct Wanted {
        int type;
        QUrl name; // as the page names it, the key of the document's resource
    };

    ResourceRequester m_requester;
    QUrl m_page;
    QString m_html;                                // the page shown, when it is HTML
    std::map<QUrl, std::vector<Wanted>> m_pending; // by absolute address
    std::map<QUrl, QByteArray> m_arrived;          // the page's resources, empty: none to have
};

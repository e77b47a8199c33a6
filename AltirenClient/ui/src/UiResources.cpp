#include "AltirenUi/UiResources.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <mutex>

// Outside any namespace, as the resource initialiser requires.
static void InitResourceFile() {
    Q_INIT_RESOURCE(AltirenUi);
}

namespace UiResources {

namespace {
void EnsureResources() {
    static std::once_flag once;
    std::call_once(once, InitResourceFile);
}
} // namespace

QString Path(UINT id) {
    EnsureResources();
    const QString path = QStringLiteral(":/altiren/%1.svg").arg(id);
    return QFile::exists(path) ? path : QString();
}

QPixmap Pixmap(UINT id, const QSize& size) {
    const QString path = Path(id);
    if (path.isEmpty() || size.isEmpty())
        return QPixmap();
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return QPixmap();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon Icon(UINT id) {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64}) {
        QPixmap pixmap = Pixmap(id, QSize(side, side));
        if (!pixmap.isNull())
            icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace UiResources

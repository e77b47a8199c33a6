#include "AltirenUi/AboutDlg.h"

#include "AltirenClient/Resource.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/UiResources.h"

#include <QDialogButtonBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 444;
const QColor kCreditColour(0x00, 0x42, 0x87);

} // namespace

std::vector<CreditSlot> CAboutDlg::Credits() {
    return {
        {Title(), 16, 750, 222, 16},
        {"Part of the", 14, 450, 222, 83},
        {"Altiren Network Tools", 14, 750, 222, 101},
        {std::string("v") + kVersion, 14, 750, 222, 169},
        {std::string("Build ") + kBuild, 14, 450, 222, 187},
        {"Copyright (c) 2026 Orvane", 12, 450, 222, 336},
        {"Pramitone and Altiren are trademarks", 12, 450, 222, 348},
        {"of Orvane.", 12, 450, 222, 360},
        {"All Rights Reserved.", 12, 450, 222, 372},
    };
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    ControlId::Set(this, IDD_ABOUTBOX);
    setWindowTitle(QString::fromStdString(Title()));
    setFixedSize(kWidth, kHeight);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ControlId::Set(buttons->button(QDialogButtonBox::Ok), IDOK);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(buttons);
}

void CAboutDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, UiResources::Pixmap(IDB_ABOUT, QSize(kWidth, 400)));
    painter.setPen(kCreditColour);
    painter.setBackgroundMode(Qt::TransparentMode);
    for (const CreditSlot& slot : Credits()) {
        QFont font("Tahoma");
        font.setPixelSize(slot.height);
        font.setWeight(static_cast<QFont::Weight>(slot.weight));
        painter.setFont(font);
        const QFontMetrics metrics(font);
        // The slot's position is the top left of its text.
        painter.drawText(slot.x, slot.y + metrics.ascent(), QString::fromStdString(slot.text));
    }
}

#include "AltirenUi/AltirenPageManual.h"

#include "AltirenUi/ControlId.h"
#include "AltirenUi/NumericEdit.h"
#include "AltirenUi/UiResources.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int kIconSide = 32;
constexpr int kFieldWidth = 110;

// One group: its icon, the field, the unit and the range label.
QGroupBox* MakeGroup(const char* title, UINT bitmap, QWidget* field, const char* unit,
                     QLabel* range) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    auto* row = new QHBoxLayout(group);
    auto* icon = new QLabel;
    icon->setPixmap(UiResources::Pixmap(bitmap, QSize(kIconSide, kIconSide)));
    icon->setFixedSize(kIconSide, kIconSide);
    row->addWidget(icon);
    row->addSpacing(8);
    field->setFixedWidth(kFieldWidth);
    row->addWidget(field);
    auto* unitLabel = new QLabel(QString::fromLatin1(unit));
    unitLabel->setBuddy(field);
    row->addWidget(unitLabel);
    row->addStretch(1);
    row->addWidget(range);
    return group;
}

} // namespace

CAltirenPageManual::CAltirenPageManual(QWidget* parent, CPlayButtonSink* sink, IPrompt& prompt)
    : QWidget(parent), m_model(prompt), m_sink(sink) {
    ControlId::Set(this, IDD_PAGE_MANUAL);

    m_loss = new CNumericEdit;
    ControlId::Set(m_loss, IDC_MANUAL_LOSS);
    m_loss->SetDecimalPlaces(2);
    m_loss->SetValue(0);
    m_latency = new CNumericEdit;
    ControlId::Set(m_latency, IDC_MANUAL_LATENCY);
    m_latency->SetDecimalPlaces(0);
    m_latency->SetValue(0);
    m_bandwidth = new QComboBox;
    ControlId::Set(m_bandwidth, IDC_MANUAL_BANDWIDTH);
    m_bandwidth->setEditable(true);
    m_bandwidth->setInsertPolicy(QComboBox::NoInsert);
    m_bandwidth->setCompleter(nullptr);
    m_bandwidth->setMaxVisibleItems(CAltirenPageManualModel::kBandwidthCount);
    for (const auto& entry : CAltirenPageManualModel::kBandwidths)
        m_bandwidth->addItem(QString::fromLatin1(entry.text), entry.value);
    m_bandwidth->setCurrentIndex(CAltirenPageManualModel::kUnrestrictedIndex);

    m_lossRange = new QLabel;
    ControlId::Set(m_lossRange, IDC_MANUAL_LOSS_RANGE);
    m_latencyRange = new QLabel;
    ControlId::Set(m_latencyRange, IDC_MANUAL_LATENCY_RANGE);
    m_bandwidthRange = new QLabel;
    ControlId::Set(m_bandwidthRange, IDC_MANUAL_BANDWIDTH_RANGE);
    WriteRangeLabels();

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(MakeGroup(" P&acket Loss ", IDB_PACKET_LOSS, m_loss, "%", m_lossRange));
    page->addWidget(MakeGroup(" &Latency ", IDB_LATENCY, m_latency, "msec", m_latencyRange));
    page->addWidget(
        MakeGroup(" &Bandwidth Limitation ", IDB_BANDWIDTH, m_bandwidth, "Kbps", m_bandwidthRange));
    page->addStretch(1);
    setTabOrder(m_loss, m_latency);
    setTabOrder(m_latency, m_bandwidth);

    connect(m_bandwidth, &QComboBox::activated, this, &CAltirenPageManual::OnBandwidthSelected);
    connect(m_bandwidth->lineEdit(), &QLineEdit::textEdited, this,
            &CAltirenPageManual::OnBandwidthEdited);
    connect(m_latency, &QLineEdit::textChanged, this, &CAltirenPageManual::OnLatencyChanged);
    connect(m_loss, &QLineEdit::textChanged, this, &CAltirenPageManual::OnLossChanged);
    connect(m_latency, &CNumericEdit::digitRefused, this, [this] {
        m_model.OnLatencyDigitRefused();
        m_latency->selectAll();
    });
    connect(m_loss, &CNumericEdit::digitRefused, this, [this] {
        m_model.OnLossDigitRefused();
        m_loss->selectAll();
    });
    // The list takes the focus for its text field: its focus events come to the list.
    m_bandwidth->installEventFilter(this);
    m_latency->installEventFilter(this);
}

void CAltirenPageManual::Lock(bool lock) {
    m_loss->setEnabled(!lock);
    m_latency->setEnabled(!lock);
    m_bandwidth->setEnabled(!lock);
}

void CAltirenPageManual::Reset() {
    m_model.Reset();
    m_bandwidth->setCurrentIndex(CAltirenPageManualModel::kUnrestrictedIndex);
    m_loss->SetValue(m_model.GetPacketLoss());
    m_latency->SetValue(m_model.GetLatency());
    WriteRangeLabels();
}

void CAltirenPageManual::WriteRangeLabels() {
    m_lossRange->setText(QString::fromStdString(CAltirenPageManualModel::LossRangeText()));
    m_latencyRange->setText(QString::fromStdString(CAltirenPageManualModel::LatencyRangeText()));
    m_bandwidthRange->setText(
        QString::fromStdString(CAltirenPageManualModel::BandwidthRangeText()));
}

void CAltirenPageManual::OnBandwidthSelected(int index) {
    m_model.OnBandwidthSelected(index);
}

void CAltirenPageManual::OnBandwidthEdited(const QString& text) {
    if (auto select = m_model.OnBandwidthEdited(text.toStdString())) {
        m_bandwidth->setCurrentIndex(*select);
        // Selected, the entry fallen back to is replaced by the next key.
        m_bandwidth->lineEdit()->selectAll();
    }
}

// The edits' values, not their texts: "1,234" is 1234. A value cut to its bound is
// selected, so that the next digit starts a new value.
void CAltirenPageManual::OnLatencyChanged() {
    if (auto value = m_model.OnLatencyChanged(m_latency->GetValue())) {
        m_latency->SetValue(*value);
        m_latency->selectAll();
    }
}

void CAltirenPageManual::OnLossChanged() {
    if (auto value = m_model.OnLossChanged(m_loss->GetValue())) {
        m_loss->SetValue(*value);
        m_loss->selectAll();
    }
}

bool CAltirenPageManual::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        if (watched == m_bandwidth) {
            if (auto select =
                    m_model.OnBandwidthFocusLost(m_bandwidth->currentText().toStdString()))
                m_bandwidth->setCurrentIndex(*select);
        } else if (watched == m_latency) {
            if (auto value = m_model.OnLatencyFocusLost(m_latency->text().toStdString()))
                m_latency->SetValue(*value);
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool CAltirenPageManual::event(QEvent* event) {
    // ShowToParent comes also while the window is hidden, as the page is switched to.
    if ((event->type() == QEvent::Show || event->type() == QEvent::ShowToParent) && m_sink)
        m_sink->EnablePlayButton(true);
    return QWidget::event(event);
}

void CAltirenPageManual::closeEvent(QCloseEvent* event) {
    event->ignore();
}

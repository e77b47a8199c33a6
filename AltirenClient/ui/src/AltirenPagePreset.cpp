#include "AltirenUi/AltirenPagePreset.h"

#include "AltirenClient/ClientState.h"

#include "AltirenUi/ControlId.h"
#include "AltirenUi/UiResources.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kIconSide = 32;

// The six labels under a slider, each centred on its tick (the end ones kept inside the
// row); the row asks for the width at which two of them stand at least two letters apart.
class TickLabels : public QWidget {
public:
    TickLabels(QSlider* slider, const std::vector<QLabel*>& labels)
        : m_slider(slider), m_labels(labels) {
        for (QLabel* label : m_labels)
            label->setParent(this);
    }

    QSize minimumSizeHint() const override {
        const int n = static_cast<int>(m_labels.size());
        const int inset = Inset();
        int step = 0;
        for (int i = 0; i + 1 < n; ++i)
            step = std::max(step, (Width(i) + Width(i + 1) + 1) / 2);
        // The end labels are pushed inwards by up to half their width less the inset.
        step = std::max(
            {step, Width(0) - inset + Width(1) / 2, Width(n - 1) - inset + Width(n - 2) / 2});
        int height = 0;
        for (QLabel* label : m_labels)
            height = std::max(height, label->sizeHint().height());
        return QSize(2 * inset + (n - 1) * (step + Gap()), height);
    }
    QSize sizeHint() const override { return minimumSizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const int n = static_cast<int>(m_labels.size());
        const int inset = Inset();
        const int span = width() - 2 * inset;
        for (int i = 0; i < n; ++i) {
            const int w = Width(i);
            const int centre = inset + span * i / (n - 1);
            const int x = std::clamp(centre - w / 2, 0, std::max(0, width() - w));
            m_labels[i]->setGeometry(x, 0, w, height());
        }
    }

private:
    // Where the slider's first tick stands: half its handle from the edge.
    int Inset() const {
        return m_slider->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, m_slider) / 2;
    }
    int Width(int i) const { return m_labels[i]->sizeHint().width(); }
    int Gap() const { return 2 * fontMetrics().horizontalAdvance(QLatin1Char('M')); }

    QSlider* m_slider;
    std::vector<QLabel*> m_labels;
};

} // namespace

CAltirenPagePreset::CAltirenPagePreset(QWidget* parent, CPlayButtonSink* sink,
                                       CAltirenPagePresetModel::PresetFetcher fetcher)
    : QWidget(parent), m_model(std::move(fetcher), false), m_sink(sink) {
    ControlId::Set(this, IDD_PAGE_PRESET);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(MakeGroup(Kind::kLoss, " P&acket Loss ", IDB_PACKET_LOSS, IDC_PRESET_LOSS,
                              IDC_PRESET_LOSS_VALUE, IDC_PRESET_LOSS_TICK,
                              {"No effect", "Lowest", "Low", "Medium", "High", "Highest"}));
    page->addWidget(MakeGroup(Kind::kLatency, " &Latency ", IDB_LATENCY, IDC_PRESET_LATENCY,
                              IDC_PRESET_LATENCY_VALUE, IDC_PRESET_LATENCY_TICK,
                              {"No effect", "Lowest", "Low", "Medium", "High", "Highest"}));
    page->addWidget(MakeGroup(Kind::kBandwidth, " &Bandwidth Limitation ", IDB_BANDWIDTH,
                              IDC_PRESET_BANDWIDTH, IDC_PRESET_BANDWIDTH_VALUE,
                              IDC_PRESET_BANDWIDTH_TICK,
                              {"No effect", "T1", "Partial T1", "ISDN", "Modem", "Slow Modem"}));
    page->addStretch(1);

    m_values[Kind::kLoss]->setText(QStringLiteral("0%"));
    m_values[Kind::kLatency]->setText(QStringLiteral("0 ms"));
    m_values[Kind::kBandwidth]->setText(QStringLiteral("0 Kbps"));
    EnableSliders(m_model.ArePresetsAvailable());
    Reset();
}

EffectsPageFactory CAltirenPagePreset::Factory() {
    return [](const ManagerPageContext& context) -> std::unique_ptr<IEffectsPage> {
        return std::make_unique<CAltirenPagePreset>(context.parent, context.sink);
    };
}

QWidget* CAltirenPagePreset::MakeGroup(Kind kind, const char* title, UINT bitmap, UINT sliderId,
                                       UINT valueId, UINT firstTickId,
                                       const std::array<const char*, 6>& ticks) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    auto* row = new QHBoxLayout(group);
    auto* icon = new QLabel;
    icon->setPixmap(UiResources::Pixmap(bitmap, QSize(kIconSide, kIconSide)));
    icon->setFixedSize(kIconSide, kIconSide);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addSpacing(8);

    auto* column = new QVBoxLayout;
    auto* value = new QLabel;
    ControlId::Set(value, valueId);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    column->addWidget(value);

    auto* slider = new QSlider(Qt::Horizontal);
    ControlId::Set(slider, sliderId);
    slider->setRange(0, CAltirenPagePresetModel::kMaxPosition);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(CAltirenPagePresetModel::kStep);
    // A key press moves a whole position, so that snapping never holds the slider back.
    slider->setSingleStep(CAltirenPagePresetModel::kStep);
    slider->setPageStep(CAltirenPagePresetModel::kStep);
    column->addWidget(slider);

    std::vector<QLabel*> labels;
    for (size_t i = 0; i < ticks.size(); ++i) {
        auto* tick = new QLabel(QString::fromLatin1(ticks[i]));
        ControlId::Set(tick, firstTickId + static_cast<UINT>(i));
        labels.push_back(tick);
        m_ticks.push_back(tick);
    }
    column->addWidget(new TickLabels(slider, labels));
    row->addLayout(column, 1);

    m_sliders[kind] = slider;
    m_values[kind] = value;
    // Dragging settles on release; a key or a click on the groove settles at once.
    connect(slider, &QSlider::sliderReleased, this, [this, kind] { OnSliderMoved(kind); });
    connect(slider, &QSlider::valueChanged, this, [this, kind, slider] {
        if (!slider->isSliderDown())
            OnSliderMoved(kind);
    });
    return group;
}

void CAltirenPagePreset::OnSliderMoved(Kind kind) {
    QSlider* slider = m_sliders[kind];
    const int snapped = m_model.OnSliderReleased(kind, slider->value());
    if (slider->value() != snapped) {
        const QSignalBlocker quiet(slider);
        slider->setValue(snapped);
    }
    WriteValueLabels();
}

void CAltirenPagePreset::WriteValueLabels() {
    for (int kind = 0; kind < CAltirenPagePresetModel::kKinds; ++kind)
        m_values[kind]->setText(
            QString::fromStdString(m_model.ValueLabel(static_cast<Kind>(kind))));
}

void CAltirenPagePreset::EnableSliders(bool enable) {
    for (QSlider* slider : m_sliders)
        slider->setEnabled(enable);
}

void CAltirenPagePreset::Lock(bool lock) {
    m_bLocked = lock;
    EnableSliders(!lock && m_model.ArePresetsAvailable());
}

void CAltirenPagePreset::AskForPresets() {
    if (m_model.ArePresetsAvailable() || m_presetRequest.IsRunning())
        return;
    // Off-line the proxy answers from its table without a request.
    if (!ClientState::IsServerOnline()) {
        m_model.GetPresetsFromServer();
        return;
    }
    struct Reply {
        bool fetched = false;
        std::string text;
    };
    m_presetRequest = ServerRequest::Run<Reply>(
        this,
        [fetcher = m_model.Fetcher()](const std::atomic<bool>&) {
            Reply reply;
            reply.fetched = fetcher && fetcher(reply.text);
            return reply;
        },
        [this](Reply reply) {
            m_model.TakeReply(reply.fetched, reply.text);
            OnPresetsChanged();
        });
}

void CAltirenPagePreset::OnPresetsChanged() {
    EnableSliders(!m_bLocked && m_model.ArePresetsAvailable());
    if (m_sink && isVisible())
        m_sink->EnablePlayButton(m_model.ArePresetsAvailable());
}

CAltirenPagePreset::~CAltirenPagePreset() {
    m_presetRequest.Cancel();
}

void CAltirenPagePreset::Reset() {
    m_model.ResetValues();
    AskForPresets();
    EnableSliders(!m_bLocked && m_model.ArePresetsAvailable());
    for (QSlider* slider : m_sliders) {
        const QSignalBlocker quiet(slider);
        slider->setValue(0);
    }
    // Another page's Play button is not this page's to switch.
    if (m_sink && isVisible())
        m_sink->EnablePlayButton(m_model.ArePresetsAvailable());
    for (QLabel* tick : m_ticks)
        tick->setEnabled(true);
    WriteValueLabels();
}

bool CAltirenPagePreset::event(QEvent* event) {
    // ShowToParent comes also while the window is hidden, as the page is switched to.
    if ((event->type() == QEvent::Show || event->type() == QEvent::ShowToParent) && m_sink)
        m_sink->EnablePlayButton(m_model.ArePresetsAvailable());
    return QWidget::event(event);
}

void CAltirenPagePreset::closeEvent(QCloseEvent* event) {
    event->ignore();
}

#include "AltirenUi/StatisticsOptionsPage.h"

#include "AltirenClient/ClientState.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/IpRangeDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

struct Column {
    const char* title;
    int width;
};
constexpr Column kColumns[] = {{"From IP", 120}, {"To IP", 120}, {"Protocol", 80}, {"Port", 75}};

struct ListButtons {
    UINT add, edit, duplicate, remove;
};
constexpr ListButtons kIncludeButtons = {IDC_INCLUDE_ADD, IDC_INCLUDE_EDIT, IDC_INCLUDE_DUPLICATE,
                                         IDC_INCLUDE_REMOVE};
constexpr ListButtons kExcludeButtons = {IDC_EXCLUDE_ADD, IDC_EXCLUDE_EDIT, IDC_EXCLUDE_DUPLICATE,
                                         IDC_EXCLUDE_REMOVE};

} // namespace

CStatisticsOptionsPage::CStatisticsOptionsPage(const OptionsPageContext& context,
                                               CIpRuleSet& filter,
                                               std::function<std::string()> activeAdapterAddress,
                                               QWidget* parent)
    : COptionsPage(parent), m_filter(filter) {
    ControlId::Set(this, IDD_STATISTICS_OPTIONS);
    CStatisticsOptionsPageModel::Services services;
    services.prompt = context.prompt;
    services.messageDialog = context.messageDialog;
    services.askRange = [this, prompt = context.prompt](bool edit, const CIpRangeRule& start) {
        return m_ask ? m_ask(edit, start) : CIpRangeDlg::Ask(prompt, this, edit, start);
    };
    services.activeAdapterAddress =
        activeAdapterAddress ? std::move(activeAdapterAddress)
                             : std::function<std::string()>(ClientState::GetChosenAdapterAddress);
    m_model = std::make_unique<CStatisticsOptionsPageModel>(std::move(services));

    auto* pairsGroup = new QGroupBox(QStringLiteral("Pairs limit"), this);
    auto* pairsLabel =
        new QLabel(QStringLiteral("Max &number of pairs in the Top Talkers table:"), pairsGroup);
    m_pairs = new QLineEdit(pairsGroup);
    ControlId::Set(m_pairs, IDC_PAIRS_LIMIT);
    m_pairs->setMaxLength(3);
    m_pairs->setMaximumWidth(60);
    pairsLabel->setBuddy(m_pairs);
    auto* pairsLayout = new QHBoxLayout(pairsGroup);
    pairsLayout->addWidget(pairsLabel);
    pairsLayout->addWidget(m_pairs);
    pairsLayout->addWidget(new QLabel(QStringLiteral("(1-400)"), pairsGroup));
    pairsLayout->addStretch(1);
    connect(m_pairs, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_model->SetPairsText(text.toStdString());
        SetModified(m_model->IsModified());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pairsGroup);
    struct Group {
        const char* title;
        IpRuleList list;
        UINT listId;
        ListButtons ids;
        const char* texts[4];
    };
    const Group groups[] = {
        {"&Included IPs",
         IpRuleList::Include,
         IDC_INCLUDE_LIST,
         kIncludeButtons,
         {"&Add...", "&Edit...", "D&uplicate", "&Remove"}},
        {"E&xcluded IPs",
         IpRuleList::Exclude,
         IDC_EXCLUDE_LIST,
         kExcludeButtons,
         {"A&dd...", "Ed&it...", "Du&plicate", "Re&move"}},
    };
    for (const Group& group : groups) {
        auto* box = new QGroupBox(QString::fromLatin1(group.title), this);
        QTreeWidget* list = MakeList(group.listId);
        list->setParent(box);
        (group.list == IpRuleList::Include ? m_include : m_exclude) = list;
        auto* buttons = new QVBoxLayout;
        const UINT ids[] = {group.ids.add, group.ids.edit, group.ids.duplicate, group.ids.remove};
        bool (CStatisticsOptionsPageModel::*actions[])(IpRuleList) = {
            &CStatisticsOptionsPageModel::Add, &CStatisticsOptionsPageModel::Edit,
            &CStatisticsOptionsPageModel::Duplicate, &CStatisticsOptionsPageModel::Remove};
        for (size_t i = 0; i < 4; ++i) {
            auto* button = new QPushButton(QString::fromLatin1(group.texts[i]), box);
            ControlId::Set(button, ids[i]);
            button->setAutoDefault(false);
            const IpRuleList which = group.list;
            const auto action = actions[i];
            connect(button, &QPushButton::clicked, this,
                    [this, which, action] { Run(which, action); });
            buttons->addWidget(button);
        }
        buttons->addStretch(1);
        const IpRuleList which = group.list;
        connect(list, &QTreeWidget::itemDoubleClicked, this,
                [this, which] { Run(which, &CStatisticsOptionsPageModel::Edit); });
        connect(list, &QTreeWidget::currentItemChanged, this,
                [this, which, list](QTreeWidgetItem* item) {
                    m_model->Select(which, item ? list->indexOfTopLevelItem(item) : -1);
                });
        auto* row = new QHBoxLayout(box);
        row->addWidget(list, 1);
        row->addLayout(buttons);
        layout->addWidget(box, 1);
    }

    // Opening: the pair limit, the working filter and the first rows selected.
    m_model->Open(m_filter);
    m_pairs->setText(QString::fromStdString(m_model->PairsText()));
    Refresh(IpRuleList::Include);
    Refresh(IpRuleList::Exclude);
    SetModified(false);
    // F1 is the sheet's: it asks for the focused control's topic.
    ControlId::ApplyToolTips(this);
}

CStatisticsOptionsPage::~CStatisticsOptionsPage() = default;

OptionsPageFactory CStatisticsOptionsPage::Factory(CIpRuleSet& filter) {
    return [&filter](const OptionsPageContext& context) -> std::unique_ptr<COptionsPage> {
        return std::make_unique<CStatisticsOptionsPage>(context, filter);
    };
}

void CStatisticsOptionsPage::SetRangeAsker(CStatisticsOptionsPageModel::RangeAsker ask) {
    m_ask = std::move(ask);
}

QTreeWidget* CStatisticsOptionsPage::MakeList(UINT id) {
    auto* list = new QTreeWidget(this);
    ControlId::Set(list, id);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setUniformRowHeights(true);
    QStringList titles;
    for (const Column& column : kColumns)
        titles << QString::fromLatin1(column.title);
    list->setHeaderLabels(titles);
    int columns = 0;
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        list->setColumnWidth(i, kColumns[i].width);
        columns += kColumns[i].width;
    }
    list->header()->setStretchLastSection(false);
    // Wide enough for its columns beside a vertical scroll bar, so none is cut off.
    list->setMinimumWidth(columns + 2 * list->frameWidth() +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    return list;
}

void CStatisticsOptionsPage::Refresh(IpRuleList which) {
    QTreeWidget* list = which == IpRuleList::Include ? m_include : m_exclude;
    const int selected = m_model->Selected(which);
    const QSignalBlocker quiet(list);
    list->clear();
    for (const CIpRangeRule& rule : m_model->Rules(which)) {
        auto* item = new QTreeWidgetItem(list);
        const auto texts = CStatisticsOptionsPageModel::RowTexts(rule);
        for (size_t i = 0; i < texts.size(); ++i)
            item->setText(static_cast<int>(i), QString::fromStdString(texts[i]));
    }
    if (QTreeWidgetItem* item = selected >= 0 ? list->topLevelItem(selected) : nullptr) {
        list->setCurrentItem(item);
        item->setSelected(true);
    }
}

void CStatisticsOptionsPage::Run(IpRuleList which,
                                 bool (CStatisticsOptionsPageModel::*action)(IpRuleList)) {
    if (!((*m_model).*action)(which))
        return;
    Refresh(which);
    SetModified(true);
}

bool CStatisticsOptionsPage::OnApply() {
    m_model->SetPairsText(m_pairs->text().toStdString());
    if (!m_model->Apply(m_filter))
        return false;
    SetModified(false);
    return true;
}

// The range dialog and the statistics options page with their widgets, offscreen, driven
// by key and mouse clicks.
#include "AltirenUi/IPAddrCtl.h"
#include "AltirenUi/IpRangeDlg.h"
#include "AltirenUi/OptionsSheet.h"
#include "AltirenUi/StatisticsOptionsPage.h"

#include "AltirenClient/ClientState.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/GuiTest.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class RangeDialog : public ::testing::Test {
protected:
    void SetUp() override { guitest::App(); }

    void Open(bool edit, const CIpRangeRule& start = CIpRangeRule()) {
        dialog = std::make_unique<CIpRangeDlg>(&prompt, edit, start);
        ASSERT_TRUE(guitest::ShowAndWait(dialog.get()));
        from = guitest::Find<CIPAddrCtl>(dialog.get(), IDC_RANGE_FROM);
        to = guitest::Find<CIPAddrCtl>(dialog.get(), IDC_RANGE_TO);
        protocol = guitest::Find<QComboBox>(dialog.get(), IDC_RANGE_PROTOCOL);
        port = guitest::Find<QLineEdit>(dialog.get(), IDC_RANGE_PORT);
        ASSERT_TRUE(from && to && protocol && port);
    }

    // Keys go where the focus is: the control moves it from field to field.
    static void TypeAddress(CIPAddrCtl* control, const char* text) {
        control->setFocus();
        control->Field(0)->selectAll();
        for (const char* c = text; *c; ++c)
            QTest::keyClick(QApplication::focusWidget(), *c);
    }
    void TypeProtocol(const char* text) {
        protocol->lineEdit()->setFocus();
        protocol->lineEdit()->selectAll();
        QTest::keyClicks(protocol->lineEdit(), text);
    }
    void PressOk() {
        QTest::mouseClick(guitest::Find<QPushButton>(dialog.get(), IDOK), Qt::LeftButton);
    }

    guitest::CActingPrompt prompt;
    std::unique_ptr<CIpRangeDlg> dialog;
    CIPAddrCtl* from = nullptr;
    CIPAddrCtl* to = nullptr;
    QComboBox* protocol = nullptr;
    QLineEdit* port = nullptr;
};

TEST_F(RangeDialog, ATcpRangeOnPort80KeepsPortAndProtocolInTheirPlaces) {
    Open(false);
    EXPECT_EQ(dialog->windowTitle(), "Add IP Range");
    ASSERT_EQ(protocol->count(), 7);
    EXPECT_EQ(protocol->itemText(2), "6 - TCP\\IP");
    EXPECT_EQ(protocol->itemText(3), "8 - EGP ");
    EXPECT_FALSE(port->isEnabled());
    TypeAddress(from, "10.0.0.1");
    TypeAddress(to, "10.0.0.20");
    TypeProtocol("6 - TCP\\IP");
    ASSERT_TRUE(port->isEnabled());
    port->setFocus();
    port->selectAll();
    QTest::keyClicks(port, "80");
    PressOk();
    ASSERT_EQ(dialog->result(), QDialog::Accepted)
        << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text);
    EXPECT_EQ(dialog->Rule(), CIpRangeRule(0x0A000001, 0x0A000014, 80, 6));
    EXPECT_EQ(dialog->Rule().m_port, 80u);
    EXPECT_EQ(dialog->Rule().m_protocol, 6u);
}

TEST_F(RangeDialog, TypedProtocolsAreNumbersAndOnlyTcpAndUdpEnableThePort) {
    Open(true, CIpRangeRule(0x0A000001, 0x0A000002, 53, 17));
    EXPECT_EQ(dialog->windowTitle(), "Edit IP Range");
    EXPECT_EQ(protocol->currentText(), "17 - UDP");
    EXPECT_TRUE(port->isEnabled());
    EXPECT_EQ(port->text(), "53");
    TypeProtocol("47");
    EXPECT_FALSE(port->isEnabled());
    EXPECT_EQ(port->text(), "0");
    TypeProtocol("11");
    PressOk();
    ASSERT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->Rule().m_protocol, 11u);
    EXPECT_EQ(dialog->Rule().m_port, 0u);
}

TEST_F(RangeDialog, AReversedOrBlankRangeAndProtocol300StayOpen) {
    Open(false);
    PressOk();
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Please specify a non zero IP address.");
    EXPECT_EQ(prompt.Boxes()[0].caption, "Invalid IP Range");
    TypeAddress(from, "10.0.0.9");
    TypeAddress(to, "10.0.0.1");
    PressOk();
    EXPECT_EQ(prompt.Boxes().back().text, LoadClientString(IDS_RANGE_ORDER));
    TypeAddress(to, "10.0.0.10");
    TypeProtocol("300");
    PressOk();
    EXPECT_EQ(prompt.Boxes().back().text, "Please enter an integer between 0 and 255.");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(prompt.Boxes().size(), 3u);
}

class StatisticsPage : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        filter.m_include = {CIpRangeRule(0x0A000000, 0x0A0000FF, 0, 0)};
        ASSERT_TRUE(registry.SetDword("MaxPairs", 30));
        OptionsPageContext context;
        context.prompt = &prompt;
        page = std::make_unique<CStatisticsOptionsPage>(context, filter,
                                                        [] { return std::string("10.1.1.1"); });
        page->SetRangeAsker([this](bool edit, const CIpRangeRule& start) {
            asked.push_back(edit);
            starts.push_back(start);
            std::optional<CIpRangeRule> next;
            if (!answers.empty()) {
                next = answers.front();
                answers.erase(answers.begin());
            }
            return next;
        });
        ASSERT_TRUE(guitest::ShowAndWait(page.get()));
    }

    QPushButton* Button(UINT id) const { return guitest::Find<QPushButton>(page.get(), id); }
    QTreeWidget* List(UINT id) const { return guitest::Find<QTreeWidget>(page.get(), id); }

    guitest::TestRegistry registry;
    guitest::CActingPrompt prompt;
    CIpRuleSet filter;
    std::unique_ptr<CStatisticsOptionsPage> page;
    std::vector<std::optional<CIpRangeRule>> answers;
    std::vector<bool> asked;
    std::vector<CIpRangeRule> starts;
};

TEST_F(StatisticsPage, OpensWithTheColumnsTheRowsAndThePairLimit) {
    EXPECT_EQ(page->Title(), "Statistics");
    QTreeWidget* include = List(IDC_INCLUDE_LIST);
    ASSERT_TRUE(include && List(IDC_EXCLUDE_LIST));
    ASSERT_EQ(include->columnCount(), 4);
    EXPECT_EQ(include->headerItem()->text(0), "From IP");
    EXPECT_EQ(include->headerItem()->text(3), "Port");
    EXPECT_EQ(include->columnWidth(0), 120);
    EXPECT_EQ(include->columnWidth(2), 80);
    EXPECT_EQ(include->columnWidth(3), 75);
    // The columns fit the list beside a vertical scroll bar: no horizontal one is needed.
    const int scrollBar = include->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_LE(include->header()->length(), include->viewport()->width() - scrollBar + 1);
    ASSERT_EQ(include->topLevelItemCount(), 1);
    EXPECT_EQ(include->topLevelItem(0)->text(0), "10.0.0.0");
    EXPECT_EQ(include->topLevelItem(0)->text(2), "*");
    EXPECT_TRUE(include->topLevelItem(0)->isSelected());
    EXPECT_EQ(guitest::Find<QLineEdit>(page.get(), IDC_PAIRS_LIMIT)->text(), "30");
    EXPECT_FALSE(page->IsModified());
    for (UINT id : {IDC_INCLUDE_ADD, IDC_INCLUDE_EDIT, IDC_INCLUDE_DUPLICATE, IDC_INCLUDE_REMOVE,
                    IDC_EXCLUDE_ADD, IDC_EXCLUDE_EDIT, IDC_EXCLUDE_DUPLICATE, IDC_EXCLUDE_REMOVE})
        EXPECT_NE(Button(id), nullptr) << id;
}

TEST_F(StatisticsPage, ADoubleClickEditsTheRowAndApplyHandsTheFilterOn) {
    QTreeWidget* include = List(IDC_INCLUDE_LIST);
    answers = {CIpRangeRule(0x0A000000, 0x0A00000F, 443, 6)};
    const QRect cell = include->visualItemRect(include->topLevelItem(0));
    // A view takes a double click only on the row a press went to.
    QTest::mousePress(include->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(include->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(asked, std::vector<bool>{true});
    EXPECT_EQ(starts[0], filter.m_include[0]);
    ASSERT_EQ(include->topLevelItemCount(), 1);
    EXPECT_EQ(include->topLevelItem(0)->text(1), "10.0.0.15");
    EXPECT_EQ(include->topLevelItem(0)->text(3), "443");
    EXPECT_TRUE(page->IsModified());

    QLineEdit* pairs = guitest::Find<QLineEdit>(page.get(), IDC_PAIRS_LIMIT);
    pairs->setFocus();
    pairs->selectAll();
    QTest::keyClicks(pairs, "401");
    EXPECT_FALSE(page->OnApply());
    EXPECT_EQ(prompt.Boxes().back().text, "Please enter an integer between 1 and 400.");
    pairs->selectAll();
    QTest::keyClicks(pairs, "75");
    EXPECT_TRUE(page->OnApply());
    EXPECT_EQ(CClientSettings().GetMaxPairs(), 75u);
    EXPECT_EQ(filter.m_include[0], CIpRangeRule(0x0A000000, 0x0A00000F, 443, 6));
    EXPECT_FALSE(page->IsModified());
}

TEST_F(StatisticsPage, ADuplicatedRowKeepsThePageOpenUntilItIsRemoved) {
    QTest::mouseClick(Button(IDC_INCLUDE_DUPLICATE), Qt::LeftButton);
    EXPECT_EQ(List(IDC_INCLUDE_LIST)->topLevelItemCount(), 2);
    EXPECT_FALSE(page->OnApply());
    EXPECT_EQ(prompt.Boxes().back().text, LoadClientString(IDS_DUPLICATE_INCLUDE));
    QTest::mouseClick(Button(IDC_INCLUDE_REMOVE), Qt::LeftButton);
    EXPECT_TRUE(page->OnApply());
    EXPECT_EQ(filter.m_include.size(), 1u);

    QTest::mouseClick(Button(IDC_EXCLUDE_EDIT), Qt::LeftButton); // nothing to edit
    EXPECT_EQ(prompt.Boxes().back().caption, "Select Item");
    EXPECT_TRUE(asked.empty());
}

// The sheet's statistics tab as the program makes it: a range typed into the real range
// dialog reaches the application's filter when the sheet's OK is clicked, and the
// workstation's address inside it brings the warning.
TEST(StatisticsTabOfTheSheet, ARangeTypedInTheRangeDialogReachesTheFilterOnOk) {
    guitest::App();
    guitest::TestRegistry registry;
    guitest::CActingPrompt prompt;
    class Warning : public IMessageDialogPrompt {
    public:
        int ShowMessageDialog(const std::string& text, const std::string& caption, UINT,
                              bool&) override {
            shown.push_back(caption + "|" + text);
            return IDOK;
        }
        std::vector<std::string> shown;
    } warning;
    ClientState::SetChosenAdapterAddress("198.18.0.105");
    CIpRuleSet filter;
    OptionsSheetSetup setup;
    setup.prompt = &prompt;
    setup.messageDialog = &warning;
    setup.pages.statisticsPage = CStatisticsOptionsPage::Factory(filter);
    COptionsSheet sheet(std::move(setup));
    sheet.RequestPages(IOptionsSheet::kPageStatistics);
    ASSERT_EQ(sheet.Tabs()->count(), 1);
    EXPECT_EQ(sheet.Tabs()->tabText(0), "Statistics");

    QTimer::singleShot(0, &sheet, [&] {
        QTimer::singleShot(0, &sheet, [&] {
            auto* range = qobject_cast<CIpRangeDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(range, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowActive(range));
            for (auto [id, text] : {std::pair{IDC_RANGE_FROM, "198.18.0.100"},
                                    std::pair{IDC_RANGE_TO, "198.18.0.109"}}) {
                auto* control = guitest::Find<CIPAddrCtl>(range, id);
                control->setFocus();
                for (const char* c = text; *c; ++c)
                    QTest::keyClick(QApplication::focusWidget(), *c);
            }
            QTest::mouseClick(guitest::Find<QPushButton>(range, IDOK), Qt::LeftButton);
            if (range->isVisible())
                range->reject();
        });
        QWidget* page = sheet.Page(IOptionsSheet::kPageStatistics);
        QTest::mouseClick(guitest::Find<QPushButton>(page, IDC_INCLUDE_ADD), Qt::LeftButton);
        EXPECT_EQ(guitest::Find<QTreeWidget>(page, IDC_INCLUDE_LIST)->topLevelItemCount(), 1)
            << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text);
        EXPECT_TRUE(filter.m_include.empty()); // not before OK
        QTest::mouseClick(guitest::Find<QPushButton>(&sheet, IDOK), Qt::LeftButton);
        if (sheet.isVisible())
            sheet.reject();
    });
    EXPECT_EQ(sheet.RunModal(nullptr), IDOK)
        << (prompt.Boxes().empty() ? "" : prompt.Boxes()[0].text);
    ASSERT_EQ(filter.m_include.size(), 1u);
    EXPECT_EQ(filter.m_include[0], CIpRangeRule(0xC6120064, 0xC612006D, 0, 0));
    EXPECT_EQ(warning.shown, std::vector<std::string>{"Local Host in Range|" +
                                                      LoadClientString(IDS_LOCAL_HOST_IN_RANGE)});
    ClientState::SetChosenAdapterAddress("");
}

} // namespace

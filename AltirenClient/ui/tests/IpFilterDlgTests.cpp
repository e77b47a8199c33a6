// The address control, the "Enter IP address" dialog and the emulation filter dialog with
// their widgets, offscreen, driven by key and mouse clicks.
#include "AltirenUi/EnterIpDlg.h"
#include "AltirenUi/IPAddrCtl.h"
#include "AltirenUi/IpFilterDlg.h"
#include "AltirenUi/IpListCtrl.h"

#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/GuiTest.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class AddressEntry : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        dialog = std::make_unique<CEnterIpDlg>(&prompt);
        control = dialog->AddressControl();
        ASSERT_TRUE(guitest::ShowAndWait(dialog.get()));
        control->setFocus();
    }

    QLineEdit* Field(int i) const { return control->Field(i); }

    guitest::CActingPrompt prompt;
    std::unique_ptr<CEnterIpDlg> dialog;
    CIPAddrCtl* control = nullptr;
};

TEST_F(AddressEntry, AThirdDigitAbove255ShowsTheMessageAndSelectsTheFieldAgain) {
    std::string focusedWhenShown;
    prompt.onShow = [&](const CScriptedPrompt::Shown&) {
        focusedWhenShown = Field(0)->text().toStdString();
    };
    QTest::keyClicks(Field(0), "30");
    EXPECT_TRUE(prompt.Boxes().empty());
    QTest::keyClick(Field(0), Qt::Key_0);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(focusedWhenShown, "300");
    EXPECT_EQ(prompt.Boxes()[0].text,
              "300 is not a valid entry.  Please specify a value between 0 and 255 for this "
              "field.");
    EXPECT_EQ(prompt.Boxes()[0].caption, "Error");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_TRUE(Field(0)->hasFocus());
    EXPECT_EQ(Field(0)->selectedText(), "300");
}

TEST_F(AddressEntry, DigitsMoveOnAtTheThirdDotsAndBlanksJumpAndOtherKeysAreDropped) {
    QTest::keyClicks(Field(0), "192");
    EXPECT_TRUE(Field(1)->hasFocus());
    QTest::keyClicks(Field(1), "1x6");
    EXPECT_EQ(Field(1)->text(), "16");
    QTest::keyClick(Field(1), Qt::Key_Period);
    EXPECT_TRUE(Field(2)->hasFocus());
    QTest::keyClicks(Field(2), "0 ");
    EXPECT_TRUE(Field(3)->hasFocus());
    QTest::keyClicks(Field(3), "7");
    QTest::keyClick(Field(3), Qt::Key_Home);
    QTest::keyClick(Field(3), Qt::Key_Left);
    EXPECT_TRUE(Field(2)->hasFocus());
    QTest::keyClick(Field(2), Qt::Key_Right);
    EXPECT_TRUE(Field(3)->hasFocus());
    EXPECT_TRUE(prompt.Boxes().empty());

    IpAddressValue value;
    ASSERT_TRUE(control->GetAddress(value, true));
    EXPECT_EQ(value.count, 0u);
    EXPECT_EQ(value.Number(), 0xC0100007u);

    // Enter presses OK: the dialog closes with the dotted text.
    QTest::keyClick(Field(3), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->GetText(), "192.16.0.7");
}

TEST_F(AddressEntry, ADotAfterAThirdDigitDoesNotSkipTheNextField) {
    for (const char c : std::string("192.168.1.1"))
        QTest::keyClick(QApplication::focusWidget(), c);
    IpAddressValue value;
    ASSERT_TRUE(control->GetAddress(value, false)) << value.count;
    EXPECT_EQ(value.Number(), 0xC0A80101u);
    // An empty field reached with '.' is skipped by the next '.'.
    control->Clear();
    control->setFocus();
    for (const char c : std::string("10..1"))
        QTest::keyClick(QApplication::focusWidget(), c);
    EXPECT_EQ(Field(2)->text(), "1");
}

TEST_F(AddressEntry, AnIncompleteOrZeroAddressKeepsTheDialogAndEscapeCancels) {
    QTest::keyClicks(Field(0), "10.");
    QTest::keyClick(Field(1), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "Missing value in IP address");
    EXPECT_TRUE(Field(1)->hasFocus()); // the field at fault
    IpAddressValue value;
    EXPECT_FALSE(control->GetAddress(value, false));
    EXPECT_EQ(value.count, 2u);

    control->SetText("0.0.0.0");
    QTest::keyClick(Field(1), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(prompt.Boxes().back().text, "Please specify a non zero IP address.");

    QTest::keyClick(Field(0), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(AddressEntry, TabLeavesTheControlAndReadOnlyTakesNoDigits) {
    QTest::keyClick(Field(0), Qt::Key_Tab);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_FALSE(control->isAncestorOf(focused));
    EXPECT_EQ(ControlId::Get(focused), static_cast<UINT>(IDOK));

    control->SetReadOnly(true);
    control->setFocus();
    QTest::keyClicks(Field(0), "999");
    EXPECT_EQ(Field(0)->text(), "");
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_NE(Field(0)->palette().color(QPalette::Base), dialog->palette().color(QPalette::Base));
}

class FilterDialog : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        dialog = std::make_unique<CIpFilterDlg>(&prompt);
        dialog->SetAddressAsker([this](const std::string&) {
            ++asked;
            return std::optional<std::string>("10.9.9.9");
        });
    }

    QPushButton* Button(UINT id) const { return guitest::Find<QPushButton>(dialog.get(), id); }

    // Runs the dialog modally over filter; act runs inside its loop.
    int Run(CEmulationFilter& filter, std::function<void()> act) {
        QTimer::singleShot(0, dialog.get(), [this, act] {
            act();
            if (dialog->isVisible())
                dialog->reject();
        });
        return dialog->RunModal(nullptr, filter);
    }

    guitest::TestRegistry registry;
    guitest::CActingPrompt prompt;
    std::unique_ptr<CIpFilterDlg> dialog;
    int asked = 0;
};

TEST_F(FilterDialog, TheEleventhAddressIsRefusedWithTheLimitOfTen) {
    CEmulationFilter filter;
    for (int i = 1; i <= 10; ++i)
        filter.addresses.push_back("10.0.0." + std::to_string(i));
    const int answer =
        Run(filter, [this] { QTest::mouseClick(Button(IDC_FILTER_ADD), Qt::LeftButton); });
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(asked, 0);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, "You cannot specify more than 10 IP addresses to filter.");
    EXPECT_EQ(prompt.Boxes()[0].caption, LoadClientString(IDS_CAPTION_WARNING));
    EXPECT_EQ(dialog->windowTitle(), "Filter Definition ");
}

TEST_F(FilterDialog, AnIncludeListOfOnlyTheServerClosesEmptyAsAnExcludeFilter) {
    ASSERT_TRUE(registry.SetString("AltirenServerIP", "127.0.0.1:8080"));
    CEmulationFilter filter;
    filter.mode = 1;
    filter.addresses = {"127.0.0.1"};
    prompt.Answer(IDOK);
    const int answer = Run(filter, [this] {
        EXPECT_TRUE(guitest::Find<QRadioButton>(dialog.get(), IDC_FILTER_INCLUDE)->isChecked());
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(answer, IDOK);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_SERVER_IP_IN_FILTER));
    EXPECT_TRUE(filter.addresses.empty());
    EXPECT_EQ(filter.mode, 0);
}

TEST_F(FilterDialog, AddedAddressesPolicyAndOverrideReachTheFilterAndCancelDiscards) {
    CEmulationFilter filter;
    Run(filter, [this] {
        QTest::mouseClick(Button(IDC_FILTER_ADD), Qt::LeftButton);
        guitest::Find<QRadioButton>(dialog.get(), IDC_FILTER_INCLUDE)->click();
        guitest::Find<QCheckBox>(dialog.get(), IDC_FILTER_OVERRIDE)->setChecked(true);
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(filter.addresses, (std::vector<std::string>{"10.9.9.9"}));
    EXPECT_EQ(filter.mode, 1);
    EXPECT_TRUE(filter.overrideImported);

    const int answer = Run(filter, [this] {
        EXPECT_TRUE(Button(IDC_FILTER_REMOVE)->isEnabled());
        QTest::mouseClick(Button(IDC_FILTER_REMOVE), Qt::LeftButton);
        EXPECT_FALSE(Button(IDC_FILTER_REMOVE)->isEnabled());
    });
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(filter.addresses.size(), 1u);
}

TEST_F(FilterDialog, LockedWhilePlayingOnlyCancelRemains) {
    CEmulationFilter filter;
    filter.addresses = {"10.0.0.1"};
    dialog->LockEditing(true);
    Run(filter, [this] {
        for (UINT id :
             {static_cast<UINT>(IDOK), IDC_FILTER_ADD, IDC_FILTER_EDIT, IDC_FILTER_REMOVE})
            EXPECT_FALSE(Button(id)->isEnabled()) << id;
        EXPECT_FALSE(guitest::Find<QCheckBox>(dialog.get(), IDC_FILTER_OVERRIDE)->isEnabled());
        EXPECT_TRUE(Button(IDCANCEL)->isEnabled());
        dialog->LockEditing(false);
        EXPECT_TRUE(Button(IDC_FILTER_EDIT)->isEnabled());
    });
}

// The real "Enter IP address" dialog as a person meets it: Add starts it at 0.0.0.0 and
// Edit at the row, with the first field's text selected; the address is typed as written,
// dots and all, into whatever has the focus.
TEST_F(FilterDialog, AnAddressTypedAsWrittenOverTheStartingAddressIsThatAddress) {
    dialog->SetAddressAsker({});
    std::vector<std::string> started;
    auto typeWhenAsked = [&started](const std::string& text) {
        guitest::WhenModal<CEnterIpDlg>([&started, text](CEnterIpDlg* entry) {
            EXPECT_TRUE(QTest::qWaitForWindowActive(entry));
            IpAddressValue start;
            entry->AddressControl()->GetAddress(start, false);
            started.push_back(std::to_string(start.Number()));
            for (const char c : text)
                QTest::keyClick(QApplication::focusWidget(), c);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (entry->isVisible())
                entry->reject();
        });
    };
    CEmulationFilter filter;
    filter.addresses = {"10.0.0.7"};
    Run(filter, [&] {
        typeWhenAsked("192.168.1.1");
        QTest::mouseClick(Button(IDC_FILTER_ADD), Qt::LeftButton);
        // The row of 10.0.0.7, edited into an address of three-digit fields.
        auto* list = guitest::Find<QTreeWidget>(dialog.get(), IDC_FILTER_LIST);
        ASSERT_NE(list, nullptr);
        list->setCurrentItem(list->topLevelItem(0));
        typeWhenAsked("198.18.0.255");
        QTest::mouseClick(Button(IDC_FILTER_EDIT), Qt::LeftButton);
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(started, (std::vector<std::string>{"0", std::to_string(0x0A000007u)}));
    EXPECT_EQ(filter.addresses, (std::vector<std::string>{"198.18.0.255", "192.168.1.1"}));
    EXPECT_TRUE(prompt.Boxes().empty());
}

TEST(IpListCtrl, AHeaderClickPutsNineBeforeTenThenTurnsTheOrder) {
    guitest::App();
    CIpListModel::ResetSortDirection();
    CIpListModel rows(10);
    rows.AddRow({"10.0.0.10"});
    rows.AddRow({"9.0.0.1"});
    CIpListCtrl list(rows);
    list.SetColumns({"IP Addresses"});
    list.Refresh();
    ASSERT_TRUE(guitest::ShowAndWait(&list));
    const int x = list.header()->sectionViewportPosition(0) + 5;
    QTest::mouseClick(list.header()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    EXPECT_EQ(list.topLevelItem(0)->text(0), "9.0.0.1");
    EXPECT_EQ(list.topLevelItem(1)->text(0), "10.0.0.10");
    QTest::mouseClick(list.header()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    EXPECT_EQ(list.topLevelItem(0)->text(0), "10.0.0.10");
    CIpListModel::ResetSortDirection();
}

} // namespace

// A manager window over a fake control library, fake application services and a scripted
// prompt, with a registry of the test's own; pages with widgets for the Basic and
// Professional seams when a test asks for them.
#pragma once

#include "AltirenUi/AltirenMngr.h"
#include "AltirenUi/AltirenPageManual.h"
#include "AltirenUi/ControlId.h"
#include "AltirenUi/ManagerToolBar.h"
#include "AltirenUi/NumericEdit.h"

#include "AltirenUiTest/GuiTest.h"
#include "FakeNuvexControl.h"
#include "ManagerFakes.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

// A Basic or Professional page with a widget of its own.
template <class Fake>
class WidgetPage : public Fake {
public:
    explicit WidgetPage(QWidget* parent) : m_widget(new QWidget(parent)) {}
    ~WidgetPage() override { delete m_widget.data(); }
    QWidget* GetWidget() override { return m_widget.data(); }

private:
    QPointer<QWidget> m_widget;
};

class ManagerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        driver.SetActiveAdapterAddress("198.18.0.1");
        context.driver = &driver;
        context.application = &application;
        context.prompt = &prompt;
        context.control = &control;
    }

    void TearDown() override { window.reset(); }

    // Fills the Basic, Professional, filter, options and statistics seams.
    void WithAllSeams() {
        context.seams.presetPage = [this](const ManagerPageContext& page) {
            auto made = std::make_unique<WidgetPage<FakeEffectsPage>>(page.parent);
            preset = made.get();
            return made;
        };
        context.seams.importPage = [this](const ManagerPageContext& page) {
            auto made = std::make_unique<WidgetPage<FakeImportPage>>(page.parent);
            import = made.get();
            return made;
        };
        context.seams.filterDialog = [this] { return &filterDialog; };
        context.seams.optionsSheet = [this] { return &optionsSheet; };
        context.seams.statisticGUIManager = [this](const StatisticGUIContext&) {
            auto made = std::make_unique<FakeStatisticGUI>();
            statistics = made.get();
            return made;
        };
    }

    void Open() {
        window = std::make_unique<CAltirenMngr>(context);
        ASSERT_TRUE(guitest::ShowAndWait(window.get()));
    }

    template <class W = QWidget>
    W* Control(UINT id) {
        return guitest::Find<W>(window.get(), id);
    }
    QToolButton* ToolButton(UINT command) { return Control<QToolButton>(command); }
    QPushButton* PlayButton() { return Control<QPushButton>(IDC_PLAY_STOP); }
    CNumericEdit* Edit(UINT id) { return Control<CNumericEdit>(id); }
    QComboBox* Bandwidth() { return Control<QComboBox>(IDC_MANUAL_BANDWIDTH); }

    // The menu action of a command, updated as when its menu opens.
    QAction* MenuAction(UINT command) {
        for (QAction* top : window->MenuBar()->actions()) {
            QMenu* menu = top->menu();
            if (!menu)
                continue;
            window->UpdateMenu(menu);
            for (QAction* action : menu->actions())
                if (ControlId::Get(action) == command)
                    return action;
        }
        return nullptr;
    }

    // Replaces an edit's whole text by typed keys.
    static void TypeInto(QWidget* field, const char* text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
    }

    guitest::TestRegistry registry;
    FakeNuvexControl control;
    CDriverMngr driver{control};
    FakeApplication application;
    guitest::CActingPrompt prompt;
    FakeFilterDialog filterDialog;
    FakeOptionsSheet optionsSheet;
    FakeEffectsPage* preset = nullptr;
    FakeImportPage* import = nullptr;
    FakeStatisticGUI* statistics = nullptr;
    ManagerContext context;
    std::unique_ptr<CAltirenMngr> window;
};

// The About box (100), "About Pramitone": the background bitmap with the credits painted
// over it, each slot in its font and place.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

struct CreditSlot {
    std::string text;
    int height = 0; // font height in pixels
    int weight = 0; // 1 to 1000
    int x = 0;
    int y = 0;
};

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kProductName = "Pramitone";
    static constexpr const char* kVersion = "2.5";
    static constexpr const char* kBuild = "1060.005";

    // The credits in drawing order.
    static std::vector<CreditSlot> Credits();
    static std::string Title() { return std::string("About ") + kProductName; }

    explicit CAboutDlg(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The short description of an imported scenario that the import page shows: a section
// for the WAN section, one for each gateway and one for the filter, each a header and
// its lines. Built from a scenario document or from a downloaded recording.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CWSTScenario;

struct SummarySection {
    std::string header; // "Nuvex data:", "\n\nClient Gateway:", ...
    std::vector<std::string> lines;
};

// A run of text and how it is drawn: headers bold and underlined in blue, lines plain.
struct SummaryRun {
    std::string text;
    bool bold = false;
    bool underline = false;
    uint32_t colorBgr = 0; // blue-green-red order; 0xFF0000 is blue
};

class CScenarioSummary {
public:
    // The four sections with their labels only, for no scenario.
    static std::vector<SummarySection> Empty();
    // Sections of a document; a document that cannot be parsed gives the four headers
    // without lines.
    static std::vector<SummarySection> FromDocument(const std::string& xml,
                                                    const std::string& dtdFolder);
    static std::vector<SummarySection> FromRecording(const CWSTScenario& scenario);

    // Each header as a styled run, then each line as "\n" plus the line.
    static std::vector<SummaryRun> Render(const std::vector<SummarySection>& sections);
    // The plain text of the rendered runs.
    static std::string PlainText(const std::vector<SummarySection>& sections);
};

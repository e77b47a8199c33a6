// A prompt for tests: records every box and answers from a script.
#pragma once

#include "AltirenClient/Prompt.h"

#include <deque>
#include <string>
#include <vector>

class CScriptedPrompt : public IPrompt {
public:
    struct Shown {
        std::string text;
        std::string caption;
        UINT flags = 0;
    };

    CScriptedPrompt() = default;
    explicit CScriptedPrompt(std::initializer_list<int> answers) : m_answers(answers) {}

    // Queues the answer to the next box.
    void Answer(int answer) { m_answers.push_back(answer); }
    // The answer once the script has run out (IDCANCEL unless set).
    void SetDefaultAnswer(int answer) { m_defaultAnswer = answer; }

    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;

    const std::vector<Shown>& Boxes() const { return m_shown; }
    size_t Unanswered() const { return m_answers.size(); }

private:
    std::deque<int> m_answers;
    int m_defaultAnswer = IDCANCEL;
    std::vector<Shown> m_shown;
};

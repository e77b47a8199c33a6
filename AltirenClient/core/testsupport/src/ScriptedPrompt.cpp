#include "AltirenClientTest/ScriptedPrompt.h"

int CScriptedPrompt::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    m_shown.push_back({text, caption, flags});
    if (m_answers.empty())
        return m_defaultAnswer;
    int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

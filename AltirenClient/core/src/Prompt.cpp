#include "AltirenClient/Prompt.h"
#include "AltirenClient/ScriptedPrompt.h"
#include "AltirenClient/StringTable.h"

int ShowClientMessage(IPrompt& prompt, UINT textId, UINT captionId, UINT flags) {
    return prompt.MessageBox(LoadClientString(textId), LoadClientString(captionId), flags);
}

int CScriptedPrompt::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    m_shown.push_back({text, caption, flags});
    if (m_answers.empty())
        return m_defaultAnswer;
    int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

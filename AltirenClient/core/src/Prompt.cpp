#include "AltirenClient/Prompt.h"
#include "AltirenClient/StringTable.h"

int ShowClientMessage(IPrompt& prompt, UINT textId, UINT captionId, UINT flags) {
    return prompt.MessageBox(LoadClientString(textId), LoadClientString(captionId), flags);
}

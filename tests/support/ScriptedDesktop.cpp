#include "ScriptedDesktop.h"

#include <cstring>

int ScriptedDesktop::messageBox(const std::string& text, const std::string& title, unsigned flags) {
    boxes.push_back({text, title, flags});
    if (whileOpen)
        whileOpen();
    if (!boxAnswers.empty()) {
        const int answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    return jaOderOk(flags);
}

void ScriptedDesktop::setClipboardText(const std::string& text) {
    clipboard.emplace_back(text.c_str(), strnlen(text.data(), text.size()));
}

int ScriptedDesktop::overwriteWarning(const std::string& fileName) {
    warnings.push_back(fileName);
    m_warningOpen = true;
    if (whileOpen)
        whileOpen();
    m_warningOpen = false;
    if (!warningAnswers.empty()) {
        const int answer = warningAnswers.front();
        warningAnswers.pop_front();
        return answer;
    }
    return mrIgnore;
}

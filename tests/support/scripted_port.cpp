#include "support/scripted_port.h"

namespace kelvarin::test {

std::optional<std::string> ScriptedPort::askOpenFile(const FileDialogRequest& request) {
    dialogs.push_back({false, request});
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPort::askSaveFile(const FileDialogRequest& request) {
    dialogs.push_back({true, request});
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
}

MessageAnswer ScriptedPort::showMessage(const MessageBoxRequest& request) {
    boxes.push_back(request);
    if (request.buttons == MessageButtons::Ok || boxAnswers.empty()) return MessageAnswer::Ok;
    const MessageAnswer answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPort::askText(const TextRequest& request) {
    textRequests.push_back(request);
    if (textAnswers.empty()) return std::nullopt;
    auto answer = textAnswers.front();
    textAnswers.pop_front();
    return answer;
}

std::vector<std::string> ScriptedPort::boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes) texts.push_back(box.caption + ": " + box.text);
    return texts;
}

int Harness::run(int commandId, std::vector<std::optional<std::string>> dialogAnswers) {
    port.answers.assign(dialogAnswers.begin(), dialogAnswers.end());
    handler.handle(commandId);
    return handler.lastResult();
}

}  // namespace kelvarin::test

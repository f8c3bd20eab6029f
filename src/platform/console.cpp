#include "platform/console.h"

#include <istream>
#include <ostream>
#include <string>

#include "platform/text.h"

namespace nimbex {

void Console::line(std::string_view text) {
    // Console lines often echo input text: control characters are shown as
    // escapes, never sent raw to the terminal.
    // Each line is flushed when complete, so a piped or logged run shows it
    // at once.
    if (has_control(text)) {
        const std::string shown = visible(text);
        out_->write(shown.data(), static_cast<std::streamsize>(shown.size()));
    } else {
        out_->write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    out_->put('\n');
    out_->flush();
}

void Console::flush() { out_->flush(); }

void Console::pause(std::string_view text) {
    line(text);
    if (batch_) return;
    std::string answer;
    // A closed input goes on as if Enter had been pressed.
    std::getline(*in_, answer);
}

std::string Console::prompt(std::string_view prompt_text) {
    // The answer is typed on the prompt's own line: no newline after it.
    out_->write(prompt_text.data(), static_cast<std::streamsize>(prompt_text.size()));
    out_->flush();
    if (batch_) return {};
    std::string answer;
    if (!std::getline(*in_, answer)) return {};
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return answer;
}

}  // namespace nimbex

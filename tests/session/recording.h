// Recording stand-ins for what the console puts around the core: its message boxes and its
// progress boxes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session/notice_sink.h"
#include "session/progress_box.h"

namespace torvane::test {

struct Notice {
    std::string Text;
    NoticeIcon Icon;
    bool operator==(const Notice&) const = default;
};

class RecordingNotices : public NoticeSink {
public:
    void Notice(const std::string& text, NoticeIcon icon) override {
        Shown.push_back({text, icon});
        if (Journal != nullptr) Journal->push_back("notice " + text);
    }
    bool Confirm(const std::string& text) override {
        Shown.push_back({text, NoticeIcon::Question});
        return true;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& n : Shown) texts.push_back(n.Text);
        return texts;
    }
    std::vector<test::Notice> Shown;
    // When set, each notice is also logged there as "notice TEXT": beside a box's Events, it
    // shows the order of what the box and the messages were given.
    std::vector<std::string>* Journal = nullptr;
};

// Every write into a box, in order: "text ...", "caption ...", "state N", "close N".
class RecordingBox : public ProgressBox {
public:
    void SetText(const std::string& text) override {
        Text = text;
        Events.push_back("text " + text);
    }
    void SetCaption(const std::string& caption) override {
        Caption = caption;
        Events.push_back("caption " + caption);
    }
    void SetState(uint8_t state) override {
        State = state;
        Events.push_back("state " + std::to_string(state));
    }
    void Close(int result) override {
        Closed = result;
        Events.push_back("close " + std::to_string(result));
    }
    std::string Text, Caption;
    std::optional<int> State, Closed;
    std::vector<std::string> Events;
};

}  // namespace torvane::test
